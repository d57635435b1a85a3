#include "installer-library/iconchanger.h"

#include <windows.h>

namespace {

bool WriteIconImage(Bytes& image, const std::string& exePath) {
  const Bytes appended = DataAppendedToProgram(exePath);
  HANDLE update = BeginUpdateResourceA(exePath.c_str(), FALSE);
  if (!update) return false;
  if (!UpdateResourceA(update, MAKEINTRESOURCEA(3) /* RT_ICON */, MAKEINTRESOURCEA(1),
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), image.data(), static_cast<DWORD>(image.size()))) {
    EndUpdateResourceA(update, TRUE);  // discard: the executable stays as it was
    return false;
  }
  return EndUpdateResourceA(update, FALSE) != 0 && KeepDataAppendedToProgram(exePath, appended);
}

}  // namespace

bool ChangeExeIcon(const std::string& iconPath, const std::string& exePath) {
  Bytes image;
  return ReadFirstIconImage(iconPath, image) && WriteIconImage(image, exePath);
}

bool ChangeExeIconFromData(const Bytes& iconFile, const std::string& exePath) {
  Bytes image;
  return FirstIconImage(iconFile, image) && WriteIconImage(image, exePath);
}
