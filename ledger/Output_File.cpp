#include "Output_File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "Ledger_Error.h"

namespace {

[[noreturn]] void Fail_Write(const std::string& path, int error) {
  Fail_Ledger(path + ": cannot write: " + std::strerror(error));
}

void Write_All(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail_Write(path, errno);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// The temporary, closed and removed unless released.
struct Temporary {
  std::string path;
  int fd = -1;
  ~Temporary() {
    if (fd >= 0) ::close(fd);
    if (!path.empty()) ::unlink(path.c_str());
  }
};

}  // namespace

bool Same_Existing_File(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void Write_Output_File(const std::string& path, std::string_view bytes) {
  struct stat status;
  if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
    if (S_ISDIR(status.st_mode)) Fail_Ledger(path + ": is a directory");
    int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) Fail_Write(path, errno);
    Write_All(fd, bytes, path);
    ::close(fd);
    return;
  }
  std::size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  Temporary temporary{dir + "." + name + ".XXXXXX"};
  temporary.fd = ::mkstemp(temporary.path.data());
  if (temporary.fd < 0) {
    temporary.path.clear();
    Fail_Write(path, errno);
  }
  Write_All(temporary.fd, bytes, path);
  ::fchmod(temporary.fd, 0644);
  int closed = ::close(std::exchange(temporary.fd, -1));
  if (closed != 0) Fail_Write(path, errno);
  if (::rename(temporary.path.c_str(), path.c_str()) != 0)
    Fail_Write(path, errno);
  temporary.path.clear();
}
