// What the audit reads must be one set of bytes: the identity of each of
// the day's nine files is taken before they are read and compared with the
// files found afterwards and with every file opened in between.
#pragma once

#include <atomic>
#include <string>

#include "Os.h"

// The identities of the nine audited files of directory dir
// (AUDITED_FILES), taken when the object is made.
class Day_Snapshot {
 public:
  explicit Day_Snapshot(const std::string& dir);
  const std::string& Dir() const { return dir_; }
  // The path of file (an index into AUDITED_FILES) in the directory.
  std::string Path(int file) const;
  // Whether file (an index into AUDITED_FILES) was not there (a link to
  // nothing included).
  bool Missing(int file) const;
  // Notes a change when the file opened is not file as it was taken; safe
  // to call from several threads.
  void Check_Opened(int file, Os_File opened) const;
  // Throws Settlement_Error "FILE: changed while being audited" for the
  // first file noted by Check_Opened or whose identity now differs.
  void Check_Unchanged() const;

 private:
  std::string dir_;
  Os_File_Stamp files_[9];
  mutable std::atomic<int> changed_{-1};
};
