// The three standard descriptors, made safe before any file is opened.
#pragma once

// Opens /dev/null onto each of descriptors 0, 1 and 2 that is closed, so
// that no file the program opens later takes a standard descriptor (and
// gets its messages or report written into it). False when one is closed
// and /dev/null cannot be opened onto it: the program must then stop
// before opening anything.
bool Open_Missing_Standard_Streams();
