// File access shared by the stages: the error type, a block-buffered line
// reader, and output files that appear under their names only when complete.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The one error type: the message names the file (and line) and the problem.
class Settlement_Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws a Settlement_Error reading "FILE:LINE: PROBLEM" ("FILE: PROBLEM" when
// line is 0).
[[noreturn]] void Fail(std::string_view file, long line,
                       std::string_view problem);

// Throws a Settlement_Error for a failed system call, adding strerror(errno).
[[noreturn]] void Fail_Errno(std::string_view file, std::string_view action);

// Follows path through its symlinks to the name of the file they lead to,
// which need not exist (a write there creates it). Throws (ELOOP) after too
// many links.
std::string Follow_Links(const std::string& path);

// Whether a and b lead to one file: the same file now (device and inode,
// so hard links too), or the same name once links and dots are resolved,
// so also a file that does not exist yet and a write would create.
bool Same_File(const std::string& a, const std::string& b);

// Raised when the results are published and the flag lowered but the
// report cannot be written: the day is settled all the same.
class Report_Error : public Settlement_Error {
 public:
  using Settlement_Error::Settlement_Error;
};

// The longest line Line_Reader accepts, without its '\n'.
constexpr std::size_t MAX_LINE_BYTES = std::size_t{1} << 20;

// A regular file open for reading, closed when the object goes. The open
// never waits (a FIFO or device is refused as "not a regular file", symlinks
// followed); read errors throw, naming the file.
class Input_File {
 public:
  explicit Input_File(std::string path);
  ~Input_File();
  Input_File(const Input_File&) = delete;
  Input_File& operator=(const Input_File&) = delete;

  // Reads up to size bytes into data, retrying interruptions; 0 at the end
  // of the file.
  std::size_t Read(char* data, std::size_t size);
  int Descriptor() const { return fd_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// Reads a file line by line in large blocks, in a buffer of fixed size. A
// line is returned without its '\n'; the last line of a file may lack one.
// Any read error, and a line longer than MAX_LINE_BYTES, throws.
class Line_Reader {
 public:
  explicit Line_Reader(std::string path);
  ~Line_Reader();
  Line_Reader(const Line_Reader&) = delete;
  Line_Reader& operator=(const Line_Reader&) = delete;

  // Sets line to the next line; false at end of file. The view stays valid
  // until the next call. Throws for a line longer than MAX_LINE_BYTES.
  bool Next(std::string_view& line);
  // Next without throwing for a long line: TOO_LONG leaves line unset, and
  // Skip_Long_Line then goes on after it.
  enum class Read { LINE, END, TOO_LONG };
  Read Next_Or_Long(std::string_view& line);
  // After TOO_LONG: skips the rest of that line, counting it.
  void Skip_Long_Line();
  // Whether the line last returned ended in '\n' (false for a final line
  // that stops at the end of the file).
  bool Ended_By_Newline() const { return newline_; }
  long Line_Number() const { return line_number_; }
  const std::string& Path() const { return file_.Path(); }
  int Descriptor() const { return file_.Descriptor(); }

 private:
  bool Read_More();

  Input_File file_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte read
  bool eof_ = false;
  bool newline_ = false;
  long line_number_ = 0;
};

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
  // a directory, or another user's file in a sticky directory.
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
  int fd_ = -1;
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

// From here on SIGINT, SIGTERM and SIGHUP remove every unpublished
// temporary, print "PROGRAM: stopped by SIGNAME" on standard error and end
// the process by the same signal; SIGPIPE is ignored. The temporaries made
// from here on carry PROGRAM in their names ("fare-settlement" before).
// Call before any other thread starts.
void Stop_On_Signals(const char* program);

// The lock that keeps one settlement per directory and keeps audits away
// from a day being settled; held until the object goes. Only the
// directory itself is locked: no file is created.
class Day_Lock {
 public:
  enum Kind { SETTLEMENT, AUDIT };
  // A settlement throws a Settlement_Error ("another run is under way in
  // this directory") at once when another settlement holds the directory;
  // from then on new audits refuse the directory. An audit throws when a
  // settlement holds it. A file system without these locks keeps nobody out.
  Day_Lock(const std::string& dir, Kind kind);
  ~Day_Lock();
  Day_Lock(const Day_Lock&) = delete;
  Day_Lock& operator=(const Day_Lock&) = delete;

  // A settlement's wait for audits that started before it: while one still
  // marks the directory, says so once on standard error ("PROGRAM: waiting
  // for an audit of this directory to finish") and looks again after each
  // sleep_one_second; throws after max_looks sleeps.
  void Wait_For_Audits(int max_looks, void (*sleep_one_second)()) const;
  // Whether the directory has been removed since it was locked.
  bool Removed() const;

 private:
  int fd_ = -1;
};

// The first bytes of a regular file, at most limit + 1 of them (so that a
// longer file shows as longer), read without waiting like Input_File.
std::string Read_File_Start(const char* path, std::size_t limit);

// Replaces a small file in place with bytes (create, write over the old
// bytes, cut a regular file to their length, close), checking every step.
// A write that fails leaves the old bytes; a file of no more bytes than the
// new ones (the flag's one) is then as it was.
void Write_Whole_File(const char* path, std::string_view bytes);
