#include "platform/gui/FileDialog.h"

#include <windows.h>
#include <commdlg.h>

namespace gui {

namespace {

bool Run(void* owner, const std::string& filter, const std::string& defaultExt, std::string& fileName, bool save) {
  std::string filters = FileDialogFilter(filter);
  std::string buffer(32768, '\0');
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = static_cast<HWND>(owner);
  dialog.lpstrFilter = filters.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING | OFN_NOCHANGEDIR |
                 (save ? 0 : OFN_FILEMUSTEXIST);
  if (!(save ? GetSaveFileNameA(&dialog) : GetOpenFileNameA(&dialog))) return false;
  fileName = buffer.c_str();
  return true;
}

}  // namespace

bool OpenFileDialog(void* owner, const std::string& filter, std::string& fileName) {
  return Run(owner, filter, "", fileName, false);
}

bool SaveFileDialog(void* owner, const std::string& filter, const std::string& defaultExt, std::string& fileName) {
  return Run(owner, filter, defaultExt, fileName, true);
}

}  // namespace gui
