// The programs' own texts on standard output and standard error. They go
// through the platform layer, so that a Windows console shows names and
// reasons as they were typed, whatever its code page.
#pragma once

#include <string_view>

// Writes text to standard output and flushes it; throws
// "standard output: cannot write: REASON".
void Print_Output(std::string_view text);
// Writes text to standard error; throws "standard error: cannot write:
// REASON".
void Print_Error(std::string_view text);
// Writes "PROGRAM: MESSAGE" and a line end to standard error without
// allocating, for failures that may come of memory running out; a message
// that cannot be written has nowhere else to go and is dropped.
void Print_Error_Line(std::string_view program, std::string_view message);
