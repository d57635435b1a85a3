#include "installer-library/iconchanger.h"

#include <windows.h>

bool ChangeExeIcon(const std::string& iconPath, const std::string& exePath) {
  Bytes image;
  if (!ReadFirstIconImage(iconPath, image)) return false;
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
