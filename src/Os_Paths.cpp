// The platform layer's paths, alike on every system: the standard library
// resolves them, given and giving UTF-8 (a std::string would be taken in
// the ANSI code page on Windows).
#include <filesystem>

#include "Os.h"

namespace {

std::filesystem::path Path_Of(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8_Of(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// path made absolute against the working directory; none without one.
std::optional<std::filesystem::path> Absolute(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute =
      std::filesystem::absolute(Path_Of(path), error);
  if (error) return std::nullopt;
  return absolute;
}

}  // namespace

std::optional<std::string> Os_Absolute_Path(const std::string& path,
                                            bool normal) {
  std::optional<std::filesystem::path> absolute = Absolute(path);
  if (!absolute) return std::nullopt;
  return Utf8_Of(normal ? absolute->lexically_normal() : *absolute);
}

std::optional<std::string> Os_Resolved_Path(const std::string& path) {
  std::optional<std::filesystem::path> absolute = Absolute(path);
  if (!absolute) return std::nullopt;
  std::error_code error;
  std::filesystem::path resolved =
      std::filesystem::weakly_canonical(*absolute, error);
  if (error) return std::nullopt;
  return Utf8_Of(resolved);
}
