#include "File_IO.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
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

// The directory part of path with its '/', or "" for a bare name.
std::string Directory_Prefix(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string Base_Name(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// The program whose temporaries these are; set by Stop_On_Signals.
const char* program_name = "fare-settlement";

// The temporary beside target without its six random characters:
// ".NAME.PROGRAM-". The program's name is a mark no operator's file has, so
// the start-up clean-up never mistakes one for a temporary.
std::string Temporary_Stem(const std::string& target) {
  std::string stem = Directory_Prefix(target);
  stem += '.';
  stem += Base_Name(target);
  stem += '.';
  stem += program_name;
  stem += '-';
  return stem;
}

}  // namespace

std::string Follow_Links(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status;
    if (::lstat(at.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
      return at;
    char target[PATH_MAX];
    ssize_t n = ::readlink(at.c_str(), target, sizeof target);
    if (n < 0 || static_cast<std::size_t>(n) == sizeof target) return at;
    std::string next(target, static_cast<std::size_t>(n));
    at = next[0] == '/' ? next : Directory_Prefix(at) + next;
  }
  errno = ELOOP;
  Fail_Errno(path, "cannot create");
}

namespace {

// The device and inode of the file path leads to, if it exists.
std::optional<std::pair<dev_t, ino_t>> Identity(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return std::make_pair(status.st_dev, status.st_ino);
}

// The path with its links and dots resolved as far as it exists, and a
// last link that leads to a missing file followed to that file; the path
// itself when that fails (a name under /proc that leads to a pipe).
std::filesystem::path Resolved(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute =
      std::filesystem::absolute(Follow_Links(path), error);
  if (error) return path;  // no working directory to resolve against
  std::filesystem::path resolved =
      std::filesystem::weakly_canonical(absolute, error);
  return error ? std::filesystem::path(path) : resolved;
}

}  // namespace

bool Same_File(const std::string& a, const std::string& b) {
  std::optional<std::pair<dev_t, ino_t>> id = Identity(a);
  return (id && id == Identity(b)) || Resolved(a) == Resolved(b);
}

namespace {

// Temporaries that a stop by signal removes: every Staged_File registers
// its temporary here under the lock, and the stop takes the lock for good
// before it removes them, so no temporary escapes and none is removed
// half-way through a publication.
struct Temporaries {
  std::mutex lock;
  std::vector<std::string> paths;
};

Temporaries& Unpublished() {
  static Temporaries* temporaries = new Temporaries;  // outlives exit
  return *temporaries;
}

void Forget_Locked(const std::string& path) {
  std::vector<std::string>& paths = Unpublished().paths;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (paths[i] == path) {
      paths[i] = std::move(paths.back());
      paths.pop_back();
      return;
    }
  }
}

// Forces the renames of a directory to disk; a directory that cannot be
// synced (some file systems refuse) leaves them as durable as the system
// makes them.
void Sync_Directory(const std::string& prefix) {
  const char* dir = prefix.empty() ? "." : prefix.c_str();
  int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Opens path for reading without waiting and refuses anything but a
// regular file; returns the descriptor, in blocking mode again.
int Open_Regular(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // A socket cannot be opened at all; it is no regular file either.
    int error = errno;
    struct stat status;
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
      Fail(path, 0, "not a regular file");
    errno = error;
    Fail_Errno(path, "cannot open");
  }
  struct stat status;
  if (::fstat(fd, &status) != 0) {
    int error = errno;
    ::close(fd);
    errno = error;
    Fail_Errno(path, "cannot open");
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(fd);
    Fail(path, 0, "not a regular file");
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
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

Input_File::Input_File(std::string path)
    : path_(std::move(path)), fd_(Open_Regular(path_)) {}

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
    Fail(Path(), line_number_ + 1, "line longer than 1 MiB");
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

// --- Staged_File ------------------------------------------------------------

namespace {

// Standard output or error when status is the file it writes to, else -1.
int Standard_Stream_Of(const struct stat& status) {
  for (int fd : {1, 2}) {
    struct stat stream;
    if (::fstat(fd, &stream) == 0 && stream.st_dev == status.st_dev &&
        stream.st_ino == status.st_ino)
      return fd;
  }
  return -1;
}

}  // namespace

Staged_File::Staged_File(std::string path, bool write_special_directly)
    : path_(std::move(path)) {
  // Asked of the system first: a name like /dev/stdout leads through links
  // that only it can follow.
  struct stat status;
  bool exists = ::stat(path_.c_str(), &status) == 0;
  if (exists && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
    if (!write_special_directly) Fail(path_, 0, "not a regular file");
    target_ = path_;
    Open_Directly();
    return;
  }
  // A regular file that standard output or error is redirected to: written
  // through that stream, after what the program has printed there, since a
  // rename would take what it printed away.
  int stream =
      exists && write_special_directly ? Standard_Stream_Of(status) : -1;
  if (stream >= 0) {
    target_ = path_;
    fd_ = ::fcntl(stream, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) Fail_Errno(path_, "cannot write");
    published_ = true;  // nothing to rename
    return;
  }
  target_ = Follow_Links(path_);
  // Everything that needs memory comes before the temporary exists: a
  // constructor that throws runs no destructor to remove it.
  std::string temporary = Temporary_Stem(target_) + "XXXXXX";
  std::string registered = temporary;
  buffer_.reserve(WRITE_BLOCK);
  std::lock_guard<std::mutex> guard(Unpublished().lock);
  Unpublished().paths.reserve(Unpublished().paths.size() + 1);
  fd_ = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd_ < 0) Fail_Errno(path_, "cannot create");
  registered.assign(temporary);  // same length: no allocation
  Unpublished().paths.push_back(std::move(registered));
  temp_path_ = std::move(temporary);
  if (::fchmod(fd_, New_File_Mode()) != 0) {
    int error = errno;
    ::close(std::exchange(fd_, -1));
    ::unlink(temp_path_.c_str());
    Forget_Locked(temp_path_);
    errno = error;
    Fail_Errno(path_, "cannot create");
  }
}

// A device or FIFO: opened for writing without waiting for a reader, then
// written in blocking mode.
void Staged_File::Open_Directly() {
  fd_ = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) Fail_Errno(path_, "cannot write");
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  published_ = true;  // nothing to rename
}

Staged_File::Staged_File(Staged_File&& other) noexcept
    : path_(std::move(other.path_)),
      target_(std::move(other.target_)),
      temp_path_(std::exchange(other.temp_path_, std::string())),
      fd_(std::exchange(other.fd_, -1)),
      buffer_(std::move(other.buffer_)),
      published_(other.published_) {}

Staged_File::~Staged_File() {
  if (fd_ >= 0) ::close(fd_);
  if (!published_ && !temp_path_.empty()) {
    std::lock_guard<std::mutex> guard(Unpublished().lock);
    ::unlink(temp_path_.c_str());
    Forget_Locked(temp_path_);
  }
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
  // A device or FIFO written directly need not support fsync.
  if (sync && !temp_path_.empty() && ::fsync(fd_) != 0)
    Fail_Errno(path_, "cannot write");
  int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) Fail_Errno(path_, "cannot write");
}

void Staged_File::Rename_Locked() {
  if (published_) return;
  if (::rename(temp_path_.c_str(), target_.c_str()) != 0)
    Fail_Errno(path_, "cannot replace");
  published_ = true;
  Forget_Locked(temp_path_);
}

void Staged_File::Publish() {
  Staged_File* self = this;
  Publish_All(&self, 1);
}

namespace {

// Whether the caller may replace the directory entry path, of owner: in a
// sticky directory only the entry's owner, the directory's owner and root
// may (the others' rename is refused).
bool May_Replace(const std::string& path, uid_t owner) {
  uid_t caller = ::geteuid();
  if (caller == 0 || caller == owner) return true;
  std::string prefix = Directory_Prefix(path);
  struct stat directory;
  if (::stat(prefix.empty() ? "." : prefix.c_str(), &directory) != 0)
    return true;  // then the rename says what is wrong
  return (directory.st_mode & S_ISVTX) == 0 || directory.st_uid == caller;
}

}  // namespace

void Staged_File::Check_Replaceable() const {
  struct stat status;
  if (published_ || ::lstat(target_.c_str(), &status) != 0) return;
  if (S_ISDIR(status.st_mode)) {
    errno = EISDIR;
    Fail_Errno(path_, "cannot replace");
  }
  if (!May_Replace(target_, status.st_uid))
    Fail(path_, 0,
         "cannot replace: it belongs to another user and its directory is "
         "sticky");
}

void Publish_All(Staged_File* const* files, std::size_t count,
                 void (*after)()) {
  // Taken before the renames: nothing after them may run out of memory.
  std::vector<std::string> directories;
  for (std::size_t i = 0; i < count; ++i)
    directories.push_back(Directory_Prefix(files[i]->Target()));
  {
    std::lock_guard<std::mutex> guard(Unpublished().lock);
    // A rename can fail for a directory in the way or for another user's
    // file in a sticky directory; find that out before the first rename so
    // that a failure never leaves some files new.
    for (std::size_t i = 0; i < count; ++i) files[i]->Check_Replaceable();
    for (std::size_t i = 0; i < count; ++i) files[i]->Rename_Locked();
    if (after != nullptr) after();
  }
  for (const std::string& directory : directories) Sync_Directory(directory);
}

void Remove_Stale_Temporaries(const char* path) {
  std::string target = Follow_Links(path);
  std::string prefix = Directory_Prefix(target);
  // Only in the run's own directory, which its lock covers: beside a link's
  // target elsewhere, a temporary may be another directory's run's.
  struct stat here, there;
  if (::stat(".", &here) != 0 ||
      ::stat(prefix.empty() ? "." : prefix.c_str(), &there) != 0 ||
      here.st_dev != there.st_dev || here.st_ino != there.st_ino)
    return;
  std::string stem = Base_Name(Temporary_Stem(target));
  DIR* dir = ::opendir(prefix.empty() ? "." : prefix.c_str());
  if (dir == nullptr) return;  // then nothing can be written there either
  // mkostemp's six characters are letters and digits.
  auto is_stale = [&](std::string_view name) {
    if (name.size() != stem.size() + 6 || name.substr(0, stem.size()) != stem)
      return false;
    for (char c : name.substr(stem.size()))
      if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
  };
  while (const dirent* entry = ::readdir(dir)) {
    if (is_stale(entry->d_name)) ::unlink((prefix + entry->d_name).c_str());
  }
  ::closedir(dir);
}

// --- Stop by signal ---------------------------------------------------------

namespace {

const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

const char* Signal_Name(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "SIGHUP";
  }
}

// Waits on its own thread for a stop signal (blocked in every other
// thread), removes the temporaries and ends the process by that signal.
// The lock it takes is never given back, so nothing is published after.
// It allocates nothing: memory may have run out when the signal comes.
void* Stop_When_Signalled(void* blocked) {
  const sigset_t signals = *static_cast<const sigset_t*>(blocked);
  int signal = 0;
  while (::sigwait(&signals, &signal) != 0) {
  }
  Unpublished().lock.lock();
  for (const std::string& path : Unpublished().paths) ::unlink(path.c_str());
  char line[256];
  int length = std::snprintf(line, sizeof line, "%s: stopped by %s\n",
                             program_name, Signal_Name(signal));
  if (length > 0) {
    ssize_t written = ::write(STDERR_FILENO, line,
                              std::min(sizeof line - 1, std::size_t(length)));
    (void)written;  // nothing more can be done about a lost message
  }
  ::signal(signal, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  ::raise(signal);
  ::_exit(128 + signal);
}

// The signal thread's stack: it calls little, so a small one keeps the
// address space a run needs small.
constexpr std::size_t SIGNAL_THREAD_STACK = 256 << 10;

}  // namespace

void Stop_On_Signals(const char* program) {
  program_name = program;
  Unpublished();  // made now, while an allocation can still be reported
  ::signal(SIGPIPE, SIG_IGN);
  static sigset_t signals;
  sigemptyset(&signals);
  for (int signal : STOP_SIGNALS) sigaddset(&signals, signal);
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  pthread_attr_t attributes;
  pthread_t thread;
  int error = ::pthread_attr_init(&attributes);
  if (error == 0) {
    ::pthread_attr_setstacksize(&attributes, SIGNAL_THREAD_STACK);
    ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    error =
        ::pthread_create(&thread, &attributes, Stop_When_Signalled, &signals);
    ::pthread_attr_destroy(&attributes);
  }
  // The system lacks the memory for the thread's stack (or its count of
  // threads is used up, which a run of three threads does not reach).
  if (error == EAGAIN || error == ENOMEM) throw std::bad_alloc();
  if (error != 0) {
    errno = error;
    Fail_Errno("signal handling", "cannot start");
  }
}

// --- Day_Lock ---------------------------------------------------------------

namespace {

// Audits and settlements each mark the directory with a shared byte-range
// lock of their own byte; only settlements take the whole-directory flock.
// An audit marks its byte before it looks for a settlement's, and a
// settlement marks its byte before it looks for audits', so one of the two
// always sees the other.
constexpr off_t AUDIT_BYTE = 0;
constexpr off_t SETTLEMENT_BYTE = 1;

struct flock Byte_Range(short type, off_t byte) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = byte;
  range.l_len = 1;
  return range;
}

bool Mark(int fd, off_t byte) {
  struct flock range = Byte_Range(F_RDLCK, byte);
  return ::fcntl(fd, F_OFD_SETLK, &range) == 0;
}

// Whether any other open directory carries a mark on byte.
bool Marked(int fd, off_t byte) {
  struct flock range = Byte_Range(F_WRLCK, byte);
  if (::fcntl(fd, F_OFD_GETLK, &range) != 0) return false;
  return range.l_type != F_UNLCK;
}

}  // namespace

