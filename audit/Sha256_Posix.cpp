// SHA-256 from libcrypto.
#include <openssl/evp.h>

#include <stdexcept>

#include "Sha256.h"

struct Sha256::State {
  EVP_MD_CTX* context;
};

namespace {

// The library reports failures only for broken set-ups (no SHA-256 provider,
// no memory); the audit cannot go on without its checksums.
void Check(int result, const char* call) {
  if (result != 1)
    throw std::runtime_error(std::string("SHA-256: ") + call + " failed");
}

}  // namespace

void Sha256::Free_State::operator()(State* state) const {
  EVP_MD_CTX_free(state->context);
  delete state;
}

Sha256::Sha256() : state_(new State{EVP_MD_CTX_new()}) {
  if (state_->context == nullptr)
    throw std::runtime_error("SHA-256: out of memory");
  Check(EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr),
        "EVP_DigestInit_ex");
}

void Sha256::Update(const void* bytes, std::size_t size) {
  Check(EVP_DigestUpdate(state_->context, bytes, size), "EVP_DigestUpdate");
}

Sha256_Digest Sha256::Finish() {
  Sha256_Digest digest{};
  unsigned int size = 0;
  Check(EVP_DigestFinal_ex(state_->context, digest.data(), &size),
        "EVP_DigestFinal_ex");
  if (size != digest.size())
    throw std::runtime_error("SHA-256: digest of unexpected size");
  return digest;
}
