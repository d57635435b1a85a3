// Host stand-in of the MD5 provider: Debian's libmd.
#include "platform/MD5.h"

#include <md5.h>
#include <sys/types.h>

namespace platform {

struct MD5Hash::State {
  MD5_CTX context;
};

MD5Hash::MD5Hash() : state_(std::make_unique<State>()) { MD5Init(&state_->context); }

MD5Hash::~MD5Hash() = default;

bool MD5Hash::Ready() const { return true; }

bool MD5Hash::Update(const void* data, size_t size) {
  MD5Update(&state_->context, static_cast<const uint8_t*>(data), size);
  return true;
}

bool MD5Hash::Finish(uint8_t (&digest)[kMD5Size]) {
  MD5Final(digest, &state_->context);
  return true;
}

}  // namespace platform
