// Runs the real Vessok.exe with its output going to a file (so it prints
// plain lines) and checks the archive it writes.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "packer/SQXP.h"
#include "platform/Text.h"
#include "tests/packer/WavBuilder.h"
#include "tests/support/TempDir.h"

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using testing_support::WriteFileText;

namespace {

struct RunResult {
  DWORD code = 0xFFFFFFFF;
  std::string output;
};

// The program and its arguments in 16-bit text, as a user types them.
RunResult RunVessok(const std::u16string& args, const std::string& outputFile,
                    const std::u16string& program = platform::AnsiToWide(VESSOK_EXE)) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = out;
  PROCESS_INFORMATION pi = {};
  std::u16string line = u"\"" + program + u"\" " + args;
  RunResult r;
  if (CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                     nullptr, nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &r.code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(out);
  CloseHandle(in);
  Bytes text = ReadFileBytes(outputFile);
  for (uint8_t c : text)
    if (c != '\r') r.output.push_back(static_cast<char>(c));
  return r;
}

RunResult RunVessok(const std::string& args, const std::string& outputFile) {
  return RunVessok(platform::AnsiToWide(args), outputFile);
}

}  // namespace

TEST(VessokProgram, PacksTheSampleModAndShowsItsInformation) {
  TempDir dir;
  std::string archive = dir.File("out.qxp");
  RunResult make = RunVessok("-filename " + archive + " -make \"" SAMPLE_MOD "\" -nowait", dir.File("make.txt"));
  EXPECT_EQ(make.code, 0u) << make.output;
  EXPECT_EQ(make.output, "Vessok v1.0.0.0\nProgress: 6/6\n");

  TQXP q;
  ASSERT_EQ(q.Open(archive), TQXPReadStatus::Ok);
  ASSERT_EQ(q.Header.Count, 6);
  std::vector<std::string> names;
  for (const TQXPEntry& e : q.Entries) names.push_back(e.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"data\\items.ini", "data\\levels\\level1.dat", "readme.txt",
                                             "scripts\\intro.txt", "sounds\\chime.wav", "sounds\\effects\\click.wav"}));
  Bytes file = ReadFileBytes(archive);
  for (const TQXPEntry& e : q.Entries) {
    if (e.Method != kMethodWav) continue;
    TWavHeader h = TWavHeader::ReadFrom(file.data() + e.Offset);
    EXPECT_EQ(h.Adpcm, e.Name == "sounds\\chime.wav" ? 1 : 0) << e.Name;
  }

  RunResult info = RunVessok("-filename " + archive, dir.File("info.txt"));
  EXPECT_EQ(info.code, 0u);
  EXPECT_EQ(info.output, "Vessok v1.0.0.0\nVer: 5\nCount: 6\nSize: 0MB/0MB\n");

  // From a kit in a folder named outside the code page, into a folder of
  // such a name: it finds its own version and writes where it was asked to.
  const std::u16string kit = platform::AnsiToWide(testing_support::DrivePath(dir.Path())) + u"\\\u30B2\u30FC\u30E0";
  ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<const wchar_t*>(kit.c_str()), nullptr));
  const std::u16string copy = kit + u"\\Vessok.exe", there = kit + u"\\\u0141ukasz.qxp";
  ASSERT_TRUE(CopyFileW(reinterpret_cast<const wchar_t*>(platform::AnsiToWide(VESSOK_EXE).c_str()),
                        reinterpret_cast<const wchar_t*>(copy.c_str()), FALSE));
  make = RunVessok(u"-filename \"" + kit + u"\\out.qxp\" -make \"" + platform::AnsiToWide(SAMPLE_MOD) + u"\" -nowait",
                   dir.File("kit.txt"), copy);
  EXPECT_EQ(make.code, 0u) << make.output;
  EXPECT_EQ(make.output, "Vessok v1.0.0.0\nProgress: 6/6\n");
  make = RunVessok(u"-filename \"" + there + u"\" -make \"" + platform::AnsiToWide(SAMPLE_MOD) + u"\" -nowait",
                   dir.File("there.txt"), copy);
  EXPECT_EQ(make.code, 1u) << "a new file of a name the code page cannot hold";
  EXPECT_NE(make.output.find("\xC5\x81ukasz.qxp: it holds characters the system's code page does not have"),
            std::string::npos)
      << "named as given, in UTF-8 where the code page cannot hold it: " << make.output;
  EXPECT_EQ(GetFileAttributesW(reinterpret_cast<const wchar_t*>(there.c_str())), INVALID_FILE_ATTRIBUTES);
}

TEST(VessokProgram, FailuresAndUsageExitNonZero) {
  TempDir dir;
  std::string archive = dir.File("keep.qxp");
  WriteFileText(archive, "previous archive");
  // A sound refused halfway through the run, as for a source that is not
  // there: the earlier archive stays as it was.
  CreateDirectoryA(dir.File("mod").c_str(), nullptr);
  WriteFileText(dir.File("mod/readme.txt"), "text");
  WriteFileBytes(dir.File("mod/silence.wav"), wav_builder::Simple(1, {}));
  // A name the archive's 8-bit names cannot hold, and a path too long for
  // the system's 8-bit calls: never packed without them.
  CreateDirectoryA(dir.File("names").c_str(), nullptr);
  WriteFileText(dir.File("names/plain.txt"), "text");
  const std::u16string omega = platform::AnsiToWide(dir.File("names")) + u"\\\u03A9mega.txt";
  CloseHandle(CreateFileW(reinterpret_cast<const wchar_t*>(omega.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                          nullptr));
  const std::string deep = "deep/" + std::string(120, 'd') + "/" + std::string(130, 'e');
  std::filesystem::create_directories(dir.File(deep));
  WriteFileText(dir.File(deep + "/file.txt"), "text");
  struct Case {
    std::string source;
    const char* error;
  } cases[] = {
      {dir.File("nowhere"), "Error: Source folder not found"},
      {dir.File("mod"),
       "Error: Cannot pack \"silence.wav\": not a valid WAV file: the data chunk holds no samples (0 bytes)"},
      {"Z:\\", "Error: The source folder \"Z:\\\" is a whole drive; name a folder on it"},
      {dir.File("names"), "\xCE\xA9mega.txt holds characters the system's code page does not have"},
      {dir.File("deep"), "\\file.txt is longer than the system's 259 characters"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    // A file of its own for each run: a console process of the last one may
    // still hold the one before.
    RunResult failed = RunVessok("-filename " + archive + " -make " + c.source + " -nowait",
                                 dir.File("failed" + std::to_string(i) + ".txt"));
    EXPECT_EQ(failed.code, 1u) << c.source;
    EXPECT_NE(failed.output.find(c.error), std::string::npos) << failed.output;
    Bytes kept = ReadFileBytes(archive);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous archive") << c.source;
    EXPECT_EQ(GetFileAttributesA((archive + ".new").c_str()), INVALID_FILE_ATTRIBUTES) << c.source;
  }

  RunResult damaged = RunVessok("-filename " + archive, dir.File("damaged.txt"));
  EXPECT_EQ(damaged.code, 1u);
  // The reader's reason below the verdict.
  EXPECT_NE(damaged.output.find("Error: Invalid QXP Header\n  the header would begin at -4, before the file's start\n"),
            std::string::npos)
      << damaged.output;

  RunResult usage = RunVessok("-filename \"" + dir.File("absent.qxp") + "\"", dir.File("usage.txt"));
  EXPECT_EQ(usage.code, 2u);
  EXPECT_NE(usage.output.find("Usage: -filename"), std::string::npos) << usage.output;
}
