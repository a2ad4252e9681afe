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

// A file open for reading, closed when the object goes. Read errors throw,
// naming the file.
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

// Reads a file line by line in large blocks. A line is returned without its
// '\n'; the last line of a file may lack one. Any read error throws.
class Line_Reader {
 public:
  explicit Line_Reader(std::string path);
  ~Line_Reader();
  Line_Reader(const Line_Reader&) = delete;
  Line_Reader& operator=(const Line_Reader&) = delete;

  // Sets line to the next line; false at end of file. The view stays valid
  // until the next call.
  bool Next(std::string_view& line);
  // Whether the line last returned ended in '\n' (false for a final line
  // that stops at the end of the file).
  bool Ended_By_Newline() const { return newline_; }
  long Line_Number() const { return line_number_; }
  const std::string& Path() const { return file_.Path(); }

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

// An output file written under a temporary name in the same directory and
// renamed over its real name by Publish. Until then the real file keeps its
// old content; a Staged_File destroyed unpublished removes its temporary.
class Staged_File {
 public:
  explicit Staged_File(std::string path);
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
  // Throws when the real name is taken by something a rename cannot replace.
  void Check_Replaceable() const;

 private:
  void Flush();

  std::string path_;
  std::string temp_path_;
  int fd_ = -1;
  std::string buffer_;
  bool published_ = false;
};

// Publishes two finished files one right after the other, then forces the
// renames to disk, so readers see either both old files or both new ones.
void Publish_Pair(Staged_File& first, Staged_File& second);

// Replaces a small file in place with bytes (create or truncate, write,
// close), checking every step.
void Write_Whole_File(const char* path, std::string_view bytes);

// Zeroed memory straight from the system, in large pages where it offers
// them (fewer page faults for the big arrays of a large day). Throws
// std::bad_alloc when there is none.
void* Map_Memory(std::size_t bytes);
// Address space for bytes, inaccessible until mprotect opens parts of it,
// starting on a large-page boundary. Costs no memory by itself. Throws
// std::bad_alloc when the system refuses it; Unmap_Memory returns it.
void* Reserve_Memory(std::size_t bytes);
void Unmap_Memory(void* memory, std::size_t bytes);
