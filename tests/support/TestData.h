// Sample contents for tests: text as bytes, bytes that compress well, and
// bytes that do not compress.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace testing_support {

inline std::vector<uint8_t> Text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Lines of text, cut to n bytes.
inline std::vector<uint8_t> Compressible(size_t n) {
  std::vector<uint8_t> b;
  while (b.size() < n) {
    std::string line = "line " + std::to_string(b.size() % 97) + " of the sample text\n";
    b.insert(b.end(), line.begin(), line.end());
  }
  b.resize(n);
  return b;
}

// The same bytes for the same seed, on every platform.
inline std::vector<uint8_t> Random(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> b(n);
  for (auto& c : b) c = static_cast<uint8_t>(gen());
  return b;
}

}  // namespace testing_support
