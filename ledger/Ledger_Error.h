// The one error type of fare-ledger: main prints its message, a line
// at a time, and exits with its status.
#pragma once

#include <stdexcept>
#include <string>

class Ledger_Error : public std::runtime_error {
 public:
  enum Kind {
    REFUSED,  // the ledger's answer is no: exit 1
    FAILED,   // the command could not be done: exit 2
    USAGE,    // a command line that cannot be used: exit 2, with the usage
  };
  Ledger_Error(Kind kind, const std::string& message)
      : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }
  int Exit_Status() const { return kind_ == REFUSED ? 1 : 2; }

 private:
  Kind kind_;
};

// A day refused, files that differ, a fault found.
[[noreturn]] inline void Refuse(const std::string& message) {
  throw Ledger_Error(Ledger_Error::REFUSED, message);
}

// A database that cannot be used, a file that cannot be written.
[[noreturn]] inline void Fail_Ledger(const std::string& message) {
  throw Ledger_Error(Ledger_Error::FAILED, message);
}

[[noreturn]] inline void Usage_Fault(const std::string& message) {
  throw Ledger_Error(Ledger_Error::USAGE, message);
}
