// SHA-256 from libcrypto.
#include <openssl/evp.h>

#include "Sha256.h"

struct Sha256::State {
  EVP_MD_CTX* context;
};

void Sha256::Free_State::operator()(State* state) const {
  EVP_MD_CTX_free(state->context);
  delete state;
}

Sha256::Sha256() : state_(new State{EVP_MD_CTX_new()}) {
  if (state_->context == nullptr)
    failure_ = "out of memory";
  else
    Check(EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) == 1,
          "EVP_DigestInit_ex");
}

void Sha256::Update(const void* bytes, std::size_t size) {
  if (failure_.empty())
    Check(EVP_DigestUpdate(state_->context, bytes, size) == 1,
          "EVP_DigestUpdate");
}

Sha256_Digest Sha256::Finish() {
  Sha256_Digest digest{};
  unsigned int size = 0;
  if (!failure_.empty() ||
      !Check(EVP_DigestFinal_ex(state_->context, digest.data(), &size) == 1,
             "EVP_DigestFinal_ex"))
    return Sha256_Digest{};
  if (size != digest.size()) failure_ = "digest of unexpected size";
  return failure_.empty() ? digest : Sha256_Digest{};
}
