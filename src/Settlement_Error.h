// The one error type of the settlement and the audit, and the helpers that
// throw it.
#pragma once

#include <stdexcept>
#include <string_view>

// The message names the file (and line) and the problem.
class Settlement_Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised when the results are published and the flag lowered but the
// report cannot be written: the day is settled all the same.
class Report_Error : public Settlement_Error {
 public:
  using Settlement_Error::Settlement_Error;
};

// Throws a Settlement_Error reading "FILE:LINE: PROBLEM" ("FILE: PROBLEM" when
// line is 0).
[[noreturn]] void Fail(std::string_view file, long line,
                       std::string_view problem);

// Throws a Settlement_Error "FILE: ACTION: REASON" for a failed platform
// call, REASON being the system's description of its error (Os_Last_Error).
[[noreturn]] void Fail_Os(std::string_view file, std::string_view action);
