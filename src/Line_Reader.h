// Reading input: regular files opened without waiting, read line by line
// in large blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Os.h"

// The longest line Line_Reader accepts, without its '\n'.
constexpr std::size_t MAX_LINE_BYTES = std::size_t{1} << 20;

// A regular file open for reading, closed when the object goes. The open
// never waits (a FIFO or device is refused as "not a regular file", symlinks
// followed); errors throw, naming the file as shown: path itself, or the
// name given (a day's file read through its folder is named alone).
class Input_File {
 public:
  explicit Input_File(std::string path, std::string shown = "");
  ~Input_File();
  Input_File(const Input_File&) = delete;
  Input_File& operator=(const Input_File&) = delete;

  // Reads up to size bytes into data, retrying interruptions; 0 at the end
  // of the file.
  std::size_t Read(char* data, std::size_t size);
  Os_File File() const { return file_; }
  // The file as messages name it.
  const std::string& Shown() const { return shown_; }

 private:
  std::string shown_;
  Os_File file_ = OS_NO_FILE;
};

// Reads a file line by line in large blocks, in a buffer of fixed size. A
// line is returned without its '\n'; the last line of a file may lack one.
// Any read error, and a line longer than MAX_LINE_BYTES, throws.
class Line_Reader {
 public:
  // Messages name the file as Input_File's do.
  explicit Line_Reader(std::string path, std::string shown = "");
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
  // The file offset of the first byte of the next line.
  std::uint64_t Next_Offset() const { return buffer_offset_ + begin_; }
  // Before the first line is read: passes over the lines that start before
  // offset, counting them, so that the next line is the first that starts
  // at or after offset (none at the end of the file). Returns Next_Offset.
  std::uint64_t Skip_Lines_Before(std::uint64_t offset);
  const std::string& Shown() const { return file_.Shown(); }
  Os_File File() const { return file_.File(); }

 private:
  bool Read_More();

  Input_File file_;
  std::vector<char> buffer_;
  std::uint64_t buffer_offset_ = 0;  // the file offset of buffer_[0]
  std::size_t begin_ = 0;            // first unread byte
  std::size_t end_ = 0;              // one past the last byte read
  bool eof_ = false;
  bool newline_ = false;
  long line_number_ = 0;
};

// The first bytes of a regular file, at most limit + 1 of them (so that a
// longer file shows as longer), read without waiting like Input_File.
std::string Read_File_Start(const char* path, std::size_t limit);
