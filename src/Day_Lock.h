// The lock that keeps one settlement per directory and keeps audits away
// from a day being settled.
#pragma once

#include <string>

#include "Os.h"

// Held until the object goes. Only the directory itself is locked: no file
// is created.
class Day_Lock {
 public:
  enum Kind { SETTLEMENT, AUDIT };
  // A settlement throws a Settlement_Error ("another run is under way in
  // this directory") at once when another settlement holds the directory;
  // from then on new audits refuse the directory. An audit throws when a
  // settlement holds it. A file system without these locks keeps nobody out.
  Day_Lock(const std::string& dir, Kind kind);
  Day_Lock(const Day_Lock&) = delete;
  Day_Lock& operator=(const Day_Lock&) = delete;

  // A settlement's wait for audits that started before it: while one still
  // marks the directory, says so once on standard error ("PROGRAM: waiting
  // for an audit of this directory to finish") and looks again after each
  // sleep_one_second; throws after max_looks sleeps.
  void Wait_For_Audits(int max_looks, void (*sleep_one_second)()) const;
  // Whether the directory has been removed since it was locked.
  bool Removed() const { return lock_.Removed(); }

 private:
  Os_Directory_Lock lock_;
};
