// The one shape of the programs' main(): the process set up, a body that
// returns the exit status, and whatever escapes it turned into lines on
// standard error and the status of a failure.
#pragma once

#include <cstddef>
#include <string_view>

// How a program names its failures.
struct Program_Failures {
  const char* program;
  // The exit status of a failure, the process's set-up included.
  int status;
  // Writes the line for memory running out into line (size bytes, without
  // allocating); thread is set for a thread that could not start for want
  // of memory for its stack. Returns false to have that failure named by
  // its own message instead.
  bool (*out_of_memory)(char* line, std::size_t size, bool thread);
  // Prints a failure's message after the program's name; null prints it as
  // one line (Print_Error_Line).
  void (*print)(std::string_view message) = nullptr;
};

// Sets the process up (Os_Start_Process), then runs body and returns its
// status; an exception that escapes body is reported as failures says and
// returns failures.status.
int Run_Main(const Program_Failures& failures, int (*body)(int, char**),
             int argc, char** argv);
