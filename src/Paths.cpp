#include "Paths.h"

#include <filesystem>

#include "Os.h"

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

namespace {

// Paths are UTF-8 on every system: a std::string given to std::filesystem
// would be read in the ANSI code page on Windows.
std::filesystem::path Path_Of(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8_Of(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

std::string Absolute_Path(const std::string& path, bool normal) {
  if (path.empty()) return path;
  std::error_code error;
  std::filesystem::path absolute =
      std::filesystem::absolute(Path_Of(path), error);
  if (error) return path;  // no working directory to resolve against
  return Utf8_Of(normal ? absolute.lexically_normal() : absolute);
}

namespace {

// The path with its links and dots resolved as far as it exists, and a
// last link that leads to a missing file followed to that file; the path
// itself when that fails (a name under /proc that leads to a pipe).
std::filesystem::path Resolved(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute =
      std::filesystem::absolute(Path_Of(Os_Follow_Links(path)), error);
  if (error) return Path_Of(path);  // no working directory to resolve against
  std::filesystem::path resolved =
      std::filesystem::weakly_canonical(absolute, error);
  return error ? Path_Of(path) : resolved;
}

}  // namespace

bool Same_File(const std::string& a, const std::string& b) {
  std::optional<Os_File_Id> id = Os_Identity(a);
  return (id && id == Os_Identity(b)) || Resolved(a) == Resolved(b);
}
