#include "platform/gui/FileDialog.h"

#include <windows.h>
#include <commdlg.h>

#include "platform/Text.h"
#include "platform/WidePath.h"

namespace gui {

namespace {

bool Run(void* owner, const std::string& filter, const std::string& defaultExt, std::string& fileName, bool save) {
  // In 16-bit text: a file in a folder named outside the code page comes
  // by its short form, never as a look-alike of another name.
  const std::u16string filters = platform::AnsiToWide(FileDialogFilter(filter)),
                       extension = platform::AnsiToWide(defaultExt);
  std::u16string buffer(32768, u'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = static_cast<HWND>(owner);
  dialog.lpstrFilter = reinterpret_cast<const wchar_t*>(filters.c_str());
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = reinterpret_cast<wchar_t*>(buffer.data());
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrDefExt = extension.empty() ? nullptr : reinterpret_cast<const wchar_t*>(extension.c_str());
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_ENABLESIZING | OFN_NOCHANGEDIR |
                 (save ? 0 : OFN_FILEMUSTEXIST);
  if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return false;
  fileName = platform::NarrowPathOrMarked(buffer.c_str());
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
