// Comparison of the settlement's outputs with what the payment files give.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Audit_Figures.h"

// One output that is not what the payment files give.
struct Difference {
  std::string file;
  std::string problem;  // expected against found, as one line of text
};

// The whole content of a file; throws Settlement_Error when it cannot be
// opened or read.
std::string Read_Whole_File(const char* path);

// Compares expected history bytes with found ones; the problem names the
// first differing line and shows both lines, empty when they are equal.
std::string Compare_History(std::string_view expected, std::string_view found);

// A whole file mapped read-only into memory, for as long as the object
// lives; throws Settlement_Error when it cannot be opened or mapped.
class Mapped_File {
 public:
  Mapped_File() = default;
  explicit Mapped_File(const char* path);
  ~Mapped_File();
  Mapped_File(Mapped_File&& other) noexcept;
  Mapped_File& operator=(Mapped_File&& other) noexcept;
  Mapped_File(const Mapped_File&) = delete;
  Mapped_File& operator=(const Mapped_File&) = delete;

  std::string_view Bytes() const { return {data_, size_}; }

 private:
  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

// The settlement's three outputs as found on disk.
struct Found_Outputs {
  std::string_view history;  // into history_file, or any bytes
  std::string bus_summary;
  std::string metro_summary;
  Mapped_File history_file;
};

// Lists every output that differs from what figures says it must hold.
std::vector<Difference> Check_Outputs(const Audit_Figures& figures,
                                      const Found_Outputs& found);
