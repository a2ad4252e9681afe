// Writing output: files that appear under their names only when complete,
// published together.
#pragma once

#include <cstddef>
#include <cstdint>
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
  // Writes bytes to the file after what was written before.
  void Write_Out(std::string_view bytes);
  void Flush();
  void Open_Directly();
  void Rename_Locked();

  std::string path_;
  std::string target_;
  std::string temp_path_;
  Os_File file_ = OS_NO_FILE;
  std::string buffer_;
  std::uint64_t written_ = 0;  // bytes flushed to file_
  bool published_ = false;
};

// Publishes finished files one right after the other, then runs after (if
// any) and forces the renames to disk. Every real name is checked first, so
// a failure replaces none; a stop by signal waits until all are renamed and
// after has run. Only a kill that cannot be caught can fall between two
// renames.
void Publish_All(Staged_File* const* files, std::size_t count,
                 void (*after)() = nullptr);

// The temporary's name beside target without its six random characters:
// ".NAME.PROGRAM-". The program's name is a mark no operator's file has, so
// the start-up clean-up never mistakes one for a temporary.
std::string Temporary_Stem(const std::string& target);

// Makes the list of unpublished temporaries now, while a failed allocation
// can still be reported.
void Prepare_Unpublished_List();
// Removes every unpublished temporary and holds the list's lock for good, so
// that nothing is published after. Allocates nothing: memory may have run
// out when a stop request comes.
void Remove_Unpublished_For_Good();
