#include "File_IO.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace {

constexpr std::size_t READ_BLOCK = 1 << 20;
constexpr std::size_t WRITE_BLOCK = 1 << 20;

// Writes all of bytes to fd, retrying short writes and interruptions.
void Write_All(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail_Errno(path, "cannot write");
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// The permissions a newly created file gets: 0666 less the umask.
mode_t New_File_Mode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

std::string Directory_Of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

}  // namespace

void Fail(std::string_view file, long line, std::string_view problem) {
  std::string message(file);
  if (line > 0) {
    message += ':';
    message += std::to_string(line);
  }
  message += ": ";
  message += problem;
  throw Settlement_Error(message);
}

void Fail_Errno(std::string_view file, std::string_view action) {
  std::string problem(action);
  problem += ": ";
  problem += std::strerror(errno);
  Fail(file, 0, problem);
}

// --- Input_File -------------------------------------------------------------

Input_File::Input_File(std::string path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) Fail_Errno(path_, "cannot open");
}

Input_File::~Input_File() { ::close(fd_); }

std::size_t Input_File::Read(char* data, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail_Errno(path_, "cannot read");
    return static_cast<std::size_t>(n);
  }
}

// --- Line_Reader ------------------------------------------------------------

Line_Reader::Line_Reader(std::string path) : file_(std::move(path)) {
  buffer_.resize(READ_BLOCK);
}

Line_Reader::~Line_Reader() = default;

// Moves the unread bytes to the front, grows the buffer if it is full, and
// reads one more block. Returns false at end of file.
bool Line_Reader::Read_More() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  std::size_t n = file_.Read(buffer_.data() + end_, buffer_.size() - end_);
  end_ += n;
  return n > 0;
}

bool Line_Reader::Next(std::string_view& line) {
  std::size_t scanned = begin_;
  for (;;) {
    const char* start = buffer_.data();
    const void* found = std::memchr(start + scanned, '\n', end_ - scanned);
    if (found != nullptr) {
      std::size_t at = static_cast<const char*>(found) - start;
      line = std::string_view(start + begin_, at - begin_);
      begin_ = at + 1;
      newline_ = true;
      ++line_number_;
      return true;
    }
    if (eof_) break;
    scanned = end_ - begin_;
    if (!Read_More()) eof_ = true;
  }
  if (begin_ == end_) return false;
  line = std::string_view(buffer_.data() + begin_, end_ - begin_);
  begin_ = end_;
  newline_ = false;
  ++line_number_;
  return true;
}

// --- Staged_File ------------------------------------------------------------

Staged_File::Staged_File(std::string path) : path_(std::move(path)) {
  std::string name = path_.substr(path_.rfind('/') + 1);
  temp_path_ = Directory_Of(path_);
  if (temp_path_ == ".") temp_path_.clear();
  temp_path_ += "." + name + ".XXXXXX";
  fd_ = ::mkostemp(temp_path_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    temp_path_.clear();
    Fail_Errno(path_, "cannot create");
  }
  if (::fchmod(fd_, New_File_Mode()) != 0) Fail_Errno(path_, "cannot create");
  buffer_.reserve(WRITE_BLOCK);
}

Staged_File::Staged_File(Staged_File&& other) noexcept
    : path_(std::move(other.path_)),
      temp_path_(std::exchange(other.temp_path_, std::string())),
      fd_(std::exchange(other.fd_, -1)),
      buffer_(std::move(other.buffer_)),
      published_(other.published_) {}

Staged_File::~Staged_File() {
  if (fd_ >= 0) ::close(fd_);
  if (!published_ && !temp_path_.empty()) ::unlink(temp_path_.c_str());
}

void Staged_File::Flush() {
  Write_All(fd_, buffer_, path_);
  buffer_.clear();
}

void Staged_File::Write(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= WRITE_BLOCK) Flush();
}

void Staged_File::Finish(bool sync) {
  Flush();
  if (sync && ::fsync(fd_) != 0) Fail_Errno(path_, "cannot write");
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) Fail_Errno(path_, "cannot write");
}

void Staged_File::Publish() {
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0)
    Fail_Errno(path_, "cannot replace");
  published_ = true;
}

void Staged_File::Check_Replaceable() const {
  struct stat status;
  if (::stat(path_.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    errno = EISDIR;
    Fail_Errno(path_, "cannot replace");
  }
}

void Publish_Pair(Staged_File& first, Staged_File& second) {
  // A rename can fail for a directory in the way; find that out before the
  // first rename so that a failure never leaves one file new, one old.
  first.Check_Replaceable();
  second.Check_Replaceable();
  first.Publish();
  second.Publish();
  // Make the renames durable too; a directory that cannot be synced (some
  // file systems refuse) leaves them as durable as the system makes them.
  int dir = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

void Write_Whole_File(const char* path, std::string_view bytes) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail_Errno(path, "cannot write");
  try {
    Write_All(fd, bytes, path);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) Fail_Errno(path, "cannot write");
}

namespace {

constexpr std::size_t LARGE_PAGE = std::size_t{2} << 20;

std::size_t Round_Up(std::size_t bytes) {
  return (bytes + LARGE_PAGE - 1) / LARGE_PAGE * LARGE_PAGE;
}

}  // namespace

namespace {

// Maps size bytes (a multiple of LARGE_PAGE) starting on a large-page
// boundary: maps one large page more and trims the ends.
char* Map_Aligned(std::size_t size, int protection, int flags) {
  void* mapped = ::mmap(nullptr, size + LARGE_PAGE, protection,
                        MAP_PRIVATE | MAP_ANONYMOUS | flags, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  char* start = static_cast<char*>(mapped);
  std::size_t head =
      (LARGE_PAGE - reinterpret_cast<std::uintptr_t>(start) % LARGE_PAGE) %
      LARGE_PAGE;
  if (head != 0) ::munmap(start, head);
  ::munmap(start + head + size, LARGE_PAGE - head);
  return start + head;
}

}  // namespace

void* Map_Memory(std::size_t bytes) {
  // Aligned so that it can be backed by large pages throughout.
  std::size_t size = Round_Up(bytes);
  char* start = Map_Aligned(size, PROT_READ | PROT_WRITE, 0);
  ::madvise(start, size, MADV_HUGEPAGE);  // only advice: may fail
  return start;
}

void* Reserve_Memory(std::size_t bytes) {
  return Map_Aligned(Round_Up(bytes), PROT_NONE, MAP_NORESERVE);
}

void Unmap_Memory(void* memory, std::size_t bytes) {
  ::munmap(memory, Round_Up(bytes));
}
