// Writing output: files that appear under their names only when complete,
// published together, and the stop requests that must not leave their
// temporaries behind.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "Os.h"

// An output file written under a temporary name beside its real file and
// renamed over it by Publish. A real name that is a symlink keeps its link:
// the file it leads to (created when missing) is the one replaced. Until
// then the real file keeps its old content; a Staged_File destroyed
// unpublished removes its temporary, and so does a stop by signal (see
// Stop_On_Signals). A real file that exists and is neither a regular file
// nor a directory (a device, a FIFO) is written directly, never replaced.
class Staged_File {
 public:
  // With write_special_directly a device or FIFO is written in place, and so
  // is the regular file standard output or error goes to, through it;
  // without, it is refused as "not a regular file".
  explicit Staged_File(std::string path, bool write_special_directly = false);
  ~Staged_File();
  Staged_File(Staged_File&& other) noexcept;
  Staged_File& operator=(Staged_File&&) = delete;
  Staged_File(const Staged_File&) = delete;
  Staged_File& operator=(const Staged_File&) = delete;

  void Write(std::string_view bytes);
  // Writes out what is buffered and closes; with sync, forces it to disk.
  void Finish(bool sync);
  // Renames the finished temporary over the real name.
  void Publish();
  // Throws when the real name is taken by something a rename cannot replace:
  // a directory, another user's file in a sticky directory, or on Windows a
  // file another program holds open.
  void Check_Replaceable() const;
  // The file the bytes are written to until Publish: the temporary, or the
  // real file when it is written directly.
  const std::string& Staged_Path() const {
    return temp_path_.empty() ? target_ : temp_path_;
  }
  // The file Publish replaces: the real name with its symlinks followed.
  const std::string& Target() const { return target_; }

 private:
  friend void Publish_All(Staged_File* const*, std::size_t, void (*)());
  void Flush();
  void Open_Directly();
  void Rename_Locked();

  std::string path_;
  std::string target_;
  std::string temp_path_;
  Os_File file_ = OS_NO_FILE;
  std::string buffer_;
  bool published_ = false;
};

// Publishes finished files one right after the other, then runs after (if
// any) and forces the renames to disk. Every real name is checked first, so
// a failure replaces none; a stop by signal waits until all are renamed and
// after has run. Only a kill that cannot be caught can fall between two
// renames.
void Publish_All(Staged_File* const* files, std::size_t count,
                 void (*after)() = nullptr);

// Removes temporaries that a killed run of this program left beside the
// file path leads to (".NAME.PROGRAM-XXXXXX", as Staged_File names them),
// when that file lies in the working directory. Other names, such as
// ".NAME.backup", are left alone.
void Remove_Stale_Temporaries(const char* path);

// From here on a stop request (SIGINT, SIGTERM, SIGHUP; see
// Os_Stop_On_Requests) removes every unpublished temporary, prints
// "PROGRAM: stopped by NAME" on standard error and ends the process as the
// request does; SIGPIPE is ignored. The temporaries made from here on carry
// PROGRAM in their names ("fare-settlement" before). Call before any other
// thread starts.
void Stop_On_Signals(const char* program);
// The program named to Stop_On_Signals ("fare-settlement" before).
const char* Program_Name();

// Replaces a small file in place with bytes (create, write over the old
// bytes, cut a regular file to their length, close), checking every step.
// A write that fails leaves the old bytes; a file of no more bytes than the
// new ones (the flag's one) is then as it was.
void Write_Whole_File(const char* path, std::string_view bytes);
