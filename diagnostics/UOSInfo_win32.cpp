#include <windows.h>

#include "diagnostics/UOSInfo.h"
#include "platform/Text.h"

namespace {

bool HasHotfixKey() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009", 0, KEY_READ,
                    &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

TOSVersionData ReadVersion() {
  TOSVersionData d;
  OSVERSIONINFOEXA ex;
  ZeroMemory(&ex, sizeof ex);
  ex.dwOSVersionInfoSize = sizeof ex;
  OSVERSIONINFOA basic;
  ZeroMemory(&basic, sizeof basic);
  basic.dwOSVersionInfoSize = sizeof basic;
  // Systems too old for the extended record still give the basic one; the
  // service-pack numbers and the product type then stay 0.
  const OSVERSIONINFOA* v = nullptr;
  if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex))) {
    v = reinterpret_cast<const OSVERSIONINFOA*>(&ex);
    d.ServicePackMajor = ex.wServicePackMajor;
    d.ServicePackMinor = ex.wServicePackMinor;
    d.SuiteMask = ex.wSuiteMask;
    d.ProductType = ex.wProductType;
  } else if (GetVersionExA(&basic)) {
    v = &basic;
  }
  if (!v) return d;
  d.PlatformId = v->dwPlatformId;
  d.MajorVersion = v->dwMajorVersion;
  d.MinorVersion = v->dwMinorVersion;
  d.BuildNumber = d.PlatformId == kPlatformWin9x ? v->dwBuildNumber & 0xFFFF : v->dwBuildNumber;
  d.CSDVersion = v->szCSDVersion;
  // The registry is asked only where the answer matters.
  TOSVersionData withKey = d;
  withKey.HasQ246009 = true;
  if (TOSInfo(withKey).IsWinNT4SP6a()) d.HasQ246009 = HasHotfixKey();
  return d;
}

}  // namespace

const TOSInfo& TOSInfo::Current() {
  static const TOSInfo info(ReadVersion());
  return info;
}

void GetRealWindowsVersion(uint32_t& major, uint32_t& minor) {
  major = TOSInfo::Current().MajorVersion();
  minor = TOSInfo::Current().MinorVersion();
  using TRtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto rtlGetVersion =
      ntdll ? reinterpret_cast<TRtlGetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
            : nullptr;
  if (!rtlGetVersion) return;
  OSVERSIONINFOW v;
  ZeroMemory(&v, sizeof v);
  v.dwOSVersionInfoSize = sizeof v;
  if (rtlGetVersion(&v) == 0) {
    major = v.dwMajorVersion;
    minor = v.dwMinorVersion;
  }
}
