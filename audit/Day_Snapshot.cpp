#include "Day_Snapshot.h"

#include <sys/stat.h>

#include <cerrno>

#include "Audit_Text.h"

namespace {

std::int64_t Nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

File_Identity Identity_From(int result, const struct stat& status) {
  File_Identity identity;
  if (result != 0) {
    identity.error = errno;
    return identity;
  }
  identity.device = static_cast<std::uint64_t>(status.st_dev);
  identity.inode = static_cast<std::uint64_t>(status.st_ino);
  identity.size = static_cast<std::int64_t>(status.st_size);
  identity.modified_ns = Nanoseconds(status.st_mtim);
  identity.changed_ns = Nanoseconds(status.st_ctim);
  return identity;
}

}  // namespace

File_Identity Identity_Of(const char* path) {
  struct stat status;
  int result = ::stat(path, &status);
  return Identity_From(result, status);
}

File_Identity Identity_Of(int fd) {
  struct stat status;
  int result = ::fstat(fd, &status);
  return Identity_From(result, status);
}

Day_Snapshot::Day_Snapshot() {
  for (int i = 0; i < 9; ++i) files_[i] = Identity_Of(AUDITED_FILES[i]);
}

bool Day_Snapshot::Missing(int file) const {
  return files_[file].error == ENOENT;
}

void Day_Snapshot::Check_Opened(int file, int fd) const {
  if (Identity_Of(fd) == files_[file]) return;
  int none = -1;
  changed_.compare_exchange_strong(none, file);
}

void Day_Snapshot::Check_Unchanged() const {
  int changed = changed_.load();
  for (int i = 0; i < 9 && changed < 0; ++i)
    if (!(Identity_Of(AUDITED_FILES[i]) == files_[i])) changed = i;
  if (changed >= 0)
    Fail(AUDITED_FILES[changed], 0, "changed while being audited");
}
