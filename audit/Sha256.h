// SHA-256 digests of byte streams, computed by the system's crypto library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using Sha256_Digest = std::array<std::uint8_t, 32>;

struct evp_md_ctx_st;

class Sha256 {
 public:
  // Throws std::runtime_error when the library cannot start a digest.
  Sha256();
  void Update(const void* bytes, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything added so far; the object is then spent.
  Sha256_Digest Finish();

 private:
  struct Free_Context {
    void operator()(evp_md_ctx_st* context) const;
  };
  std::unique_ptr<evp_md_ctx_st, Free_Context> context_;
};

// Lower-case hexadecimal text of a digest.
std::string Hex(const Sha256_Digest& digest);
