#include "platform/Process.h"

#include <windows.h>
#include <objbase.h>

namespace platform {

bool RestrictToFirstProcessor() { return SetProcessAffinityMask(GetCurrentProcess(), 1) != 0; }

uint16_t SystemDefaultLangId() { return GetSystemDefaultLangID(); }

ComScope::ComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}

ComScope::~ComScope() {
  if (initialised_) CoUninitialize();
}

}  // namespace platform
