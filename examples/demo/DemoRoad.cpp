// The hands of the demo: drives the kit's programs through their windows
// from outside, as a user would, and shows what an installation left.
//
//   demo_road torvane KIT PROJECT SHOT
//       starts KIT\Torvane.exe, loads the project through the Load button
//       and its file dialog, compiles with the Compile button, prints the
//       log, saves a picture of the window in SHOT and closes it; ends 0
//       when the log ends in "Finished" and no error shows
//   demo_road wizard PROGRAM SHOTS NEXT... -- NAME...
//       starts an installer or uninstaller and goes through its pages by
//       pressing the button captioned by one of the NEXT texts, saving a
//       picture of each page as SHOTS-k-NAME.bmp (k from 1; none when
//       SHOTS is "-", for timing); closes the window on the finish page
//       with its Cancel button and ends with the program's exit code
//   demo_road log FOLDER PREFIX
//       prints the lists of the uninstall log FOLDER\PREFIXinstall.log
//
// Pictures are 24-bit BMP files, which every picture tool reads.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "compiler/FormMain_win32.h"
#include "installer-library/SE_Uninstall_List.h"
#include "tests/support/Eventually.h"
#include "tests/support/WindowSearch.h"

using testing_support::Eventually;
using testing_support::FindChildById;
using testing_support::WindowText;

namespace {

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int Fail(const std::string& what) {
  std::fprintf(stderr, "demo: %s\n", what.c_str());
  std::fflush(stderr);
  return 1;
}

std::string Wide8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

std::string TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return Wide8(text);
}

// What the screen shows of a window, as a 24-bit bottom-up BMP file.
bool Screenshot(HWND window, const std::string& file, bool say = true) {
  RECT r{};
  if (!GetWindowRect(window, &r)) return false;
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, picture);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD rowSize = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD imageSize = rowSize * static_cast<DWORD>(height);
  BITMAPFILEHEADER head{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) + imageSize, 0,
                        0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  info.bmiHeader.biSizeImage = imageSize;
  bool written = false;
  if (FILE* out = std::fopen(file.c_str(), "wb")) {
    written = std::fwrite(&head, sizeof head, 1, out) == 1 &&
              std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
              std::fwrite(bits, imageSize, 1, out) == 1;
    written = std::fclose(out) == 0 && written;
  }
  SelectObject(memory, old);
  DeleteObject(picture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (written && say) std::printf("  picture: %s\n", file.c_str());
  return written;
}

struct Started {
  PROCESS_INFORMATION pi{};
  bool ok = false;
};

Started Start(const std::string& program, const std::string& arguments, const std::string& folder) {
  Started s;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  std::string line = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
  // Wine now and then refuses to start a program just written, under load;
  // a moment later it starts.
  for (int attempt = 0; attempt < 3 && !s.ok; ++attempt) {
    if (attempt > 0) Sleep(500);
    s.ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &si, &s.pi) != 0;
  }
  return s;
}

int EndOf(Started& s, DWORD waitMs) {
  DWORD code = 1;
  if (WaitForSingleObject(s.pi.hProcess, waitMs) != WAIT_OBJECT_0) {
    TerminateProcess(s.pi.hProcess, 1);
    WaitForSingleObject(s.pi.hProcess, 5000);
    code = 1;
  } else {
    GetExitCodeProcess(s.pi.hProcess, &code);
  }
  CloseHandle(s.pi.hThread);
  CloseHandle(s.pi.hProcess);
  return static_cast<int>(code);
}

