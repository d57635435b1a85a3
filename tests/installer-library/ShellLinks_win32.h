// Reading shell link files back, for the tests of what writes them.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

// COM for the shell link object, on this thread.
struct ComScope {
  ComScope() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~ComScope() { CoUninitialize(); }
};

struct LinkFields {
  std::string path, arguments, workingDir, iconPath;
  int iconIndex = -1;
};

inline LinkFields ReadLink(const std::string& linkPath) {
  LinkFields f;
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  EXPECT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         reinterpret_cast<void**>(&link))));
  if (!link) return f;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    std::wstring wide(linkPath.begin(), linkPath.end());
    EXPECT_TRUE(SUCCEEDED(file->Load(wide.c_str(), STGM_READ)));
    char buf[MAX_PATH] = {0};
    link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH);
    f.path = buf;
    link->GetArguments(buf, MAX_PATH);
    f.arguments = buf;
    link->GetWorkingDirectory(buf, MAX_PATH);
    f.workingDir = buf;
    link->GetIconLocation(buf, MAX_PATH, &f.iconIndex);
    f.iconPath = buf;
    file->Release();
  }
  link->Release();
  return f;
}
