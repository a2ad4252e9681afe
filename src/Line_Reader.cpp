#include "Line_Reader.h"

#include <algorithm>
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

// The '\n' bytes in n bytes at p. Counted in 32 lanes of one byte each,
// emptied before they can overflow, which the compiler turns into vector
// compares: seven times as fast as std::count, which counts into a word per
// byte.
std::size_t Count_Newlines(const char* p, std::size_t n) {
  constexpr std::size_t LANES = 32, ROUNDS = 255;
  std::size_t total = 0;
  while (n > 0) {
    std::size_t block = std::min(n, LANES * ROUNDS);
    unsigned char counts[LANES] = {};
    std::size_t i = 0;
    for (; i + LANES <= block; i += LANES)
      for (std::size_t k = 0; k < LANES; ++k) counts[k] += p[i + k] == '\n';
    for (unsigned char count : counts) total += count;
    for (; i < block; ++i) total += p[i] == '\n';
    p += block;
    n -= block;
  }
  return total;
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
    buffer_offset_ += begin_;
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

std::uint64_t Line_Reader::Skip_Lines_Before(std::uint64_t offset) {
  // A line starts at 0 and after every '\n': the first at or after offset
  // follows the first '\n' at or after offset - 1.
  if (offset == 0) return Next_Offset();
  const std::uint64_t newline_from = offset - 1;
  for (;;) {
    const char* start = buffer_.data();
    std::size_t from = begin_;
    if (buffer_offset_ + end_ > newline_from) {
      from = std::max<std::size_t>(begin_, newline_from - buffer_offset_);
      line_number_ += Count_Newlines(start + begin_, from - begin_);
      const void* found = std::memchr(start + from, '\n', end_ - from);
      if (found != nullptr) {
        begin_ = static_cast<const char*>(found) - start + 1;
        ++line_number_;
        return Next_Offset();
      }
    }
    line_number_ += Count_Newlines(start + from, end_ - from);
    // What is left after the last '\n' is a line when the file ends there.
    bool partial = end_ > begin_ && start[end_ - 1] != '\n';
    begin_ = end_;
    if (!Read_More()) {
      eof_ = true;
      line_number_ += partial;
      return Next_Offset();
    }
  }
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
