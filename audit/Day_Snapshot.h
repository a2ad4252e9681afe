// What the audit reads must be one set of bytes: the identity of each of
// the day's nine files is taken before they are read and compared with the
// files found afterwards and with every file opened in between.
#pragma once

#include <atomic>
#include <cstdint>

// What shows, without reading it, that a file's content may have changed:
// which file it is, its size and its modification and change times (a
// rename or a write sets the change time, which no user can set back).
struct File_Identity {
  int error = 0;  // errno of a failed stat; then the rest is 0
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;

  bool operator==(const File_Identity&) const = default;
};

// The identity of the file path leads to (links followed).
File_Identity Identity_Of(const char* path);
// The identity of the file open on fd.
File_Identity Identity_Of(int fd);

// The identities of the nine audited files of the working directory
// (AUDITED_FILES), taken when the object is made.
class Day_Snapshot {
 public:
  Day_Snapshot();
  // Whether file (an index into AUDITED_FILES) was not there (ENOENT, a
  // link to nothing included).
  bool Missing(int file) const;
  // Notes a change when the file open on fd is not file as it was taken;
  // safe to call from several threads.
  void Check_Opened(int file, int fd) const;
  // Throws Settlement_Error "FILE: changed while being audited" for the
  // first file noted by Check_Opened or whose identity now differs.
  void Check_Unchanged() const;

 private:
  File_Identity files_[9];
  mutable std::atomic<int> changed_{-1};
};
