// The name the program gives itself on standard error and in the names of
// its temporaries.
#pragma once

// Names the program from here on; call before any other thread starts.
void Set_Program_Name(const char* program);
// The program's name ("fare-settlement" until Set_Program_Name).
const char* Program_Name();
