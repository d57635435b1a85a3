// MD5 through CryptoAPI: a verify-only context of the default RSA provider in
// the machine key set, so no key container is needed or created.
#include "platform/MD5.h"

#include <windows.h>
#include <wincrypt.h>

namespace platform {

struct MD5Hash::State {
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
};

MD5Hash::MD5Hash() : state_(std::make_unique<State>()) {
  if (!CryptAcquireContextA(&state_->provider, nullptr, nullptr, PROV_RSA_FULL,
                            CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET)) {
    state_->provider = 0;
    return;
  }
  if (!CryptCreateHash(state_->provider, CALG_MD5, 0, 0, &state_->hash)) state_->hash = 0;
}

MD5Hash::~MD5Hash() {
  if (state_->hash) CryptDestroyHash(state_->hash);
  if (state_->provider) CryptReleaseContext(state_->provider, 0);
}

bool MD5Hash::Ready() const { return state_->hash != 0; }

bool MD5Hash::Update(const void* data, size_t size) {
  if (!Ready()) return false;
  // CryptHashData takes a 32-bit count.
  const BYTE* p = static_cast<const BYTE*>(data);
  while (size > 0) {
    DWORD n = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
    if (!CryptHashData(state_->hash, p, n, 0)) return false;
    p += n;
    size -= n;
  }
  return true;
}

bool MD5Hash::Finish(uint8_t (&digest)[kMD5Size]) {
  DWORD length = kMD5Size;
  return Ready() && CryptGetHashParam(state_->hash, HP_HASHVAL, digest, &length, 0) && length == kMD5Size;
}

}  // namespace platform
