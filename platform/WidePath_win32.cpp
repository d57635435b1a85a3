#include <windows.h>

#include "platform/WidePathSystem.h"

namespace platform {
namespace {

using Converter = DWORD(WINAPI*)(LPCWSTR, LPWSTR, DWORD);

bool Convert(Converter convert, const std::u16string& path, std::u16string& out) {
  auto* in = reinterpret_cast<const wchar_t*>(path.c_str());
  for (DWORD size = MAX_PATH;;) {
    out.assign(size, u'\0');
    DWORD n = convert(in, reinterpret_cast<wchar_t*>(out.data()), size);
    if (n == 0) return false;
    if (n < size) {
      out.resize(n);
      return true;
    }
    size = n;  // the room the whole path needs
  }
}

}  // namespace

bool ShortPathOf(const std::u16string& existing, std::u16string& shortPath) {
  return Convert(GetShortPathNameW, existing, shortPath);
}

bool LongPathOf(const std::u16string& existing, std::u16string& longPath) {
  return Convert(GetLongPathNameW, existing, longPath);
}

}  // namespace platform
