// The platform layer on Linux and other POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "Large_Page.h"
#include "Os.h"

Os_Error Os_Last_Error() {
  int error = errno;
  return {std::strerror(error), error == ENOENT};
}

// --- Process ----------------------------------------------------------------

namespace {

bool Open_Missing_Standard_Streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is this one, since those below are open.
    int opened = ::open("/dev/null", O_RDWR);
    if (opened != fd) {
      if (opened >= 0) ::close(opened);
      return false;
    }
  }
  return true;
}

}  // namespace

bool Os_Start_Process(int&, char**&) {
  if (!Open_Missing_Standard_Streams()) return false;
  // The C library's allocator takes it; an allocator that replaces it (as
  // AddressSanitizer's does) refuses it, having no such heaps to merge, and
  // is then left as it is.
  ::mallopt(M_ARENA_MAX, 1);
  ::signal(SIGXFSZ, SIG_IGN);
  ::signal(SIGPIPE, SIG_IGN);
  return true;
}

bool Os_Write_Standard(Os_Standard stream, std::string_view text) {
  std::FILE* file = stream == OS_STANDARD_OUTPUT ? stdout : stderr;
  std::fwrite(text.data(), 1, text.size(), file);
  return std::fflush(file) == 0 && !std::ferror(file);
}

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

sigset_t stop_signals;
void (*stop_action)(const char*) = nullptr;

