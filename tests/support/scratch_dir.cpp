#include "scratch_dir.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

Scratch_Dir::Scratch_Dir(const std::string& name) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / (name + ".XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot create a scratch directory");
  path_ = pattern;
}

Scratch_Dir::~Scratch_Dir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void Scratch_Dir::Write(const std::string& name,
                        const std::string& bytes) const {
  Write_File(File(name), bytes);
}

std::string Scratch_Dir::Read(const std::string& name) const {
  return Read_File(File(name));
}

std::string Read_File(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void Write_File(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

Working_Dir::Working_Dir(const std::string& path) {
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(path);
}

Working_Dir::~Working_Dir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

std::vector<std::string> Names_In(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
