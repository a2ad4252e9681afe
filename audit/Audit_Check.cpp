#include "Audit_Check.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "Audit_Text.h"

namespace {

// Longest stretch of a found line shown in a message.
constexpr std::size_t SHOWN_BYTES = 120;

// The line of text that holds byte offset at (or ends just before it), with
// its '\n' if it has one, quoted and escaped; "end of file" when there is
// none.
std::string Line_At(std::string_view text, std::size_t at) {
  std::size_t begin = 0;
  if (at > 0) {
    std::size_t newline = text.rfind('\n', at - 1);
    if (newline != std::string_view::npos) begin = newline + 1;
  }
  if (begin >= text.size()) return "end of file";
  std::size_t end = text.find('\n', begin);
  end = end == std::string_view::npos ? text.size() : end + 1;
  std::string quoted = "\"";
  quoted += Escaped(text.substr(begin, end - begin), SHOWN_BYTES);
  quoted += '"';
  return quoted;
}

}  // namespace

Mapped_File::Mapped_File(const char* path) {
  Input_File file(path);  // a regular file, opened without waiting
  struct stat status;
  if (::fstat(file.Descriptor(), &status) != 0) Fail_Errno(path, "cannot read");
  size_ = static_cast<std::size_t>(status.st_size);
  if (size_ > 0) {
    void* data =
        ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, file.Descriptor(), 0);
    if (data == MAP_FAILED) Fail_Errno(path, "cannot read");
    data_ = static_cast<const char*>(data);
    ::madvise(data, size_, MADV_SEQUENTIAL);
  }
}

Mapped_File::~Mapped_File() {
  if (data_ != nullptr) ::munmap(const_cast<char*>(data_), size_);
}

Mapped_File::Mapped_File(Mapped_File&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

Mapped_File& Mapped_File::operator=(Mapped_File&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  return *this;
}

std::string Read_Whole_File(const char* path) {
  Input_File file(path);
  // Read straight into the string, sized by the file and grown if the file
  // turns out longer.
  struct stat status;
  std::size_t expected = 0;
  if (::fstat(file.Descriptor(), &status) == 0 && status.st_size > 0)
    expected = static_cast<std::size_t>(status.st_size);
  std::string content(expected + 1, '\0');
  std::size_t size = 0;
  for (;;) {
    if (size == content.size()) content.resize(content.size() * 2 + 4096);
    std::size_t n = file.Read(content.data() + size, content.size() - size);
    if (n == 0) break;
    size += n;
  }
  content.resize(size);
  return content;
}

std::string Compare_History(std::string_view expected, std::string_view found) {
  if (expected == found) return "";
  auto mismatch = std::mismatch(expected.begin(), expected.end(), found.begin(),
                                found.end());
  std::size_t at = static_cast<std::size_t>(mismatch.first - expected.begin());
  // The line holding the first differing byte; a difference right after a
  // '\n' belongs to the next line.
  long line = 1 + std::count(expected.begin(), expected.begin() + at, '\n');
  return "line " + std::to_string(line) + " differs: expected " +
         Line_At(expected, at) + ", found " + Line_At(found, at);
}

std::vector<Difference> Check_Outputs(const Audit_Figures& figures,
                                      const Found_Outputs& found) {
  std::vector<Difference> differences;
  std::string problem = Compare_History(figures.history, found.history);
  if (!problem.empty()) differences.push_back({HISTORY_FILE, problem});
  const struct {
    const char* file;
    const std::string& expected;
    const std::string& found;
  } summaries[2] = {
      {BUS_SUMMARY_FILE, figures.bus_summary, found.bus_summary},
      {METRO_SUMMARY_FILE, figures.metro_summary, found.metro_summary}};
  for (const auto& summary : summaries) {
    if (summary.found != summary.expected)
      differences.push_back(
          {summary.file, "expected \"" + Escaped(summary.expected) +
                             "\", found \"" +
                             Escaped(summary.found, SHOWN_BYTES) + "\""});
  }
  return differences;
}