// A visible top-level window of the process that matches.
template <typename Match>
HWND FindTop(DWORD process, Match match) {
  struct Search {
    DWORD process;
    Match* match;
    HWND found;
  } s{process, &match, nullptr};
  EnumWindows(
      [](HWND hwnd, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner != s->process || !IsWindowVisible(hwnd) || !(*s->match)(hwnd)) return TRUE;
        s->found = hwnd;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// The button below `top` whose caption is one of `captions`.
HWND FindButton(HWND top, const std::vector<std::string>& captions) {
  struct Search {
    const std::vector<std::string>* captions;
    HWND found;
  } s{&captions, nullptr};
  EnumChildWindows(
      top,
      [](HWND hwnd, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        wchar_t name[32] = {};
        GetClassNameW(hwnd, name, 32);
        if (lstrcmpiW(name, L"Button") != 0) return TRUE;
        const std::string text = TextOf(hwnd);
        for (const std::string& c : *s->captions)
          if (text == c) {
            s->found = hwnd;
            return FALSE;
          }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

// Lets the window finish painting before a picture is taken.
void Settle(HANDLE process) {
  WaitForInputIdle(process, 5000);
  Sleep(600);
}

int DriveTorvane(const std::string& kit, const std::string& project, const std::string& shot) {
  Started t = Start(kit + "\\Torvane.exe", "", kit);
  if (!t.ok) return Fail("Torvane.exe does not start from " + kit);
  const DWORD pid = t.pi.dwProcessId;
  HWND top = nullptr;
  if (!Eventually(
          [&] { return (top = FindTop(pid, [](HWND w) { return TextOf(w) == " Torvane v1.0"; })) != nullptr; })) {
    EndOf(t, 0);
    return Fail("Torvane's window does not show");
  }
  std::printf("Torvane: window shown, install layout %s, uninstall layout %s\n",
              WindowText(FindChildById(top, kIdInstLayout)).c_str(),
              WindowText(FindChildById(top, kIdUninstLayout)).c_str());

  // Load: the file dialog, answered with the project's path.
  Click(FindChildById(top, kIdSpeedButton1));
  HWND dialog = nullptr;
  if (!Eventually([&] {
        return (dialog = FindTop(pid, [](HWND w) { return testing_support::window_search::HasClass(w, L"#32770"); })) !=
               nullptr;
      })) {
    EndOf(t, 0);
    return Fail("Torvane's open dialog does not show");
  }
  Sleep(300);
  // The file name field: the combo box of the dialog, or its plain edit.
  const int kFileNameCombo = 0x47C, kFileNameEdit = 0x480;
  HWND name = GetDlgItem(dialog, kFileNameCombo);
  if (!name) name = GetDlgItem(dialog, kFileNameEdit);
  if (!name) {
    EndOf(t, 0);
    return Fail("the open dialog has no file name field");
  }
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(project.c_str()));
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  const std::string loaded = " Torvane v1.0 - " + project.substr(project.find_last_of('\\') + 1);
  if (!Eventually([&] { return TextOf(top) == loaded; })) {
    EndOf(t, 0);
    return Fail("the project was not loaded (window caption \"" + TextOf(top) + "\")");
  }
  std::printf(
      "Torvane: loaded %s\n  setup name \"%s\", short name \"%s\", installer %s\n  mod files %s\n", project.c_str(),
      WindowText(FindChildById(top, kIdSetupName)).c_str(), WindowText(FindChildById(top, kIdSetupShortName)).c_str(),
      WindowText(FindChildById(top, kIdSetupExeName)).c_str(), WindowText(FindChildById(top, kIdModFilesDir)).c_str());

  // Compile: the log fills and ends with "Finished" after the build; a
  // compile error or a message box ends the wait instead.
  Click(FindChildById(top, kIdSpeedButton3));
  HWND box = nullptr;
  auto logEnd = [&] {
    std::string log = WindowText(FindChildById(top, kIdCompiledInformation));
    size_t cut = log.find_last_of("\r\n");
    return cut == std::string::npos ? log : log.substr(cut + 1);
  };
  Eventually([&] {
    box = FindTop(pid, [&](HWND w) { return w != dialog && testing_support::window_search::HasClass(w, L"#32770"); });
    return box != nullptr || logEnd() == "Finished";
  });
  std::string log = WindowText(FindChildById(top, kIdCompiledInformation));
  std::printf("Torvane: compile log\n");
  for (size_t start = 0; start < log.size();) {
    size_t end = log.find_first_of("\r\n", start);
    if (end == std::string::npos) end = log.size();
    if (end > start) std::printf("  | %s\n", log.substr(start, end - start).c_str());
    start = end + 1;
  }
  int result = 0;
  if (box) {
    char text[512] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    result = Fail("Torvane shows a message: " + std::string(text));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  } else if (logEnd() != "Finished") {
    result = Fail("the build did not finish");
  }
  Settle(t.pi.hProcess);
  if (!Screenshot(top, shot)) result = Fail("no picture of Torvane's window");
  PostMessageW(top, WM_CLOSE, 0, 0);
  if (EndOf(t, 30000) != 0) result = Fail("Torvane did not end cleanly");
  std::fflush(stdout);
  return result;
}

int DriveWizard(const std::string& program, const std::string& shots, const std::vector<std::string>& nextCaptions,
                const std::vector<std::string>& pageNames) {
  Started s = Start(program, "", "");
  if (!s.ok) return Fail(program + " does not start: error " + std::to_string(GetLastError()));
  const auto started = std::chrono::steady_clock::now();
  auto secondsSince = [](std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
  };
  const DWORD pid = s.pi.dwProcessId;
  const std::vector<std::string> allCaptions = nextCaptions;
  HWND wizard = nullptr;
  // The verification window comes and goes; the wizard is the window with
  // a Next button.
  if (!Eventually([&] {
        return (wizard = FindTop(pid, [&](HWND w) { return FindButton(w, allCaptions) != nullptr; })) != nullptr;
      })) {
    EndOf(s, 0);
    return Fail("the wizard of " + program + " does not show");
  }
  // Most of it the start-up's verification of the archive.
  std::printf("Wizard \"%s\", shown after %.1f s\n", TextOf(wizard).c_str(), secondsSince(started));
  int result = 0;
  size_t page = 0;
  auto shoot = [&](const std::string& file, bool say = true) { return shots == "-" || Screenshot(wizard, file, say); };
  auto name = [&](size_t k) {
    return shots + "-" + std::to_string(k + 1) + "-" + (k < pageNames.size() ? pageNames[k] : "page") + ".bmp";
  };
  for (;;) {
    HWND next = FindButton(wizard, allCaptions);
    if (!next) return Fail("the wizard lost its Next button");
    Settle(s.pi.hProcess);
    if (!IsWindowVisible(next)) break;  // the finish page
    shoot(name(page));
    if (!IsWindowEnabled(next)) {
      result = Fail("Next is disabled on page " + std::to_string(page + 1));
      break;
    }
    std::printf("  page %zu: Next (\"%s\")\n", page + 1, TextOf(next).c_str());
    // The click is sent from a thread of its own: it returns when the
    // wizard's Next action ends, which on a page whose work runs is when the
    // work is done. Meanwhile Next is disabled and pictures of the working
    // page are taken.
    std::atomic<bool> clicked{false};
    const auto clickedAt = std::chrono::steady_clock::now();
    std::thread sender([&] {
      SendMessageW(next, BM_CLICK, 0, 0);
      clicked = true;
    });
    bool working = false;
    while (!clicked) {
      if (IsWindowVisible(next) && !IsWindowEnabled(next)) working = shoot(name(page + 1), false) || working;
      Sleep(working ? 150 : 20);
    }
    sender.join();
    ++page;
    if (working) {
      std::printf("  page %zu: works for %.1f s, then moves on\n  picture: %s\n", page + 1, secondsSince(clickedAt),
                  name(page).c_str());
      ++page;
    }
  }
  std::printf("  page %zu: finish\n", page + 1);
  shoot(name(page));
  // Cancel, captioned as the finish button here, closes the wizard.
  struct Search {
    HWND next;
    HWND found;
  } c{FindButton(wizard, allCaptions), nullptr};
  EnumChildWindows(
      wizard,
      [](HWND hwnd, LPARAM p) -> BOOL {
        auto* c = reinterpret_cast<Search*>(p);
        wchar_t cls[32] = {};
        GetClassNameW(hwnd, cls, 32);
        if (hwnd == c->next || lstrcmpiW(cls, L"Button") != 0 || !IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd))
          return TRUE;
        RECT r{};
        GetWindowRect(hwnd, &r);
        if (!c->found) c->found = hwnd;
        RECT f{};
        GetWindowRect(c->found, &f);
        if (r.left > f.left) c->found = hwnd;  // the rightmost button
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&c));
  if (!c.found) return Fail("the finish page has no button to close it");
  std::printf("  closed with \"%s\"\n", TextOf(c.found).c_str());
  Click(c.found);
  const int code = EndOf(s, 60000);
  std::printf("  exit code %d\n", code);
  std::fflush(stdout);
  return result != 0 ? result : code;
}

int PrintLog(const std::string& folder, const std::string& prefix) {
  TUninstallList log;
  if (!log.LoadFromFile(folder, prefix)) return Fail("no uninstall log " + prefix + "install.log in " + folder);
  std::printf("Uninstall log %s\\%sinstall.log\n", folder.c_str(), prefix.c_str());
  std::printf("  files (%zu):\n", log.Files().size());
  for (const std::string& f : log.Files()) std::printf("    %s\n", f.c_str());
  std::printf("  folders (%zu):\n", log.Dirs().size());
  for (const std::string& d : log.Dirs()) std::printf("    %s\n", d.c_str());
  std::printf("  registry values (%zu):\n", log.RegEntries().size());
  for (const std::string& r : log.RegEntries()) std::printf("    %s\n", r.c_str());
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "torvane") return DriveTorvane(args[1], args[2], args[3]);
  if (args.size() == 3 && args[0] == "log") return PrintLog(args[1], args[2]);
  if (args.size() >= 4 && args[0] == "wizard") {
    std::vector<std::string> next, names;
    bool inNames = false;
    for (size_t i = 3; i < args.size(); ++i) {
      if (args[i] == "--")
        inNames = true;
      else
        (inNames ? names : next).push_back(args[i]);
    }
    if (!next.empty()) return DriveWizard(args[1], args[2], next, names);
  }
  std::fprintf(
      stderr,
      "usage: demo_road torvane KIT PROJECT SHOT | wizard PROGRAM SHOTS NEXT... -- NAME... | log FOLDER PREFIX\n");
  return 2;
}
