#include "Paths.h"

#include "Os.h"
#include "Settlement_Error.h"

std::string Directory_Prefix(const std::string& path) {
  std::size_t separator = path.find_last_of(OS_PATH_SEPARATORS);
  return separator == std::string::npos ? "" : path.substr(0, separator + 1);
}

std::string Base_Name(const std::string& path) {
  return path.substr(path.find_last_of(OS_PATH_SEPARATORS) + 1);
}

std::string Path_In(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  bool separated = OS_PATH_SEPARATORS.find(dir.back()) != std::string::npos;
  return separated ? dir + name : dir + "/" + name;
}

std::string Absolute_Path(const std::string& path, bool normal) {
  if (path.empty()) return path;
  return Os_Absolute_Path(path, normal).value_or(path);
}

std::string Link_Target(const std::string& path) {
  std::optional<std::string> target = Os_Follow_Links(path);
  if (!target) Fail_Os(path, "cannot create");
  return *target;
}

namespace {

// The path with its links and dots resolved as far as it exists, and a
// last link that leads to a missing file followed to that file; the path
// itself when that fails (no working directory, a name under /proc that
// leads to a pipe).
std::string Resolved(const std::string& path) {
  return Os_Resolved_Path(Link_Target(path)).value_or(path);
}

}  // namespace

bool Same_File(const std::string& a, const std::string& b) {
  std::optional<Os_File_Id> id = Os_Identity(a);
  return (id && id == Os_Identity(b)) || Resolved(a) == Resolved(b);
}
