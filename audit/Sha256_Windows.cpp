// SHA-256 from Windows' own cryptography (CNG).
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include "Sha256.h"

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
};

void Sha256::Free_State::operator()(State* state) const {
  if (state->hash != nullptr) BCryptDestroyHash(state->hash);
  if (state->algorithm != nullptr)
    BCryptCloseAlgorithmProvider(state->algorithm, 0);
  delete state;
}

Sha256::Sha256() : state_(new State) {
  if (Check(BCryptOpenAlgorithmProvider(
                &state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0,
            "BCryptOpenAlgorithmProvider"))
    Check(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0,
                           nullptr, 0, 0) >= 0,
          "BCryptCreateHash");
}

void Sha256::Update(const void* bytes, std::size_t size) {
  // CNG takes at most 4 GiB at a time.
  const UCHAR* at = static_cast<const UCHAR*>(bytes);
  while (size > 0 && failure_.empty()) {
    ULONG part = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
    Check(BCryptHashData(state_->hash, const_cast<UCHAR*>(at), part, 0) >= 0,
          "BCryptHashData");
    at += part;
    size -= part;
  }
}

Sha256_Digest Sha256::Finish() {
  Sha256_Digest digest{};
  if (!failure_.empty() ||
      !Check(BCryptFinishHash(state_->hash, digest.data(),
                              static_cast<ULONG>(digest.size()), 0) >= 0,
             "BCryptFinishHash"))
    return Sha256_Digest{};
  return digest;
}
