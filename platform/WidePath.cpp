#include "platform/WidePath.h"

#include "platform/Text.h"
#include "platform/WidePathSystem.h"

namespace platform {
namespace {

using Form = bool (*)(const std::u16string&, std::u16string&);

// `path` with its longest leading part that exists in `form`, then the rest;
// false when no leading part exists. A drive's own part is its root ("C:\"),
// never "C:", which stands for the drive's current folder.
bool WithLeadingPartIn(Form form, const std::u16string& path, std::u16string& out) {
  for (size_t end = path.size(); end > 0;) {
    std::u16string head;
    if (form(path.substr(0, end), head)) {
      out = head + path.substr(end);
      return true;
    }
    const size_t cut = path.find_last_of(u"\\/", end - 1);
    if (cut == std::u16string::npos) return false;
    const size_t next = cut == 2 && path[1] == u':' ? 3 : cut;
    if (next >= end) return false;
    end = next;
  }
  return false;
}

}  // namespace

std::string NarrowPath(const std::u16string& path) {
  std::string narrow;
  if (WideToAnsiExact(path, narrow)) return narrow;
  std::u16string shortened;
  if (WithLeadingPartIn(ShortPathOf, path, shortened) && WideToAnsiExact(shortened, narrow)) return narrow;
  return {};
}

std::string NarrowPathOrMarked(const std::u16string& path) {
  std::string narrow = NarrowPath(path);
  return narrow.empty() ? WideToAnsi(path) : narrow;
}

std::u16string WidePath(const std::string& path) {
  std::u16string wide = AnsiToWide(path), longPath;
  return WithLeadingPartIn(LongPathOf, wide, longPath) ? longPath : wide;
}

}  // namespace platform
