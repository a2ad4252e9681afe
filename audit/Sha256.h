// SHA-256 digests of byte streams, computed by the system's crypto library
// (libcrypto in Sha256_Posix.cpp, CNG in Sha256_Windows.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using Sha256_Digest = std::array<std::uint8_t, 32>;

// The library refuses a call only when it is broken (no SHA-256 provider,
// no memory): the first call refused is kept for Failure(), the calls
// after it are skipped and the digest is then all zeros.
class Sha256 {
 public:
  Sha256();
  void Update(const void* bytes, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything added so far; the object is then spent.
  Sha256_Digest Finish();
  // "" while the library did every call, else which it refused
  // ("EVP_DigestUpdate failed").
  const std::string& Failure() const { return failure_; }

 private:
  // Keeps the first failure; false once there is one.
  bool Check(bool done, const char* call) {
    if (!done && failure_.empty()) failure_ = std::string(call) + " failed";
    return failure_.empty();
  }

  struct State;  // the library's digest under way
  struct Free_State {
    void operator()(State* state) const;
  };
  std::unique_ptr<State, Free_State> state_;
  std::string failure_;
};
