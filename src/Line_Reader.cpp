#include "Line_Reader.h"

#include <cstring>
#include <utility>

#include "Settlement_Error.h"

namespace {

constexpr std::size_t READ_BLOCK = 1 << 20;

// Opens the regular file path for reading; throws "not a regular file" or
// "cannot open", naming it as shown.
Os_File Open_Input(const std::string& path, const std::string& shown) {
  Os_File file = Os_Open_Regular(path);
  if (file != OS_NO_FILE) return file;
  Os_Error error = Os_Last_Error();
  // A FIFO or device is refused unopened, and a socket cannot be opened at
  // all: none of them is a regular file.
  Os_Kind kind = Os_Kind_Of(path);
  if (kind != Os_Kind::MISSING && kind != Os_Kind::REGULAR)
    Fail(shown, 0, "not a regular file");
  Fail(shown, 0, "cannot open: " + error.text);
}

}  // namespace

// --- Input_File -------------------------------------------------------------

Input_File::Input_File(std::string path, std::string shown)
    : shown_(shown.empty() ? path : std::move(shown)),
      file_(Open_Input(path, shown_)) {}

Input_File::~Input_File() { Os_Close(file_); }

std::size_t Input_File::Read(char* data, std::size_t size) {
  std::optional<std::size_t> n = Os_Read(file_, data, size);
  if (!n) Fail_Os(shown_, "cannot read");
  return *n;
}

// --- Line_Reader ------------------------------------------------------------

Line_Reader::Line_Reader(std::string path, std::string shown)
    : file_(std::move(path), std::move(shown)) {
  // Room for the longest line and a whole block after it.
  buffer_.resize(MAX_LINE_BYTES + READ_BLOCK);
}

Line_Reader::~Line_Reader() = default;

// Moves the unread bytes (at most MAX_LINE_BYTES) to the front and reads
// one more block. Returns false at end of file.
bool Line_Reader::Read_More() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  std::size_t n = file_.Read(buffer_.data() + end_, buffer_.size() - end_);
  end_ += n;
  return n > 0;
}

bool Line_Reader::Next(std::string_view& line) {
  Read read = Next_Or_Long(line);
  if (read == Read::TOO_LONG)
    Fail(Shown(), line_number_ + 1, "line longer than 1 MiB");
  return read == Read::LINE;
}

void Line_Reader::Skip_Long_Line() {
  for (;;) {
    const char* start = buffer_.data();
    const void* found = std::memchr(start + begin_, '\n', end_ - begin_);
    if (found != nullptr) {
      begin_ = static_cast<const char*>(found) - start + 1;
      break;
    }
    begin_ = end_;
    if (!Read_More()) {
      eof_ = true;
      break;
    }
  }
  ++line_number_;
}

Line_Reader::Read Line_Reader::Next_Or_Long(std::string_view& line) {
  std::size_t scanned = begin_;
  for (;;) {
    const char* start = buffer_.data();
    const void* found = std::memchr(start + scanned, '\n', end_ - scanned);
    if (found != nullptr) {
      std::size_t at = static_cast<const char*>(found) - start;
      if (at - begin_ > MAX_LINE_BYTES) break;
      line = std::string_view(start + begin_, at - begin_);
      begin_ = at + 1;
      newline_ = true;
      ++line_number_;
      return Read::LINE;
    }
    if (eof_ || end_ - begin_ > MAX_LINE_BYTES) break;
    scanned = end_ - begin_;
    if (!Read_More()) eof_ = true;
  }
  if (begin_ == end_) return Read::END;
  if (end_ - begin_ > MAX_LINE_BYTES) return Read::TOO_LONG;
  line = std::string_view(buffer_.data() + begin_, end_ - begin_);
  begin_ = end_;
  newline_ = false;
  ++line_number_;
  return Read::LINE;
}

std::string Read_File_Start(const char* path, std::size_t limit) {
  Input_File file(path);
  std::string bytes(limit + 1, '\0');
  std::size_t size = 0;
  while (size < bytes.size()) {
    std::size_t n = file.Read(bytes.data() + size, bytes.size() - size);
    if (n == 0) break;
    size += n;
  }
  bytes.resize(size);
  return bytes;
}
