#include "platform/Process.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

namespace platform {

bool RestrictToFirstProcessor() { return SetProcessAffinityMask(GetCurrentProcess(), 1) != 0; }

uint16_t SystemDefaultLangId() { return GetSystemDefaultLangID(); }

ComScope::ComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}

ComScope::~ComScope() {
  if (initialised_) CoUninitialize();
}

bool ShellOpen(const std::string& file, const std::string& parameters) {
  // The shell reports success as a value above 32.
  HINSTANCE result = ShellExecuteA(nullptr, nullptr, file.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<intptr_t>(result) > 32;
}

}  // namespace platform
