// Outputs of an audit that could not be written. Each is named with its
// error; the audit goes on with the others, and the day's verdict stays
// what the files give.
#pragma once

#include <string>
#include <vector>

#include "Settlement_Error.h"

class Output_Errors {
 public:
  // Runs write, keeping the Settlement_Error it throws instead of letting
  // it through.
  template <typename Write>
  void Try(Write write) {
    try {
      write();
    } catch (const Settlement_Error& error) {
      messages_.push_back(error.what());
    }
  }
  void Add(std::string message) { messages_.push_back(std::move(message)); }
  bool empty() const { return messages_.empty(); }
  const std::vector<std::string>& Messages() const { return messages_; }

 private:
  std::vector<std::string> messages_;
};
