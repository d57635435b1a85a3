#include "platform/Text.h"

namespace platform {

bool WideToAnsiExact(const std::u16string& text, std::string& out) {
  out = WideToAnsi(text);
  return AnsiToWide(out) == text;
}

}  // namespace platform
