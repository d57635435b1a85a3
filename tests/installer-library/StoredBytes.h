// Expected stored bytes, spelled out field by field for the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "Global/ZCodec.h"

namespace stored_bytes {

inline Bytes I32(int32_t v) {
  auto u = static_cast<uint32_t>(v);
  return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
          static_cast<uint8_t>(u >> 24)};
}

// A length-prefixed string.
inline Bytes Str(const std::string& s) {
  Bytes b;
  b.push_back(static_cast<uint8_t>(s.size()));
  b.push_back(static_cast<uint8_t>(s.size() >> 8));
  for (char c : s) b.push_back(static_cast<uint8_t>(c));
  return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts)
    for (uint8_t c : p) all.push_back(c);
  return all;
}

}  // namespace stored_bytes
