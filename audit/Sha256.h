// SHA-256 digests of byte streams, computed by the system's crypto library
// (libcrypto in Sha256_Posix.cpp, CNG in Sha256_Windows.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

using Sha256_Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  // Throws std::runtime_error when the library cannot start a digest.
  Sha256();
  void Update(const void* bytes, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything added so far; the object is then spent.
  Sha256_Digest Finish();

 private:
  struct State;  // the library's digest under way
  struct Free_State {
    void operator()(State* state) const;
  };
  std::unique_ptr<State, Free_State> state_;
};
