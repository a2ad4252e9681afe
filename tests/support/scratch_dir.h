// A fresh temporary directory for one test, removed with everything in it
// when the test ends, plus small whole-file helpers.
#pragma once

#include <string>
#include <vector>

class Scratch_Dir {
 public:
  // Named NAME.XXXXXX in the temporary directory.
  explicit Scratch_Dir(const std::string& name = "fare-test");
  ~Scratch_Dir();
  Scratch_Dir(const Scratch_Dir&) = delete;
  Scratch_Dir& operator=(const Scratch_Dir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& bytes) const;
  // The whole content of a file; "<missing>" when it cannot be read.
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

// The whole content of a file; "<missing>" when it cannot be read.
std::string Read_File(const std::string& path);
void Write_File(const std::string& path, const std::string& bytes);
// The names in a directory, sorted.
std::vector<std::string> Names_In(const std::string& dir);

// Makes the scratch directory the working directory for the object's life.
class Working_Dir {
 public:
  explicit Working_Dir(const std::string& path);
  ~Working_Dir();

 private:
  std::string previous_;
};
