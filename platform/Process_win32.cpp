#include "platform/Process.h"

#include <windows.h>
#include <objbase.h>
#include <pthread.h>

namespace platform {

bool RestrictToFirstProcessor() { return SetProcessAffinityMask(GetCurrentProcess(), 1) != 0; }

uint16_t SystemDefaultLangId() { return GetSystemDefaultLangID(); }

ComScope::ComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}

ComScope::~ComScope() {
  if (initialised_) CoUninitialize();
}

bool ThreadEnded(std::thread& thread) {
  if (!thread.joinable()) return true;
  HANDLE handle = pthread_gethandle(thread.native_handle());
  return handle && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

}  // namespace platform