Day_Lock::Day_Lock(const std::string& dir, Kind kind) {
  fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) Fail_Errno(dir, "cannot enter directory");
  try {
    if (kind == AUDIT) {
      if (Mark(fd_, AUDIT_BYTE) && Marked(fd_, SETTLEMENT_BYTE))
        Fail(dir, 0, "a settlement is under way in this directory");
      return;
    }
    // A file system without these locks leaves the run unprotected, as
    // before there were any, rather than unable to run.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
      throw Settlement_Error("another run is under way in this directory");
    Mark(fd_, SETTLEMENT_BYTE);
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

Day_Lock::~Day_Lock() { ::close(fd_); }

void Day_Lock::Wait_For_Audits(int max_looks,
                               void (*sleep_one_second)()) const {
  if (!Marked(fd_, AUDIT_BYTE)) return;
  std::fprintf(stderr, "%s: waiting for an audit of this directory to finish\n",
               program_name);
  for (int looks = 0; looks < max_looks; ++looks) {
    sleep_one_second();
    if (!Marked(fd_, AUDIT_BYTE)) return;
  }
  throw Settlement_Error("gave up after " + std::to_string(max_looks) +
                         " seconds waiting for an audit of this directory "
                         "to finish");
}

bool Day_Lock::Removed() const {
  struct stat status;
  return ::fstat(fd_, &status) == 0 && status.st_nlink == 0;
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

void Write_Whole_File(const char* path, std::string_view bytes) {
  // Without waiting: a FIFO with no reader fails instead of hanging.
  // Not truncated first: a write that fails leaves the old bytes.
  int fd = ::open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) Fail_Errno(path, "cannot write");
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  try {
    Write_All(fd, bytes, path);
    struct stat status;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0)
      Fail_Errno(path, "cannot write");
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) Fail_Errno(path, "cannot write");
}
