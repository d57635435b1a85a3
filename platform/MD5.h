// MD5 digests (RFC 1321) through the system's cryptographic provider.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace platform {

constexpr size_t kMD5Size = 16;

// One running MD5 computation. The provider may be unavailable; callers then
// keep whatever digest they had.
class MD5Hash {
 public:
  MD5Hash();
  ~MD5Hash();
  MD5Hash(const MD5Hash&) = delete;
  MD5Hash& operator=(const MD5Hash&) = delete;

  // False when the provider or the hash object could not be created.
  bool Ready() const;
  // Adds data to the digest; false when the provider refused it.
  bool Update(const void* data, size_t size);
  // The digest of everything added; false when it could not be obtained.
  bool Finish(uint8_t (&digest)[kMD5Size]);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