// Waits on its own thread for a stop signal (blocked in every other
// thread), runs the stop action and ends the process by that signal.
void* Stop_When_Signalled(void*) {
  const sigset_t signals = stop_signals;
  int signal = 0;
  while (::sigwait(&signals, &signal) != 0) {
  }
  stop_action(Signal_Name(signal));
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

bool Os_Stop_On_Requests(void (*stop)(const char* name)) {
  stop_action = stop;
  ::signal(SIGPIPE, SIG_IGN);
  sigemptyset(&stop_signals);
  for (int signal : STOP_SIGNALS) sigaddset(&stop_signals, signal);
  ::pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  pthread_attr_t attributes;
  pthread_t thread;
  int error = ::pthread_attr_init(&attributes);
  if (error == 0) {
    ::pthread_attr_setstacksize(&attributes, SIGNAL_THREAD_STACK);
    ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    error =
        ::pthread_create(&thread, &attributes, Stop_When_Signalled, nullptr);
    ::pthread_attr_destroy(&attributes);
  }
  // The system lacks the memory for the thread's stack (or its count of
  // threads is used up, which a run of three threads does not reach).
  if (error == EAGAIN || error == ENOMEM) throw std::bad_alloc();
  errno = error;
  return error == 0;
}

bool Os_Random_Bytes(void* bytes, std::size_t size) {
  char* at = static_cast<char*>(bytes);
  while (size > 0) {
    ssize_t n = ::getrandom(at, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    at += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<std::string> Os_Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::string Os_User_Data_Directory() {
  std::string data = Os_Environment("XDG_DATA_HOME").value_or("");
  if (data.starts_with('/')) return data;
  std::string home = Os_Environment("HOME").value_or("");
  return home.empty() ? "" : home + "/.local/share";
}

// --- Files ------------------------------------------------------------------

Os_File Os_Standard_Error() { return STDERR_FILENO; }

namespace {

int Fd(Os_File file) { return static_cast<int>(file); }

// Back to blocking mode after an open that must not wait.
void Block(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK); }

}  // namespace

Os_Kind Os_Kind_Of(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return Os_Kind::MISSING;
  if (S_ISREG(status.st_mode)) return Os_Kind::REGULAR;
  if (S_ISDIR(status.st_mode)) return Os_Kind::DIRECTORY;
  return Os_Kind::OTHER;
}

std::optional<std::uint64_t> Os_Size_Of(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0 || status.st_size < 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(status.st_size);
}

std::optional<std::uint64_t> Os_Size(Os_File file) {
  struct stat status;
  if (::fstat(Fd(file), &status) != 0 || status.st_size < 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(status.st_size);
}

std::optional<Os_File_Id> Os_Identity(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return Os_File_Id{static_cast<std::uint64_t>(status.st_dev),
                    static_cast<std::uint64_t>(status.st_ino)};
}

namespace {

std::int64_t Nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

Os_File_Stamp Stamp_From(int result, const struct stat& status) {
  Os_File_Stamp stamp;
  if (result != 0) {
    stamp.status =
        errno == ENOENT ? Os_File_Stamp::MISSING : Os_File_Stamp::UNREADABLE;
    return stamp;
  }
  stamp.id = {static_cast<std::uint64_t>(status.st_dev),
              static_cast<std::uint64_t>(status.st_ino)};
  stamp.size = static_cast<std::int64_t>(status.st_size);
  stamp.modified_ns = Nanoseconds(status.st_mtim);
  stamp.changed_ns = Nanoseconds(status.st_ctim);
  return stamp;
}

}  // namespace

Os_File_Stamp Os_Stamp_Of(const std::string& path) {
  struct stat status;
  int result = ::stat(path.c_str(), &status);
  return Stamp_From(result, status);
}

Os_File_Stamp Os_Stamp(Os_File file) {
  struct stat status;
  int result = ::fstat(Fd(file), &status);
  return Stamp_From(result, status);
}

std::optional<std::string> Os_Follow_Links(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status;
    if (::lstat(at.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
      return at;
    char target[PATH_MAX];
    ssize_t n = ::readlink(at.c_str(), target, sizeof target);
    if (n < 0 || static_cast<std::size_t>(n) == sizeof target) return at;
    std::string next(target, static_cast<std::size_t>(n));
    std::size_t slash = at.rfind('/');
    at = next[0] == '/' || slash == std::string::npos
             ? next
             : at.substr(0, slash + 1) + next;
  }
  errno = ELOOP;
  return std::nullopt;
}

Os_File Os_Open_Regular(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return OS_NO_FILE;
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    int error = errno;
    ::close(fd);
    errno = error;
    return OS_NO_FILE;
  }
  Block(fd);
  return fd;
}

std::optional<std::size_t> Os_Read(Os_File file, char* data, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(Fd(file), data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    return static_cast<std::size_t>(n);
  }
}

bool Os_Write_All(Os_File file, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(Fd(file), bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool Os_Close(Os_File file) { return ::close(Fd(file)) == 0; }

Os_File Os_Create_Temporary(std::string& pattern) {
  int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return OS_NO_FILE;
  // mkostemp gives 0600; a new file gets 0666 less the umask.
  mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd, 0666 & ~mask) != 0) {
    int error = errno;
    ::close(fd);
    ::unlink(pattern.c_str());
    errno = error;
    return OS_NO_FILE;
  }
  return fd;
}

Os_File Os_Open_For_Writing(const std::string& path, bool create) {
  int flags = O_WRONLY | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0);
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return OS_NO_FILE;
  Block(fd);
  return fd;
}

std::optional<Os_File> Os_Standard_Stream_To(const std::string& path) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
    return OS_NO_FILE;
  for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat stream;
    if (::fstat(fd, &stream) == 0 && stream.st_dev == status.st_dev &&
        stream.st_ino == status.st_ino) {
      int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
      if (copy < 0) return std::nullopt;
      return copy;
    }
  }
  return OS_NO_FILE;
}

bool Os_Truncate_Regular(Os_File file, std::uint64_t size) {
  struct stat status;
  if (::fstat(Fd(file), &status) != 0 || !S_ISREG(status.st_mode)) return true;
  return ::ftruncate(Fd(file), static_cast<off_t>(size)) == 0;
}

bool Os_Sync(Os_File file) { return ::fsync(Fd(file)) == 0; }

void Os_Start_Writeback(Os_File file, std::uint64_t offset,
                        std::uint64_t length) {
#ifdef __linux__
  // Failure (a file system without it) leaves the bytes to the usual
  // writeback: a later write, sync or close reports any real fault.
  ::sync_file_range(Fd(file), static_cast<off_t>(offset),
                    static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
#else
  (void)file, (void)offset, (void)length;
#endif
}

void Os_Sync_Directory(const std::string& dir) {
  // Some file systems refuse to sync a directory; the renames are then as
  // durable as the system makes them.
  int fd = ::open(dir.empty() ? "." : dir.c_str(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

bool Os_Replace(const std::string& temporary, const std::string& target) {
  return ::rename(temporary.c_str(), target.c_str()) == 0;
}

namespace {

// Whether the caller may replace the directory entry path, of owner: in a
// sticky directory only the entry's owner, the directory's owner and root
// may (the others' rename is refused).
bool May_Replace(const std::string& path, uid_t owner) {
  uid_t caller = ::geteuid();
  if (caller == 0 || caller == owner) return true;
  std::size_t separator = path.find_last_of('/');
  std::string dir =
      separator == std::string::npos ? "." : path.substr(0, separator + 1);
  struct stat directory;
  if (::stat(dir.c_str(), &directory) != 0)
    return true;  // then the rename says what is wrong
  return (directory.st_mode & S_ISVTX) == 0 || directory.st_uid == caller;
}

}  // namespace

std::string Os_Replace_Refusal(const std::string& target) {
  struct stat status;
  if (::lstat(target.c_str(), &status) != 0) return "";
  if (S_ISDIR(status.st_mode)) return std::strerror(EISDIR);
  if (!May_Replace(target, status.st_uid))
    return "it belongs to another user and its directory is sticky";
  return "";
}

bool Os_Remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool Os_Make_Directory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  int error = errno;
  if (error == EEXIST && Os_Kind_Of(path) == Os_Kind::DIRECTORY) return true;
  errno = error;
  return false;
}

std::vector<std::string> Os_Directory_Names(const std::string& dir) {
  std::vector<std::string> names;
  DIR* stream = ::opendir(dir.empty() ? "." : dir.c_str());
  if (stream == nullptr) return names;
  while (const dirent* entry = ::readdir(stream))
    names.push_back(entry->d_name);
  ::closedir(stream);
  return names;
}

// --- The per-directory lock -------------------------------------------------

// Audits and settlements each mark the directory with a shared byte-range
// lock on a byte of their own (open-file-description locks, so each object
// holds its own); the exclusive lock is a flock of the whole directory.

namespace {

struct flock Byte_Range(short type, Os_Directory_Lock::Mark mark) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = mark == Os_Directory_Lock::AUDIT_MARK ? 0 : 1;
  range.l_len = 1;
  return range;
}

}  // namespace

Os_Directory_Lock::Os_Directory_Lock(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) dir_ = fd;
}

Os_Directory_Lock::~Os_Directory_Lock() {
  if (Entered()) ::close(Fd(dir_));
}

Os_Directory_Lock::Result Os_Directory_Lock::Take_Exclusive() {
  if (::flock(Fd(dir_), LOCK_EX | LOCK_NB) == 0) return TAKEN;
  return errno == EWOULDBLOCK ? BUSY : UNSUPPORTED;
}

bool Os_Directory_Lock::Set_Mark(Mark mark) {
  struct flock range = Byte_Range(F_RDLCK, mark);
  return ::fcntl(Fd(dir_), F_OFD_SETLK, &range) == 0;
}

bool Os_Directory_Lock::Marked(Mark mark) const {
  struct flock range = Byte_Range(F_WRLCK, mark);
  if (::fcntl(Fd(dir_), F_OFD_GETLK, &range) != 0) return false;
  return range.l_type != F_UNLCK;
}

bool Os_Directory_Lock::Removed() const {
  struct stat status;
  return ::fstat(Fd(dir_), &status) == 0 && status.st_nlink == 0;
}

// --- Memory -----------------------------------------------------------------

namespace {

// Maps size bytes (a multiple of LARGE_PAGE) starting on a large-page
// boundary: maps one large page more and trims the ends.
void* Map_Aligned(std::size_t size, int protection, int flags) {
  void* mapped = ::mmap(nullptr, size + LARGE_PAGE, protection,
                        MAP_PRIVATE | MAP_ANONYMOUS | flags, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  char* start = static_cast<char*>(mapped);
  std::size_t head =
      (LARGE_PAGE - reinterpret_cast<std::uintptr_t>(start) % LARGE_PAGE) %
      LARGE_PAGE;
  if (head != 0) ::munmap(start, head);
  ::munmap(start + head + size, LARGE_PAGE - head);
  return start + head;
}

}  // namespace

void* Os_Map_Memory(std::size_t bytes) {
  std::size_t size = Round_Up_To_Large_Page(bytes);
  void* start = Map_Aligned(size, PROT_READ | PROT_WRITE, 0);
  if (start != nullptr) ::madvise(start, size, MADV_HUGEPAGE);  // advice only
  return start;
}

void* Os_Reserve_Memory(std::size_t bytes) {
  return Map_Aligned(Round_Up_To_Large_Page(bytes), PROT_NONE, MAP_NORESERVE);
}

bool Os_Commit_Memory(void* at, std::size_t bytes) {
  if (::mprotect(at, bytes, PROT_READ | PROT_WRITE) != 0) return false;
  ::madvise(at, bytes, MADV_HUGEPAGE);  // advice only
  return true;
}

void Os_Release_Memory(void* memory, std::size_t bytes) {
  ::munmap(memory, Round_Up_To_Large_Page(bytes));
}

std::optional<std::uint64_t> Os_Address_Space_Limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return std::nullopt;
  return static_cast<std::uint64_t>(limit.rlim_cur);
}
