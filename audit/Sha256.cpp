#include "Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace {

// The library reports failures only for broken set-ups (no SHA-256 provider,
// no memory); the audit cannot go on without its checksums.
void Check(int result, const char* call) {
  if (result != 1)
    throw std::runtime_error(std::string("SHA-256: ") + call + " failed");
}

}  // namespace

void Sha256::Free_Context::operator()(evp_md_ctx_st* context) const {
  EVP_MD_CTX_free(context);
}

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
  if (!context_) throw std::runtime_error("SHA-256: out of memory");
  Check(EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr),
        "EVP_DigestInit_ex");
}

void Sha256::Update(const void* bytes, std::size_t size) {
  Check(EVP_DigestUpdate(context_.get(), bytes, size), "EVP_DigestUpdate");
}

Sha256_Digest Sha256::Finish() {
  Sha256_Digest digest{};
  unsigned int size = 0;
  Check(EVP_DigestFinal_ex(context_.get(), digest.data(), &size),
        "EVP_DigestFinal_ex");
  if (size != digest.size())
    throw std::runtime_error("SHA-256: digest of unexpected size");
  return digest;
}

std::string Hex(const Sha256_Digest& digest) {
  static const char DIGITS[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * digest.size());
  for (std::uint8_t byte : digest) {
    text += DIGITS[byte >> 4];
    text += DIGITS[byte & 15];
  }
  return text;
}
