#include "platform/gui/FileDialog.h"

namespace gui {

std::string FileDialogFilter(const std::string& filter) {
  std::string out;
  for (char c : filter) out += c == '|' ? '\0' : c;
  // Every part ends with a zero, and the list with one more; an odd number of
  // parts leaves the last pattern empty rather than running into the end.
  size_t parts = filter.empty() ? 0 : 1;
  for (char c : filter) parts += c == '|';
  if (parts % 2) out += '\0';
  out += '\0';
  out += '\0';
  return out;
}

}  // namespace gui
