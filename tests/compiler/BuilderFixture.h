// A program folder as the builder finds it beside the compiler (base
// program, finaliser, layouts, output folder) with a mod to pack, and a
// compiler whose compile run has been done, its log and status collected.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "Global/QXI_PakFile.h"
#include "compiler/TCompiler.h"
#include "installer-library/QXI_Commands.h"
#include "tests/support/IconFile.h"
#include "tests/support/LanguageFile.h"
#include "tests/support/TempDir.h"

namespace builder_testing {

using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes Random(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<uint8_t>(gen());
  return b;
}

inline Bytes Repeated(const std::string& s, size_t times) {
  Bytes b;
  for (size_t i = 0; i < times; ++i) b.insert(b.end(), s.begin(), s.end());
  return b;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class BuilderTest : public ::testing::Test {
 protected:
  BuilderTest() : compiler(&commands) {
    RegisterCommands(commands);
    compiler.ProgramDir = dir.Path();
    compiler.LogCallback = [this](const std::string& t) { log.push_back(t); };
    compiler.StatusCallback = [this](const std::string& t) { status.push_back(t); };
    compiler.IconWriter = [this](const std::string& icon, const std::string& exe) {
      iconCalls.push_back({icon, exe});
      return iconResult;
    };
    std::filesystem::create_directories(Fs("compiled"));
    Put("base/setup.exe", baseProgram);
    Put("base/Uninstall_Final.exe", Text("the finaliser"));
    Put("layout/Install/Classic/Pages.txt", Text("page1=welcome\r\n"));
    Put("layout/Install/Classic/icon.ico", testing_support::MakeIconFile({testing_support::MakeIconImage(32, 5)}));
    Put("layout/Install/Classic/Welcome.txt", Repeated("welcome text ", 40));
    Put("layout/Install/Classic/img/logo.jpg", Random(700, 1));
    Put("layout/Uninstall/Plain/Pages.txt", Text("page1=uninstall\r\n"));
    Put("layout/Uninstall/Plain/icon.ico", testing_support::MakeIconFile({testing_support::MakeIconImage(16, 9)}));
    Put("languages/English.wri", testing_support::LanguageFileBytes(u"English\r\n409;\r\n12 Back\r\n"));
    Put("languages/UnEnglish.wri", testing_support::LanguageFileBytes(u"English\r\n409;\r\n60 Remove\r\n"));
    Put("mod/changes.txt", Text("1.0: first release"));
    Put("mod/files/a.dat", Repeated("aaaa", 500));
    Put("mod/files/sub/b.dat", Random(3000, 2));
    Put("mod/patch1/x.dat", Text("x from patch 1"));
    Put("mod/patch1/y.dat", Text("y from patch 1"));
    Put("mod/patch2/y.dat", Text("y from patch 2"));
    Put("mod/patch2/z.dat", Text("z from patch 2"));

    info().SetupName = "My Mod";
    info().SetupShortName = "MyMod";
    info().SetupExeName = "MyMod.exe";
    info().UninstallExe = "Uninstall.exe";
    info().InstallDir = "C:\\Games\\Quexar";
    info().Pages = "Install\\Classic";
    info().UninstallPages = "Uninstall\\Plain";
    info().HasUninstall = 1;
    info().Changelog = "changes.txt";
  }

  // The compile run of a small script; the file-carrying and language
  // lines queue their files as their compile steps do.
  void CompileMod() {
    compiler.Compile({"start:", "message \"Hello there\"", "name \"My Mod\"", "goto start"}, Path("mod"));
    ASSERT_EQ(compiler.Error.Text, "");
    TCompilerFileList& list = compiler.FileList;
    list.AddFile(Path("languages\\English.wri"), "LANGUAGE-English", 0, "");
    list.AddFile(Path("languages\\UnEnglish.wri"), "UNINSTALL_LANGUAGE-English", 0, "");
    FileLine("files\\", "");
    FileLine("patch1\\", "Data.qxp");  // qxpupdate
    FileLine("patch2\\", "DATA.QXP");  // vfsupdate naming the same file
    log.clear();
    status.clear();
  }

  void FileLine(const std::string& source, const std::string& target) {
    TCompilerFileList& list = compiler.FileList;
    ++list.LastGroup;
    list.AddDir(source, list.LastGroup, target, false, "");
  }

  TSetupInfoFile& info() { return compiler.SetupInfo; }

  // A path below the program folder as the system's code forms it, with
  // backslashes; relative parts are written with "/".
  std::string Path(std::string relative) const {
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return dir.Path() + "\\" + relative;
  }
  // The same for std::filesystem, which takes "/" everywhere.
  std::filesystem::path Fs(const std::string& relative) const { return std::filesystem::path(dir.Path()) / relative; }
  void Put(const std::string& relative, const Bytes& data) {
    std::filesystem::path p = Fs(relative);
    std::filesystem::create_directories(p.parent_path());
    WriteFileBytes(p.string(), data);
  }
  std::string Target() const { return Fs("compiled/MyMod.exe").string(); }

  // Every file below the program folder with its contents.
  std::map<std::string, Bytes> Snapshot() const {
    std::map<std::string, Bytes> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path()))
      if (e.is_regular_file()) files[e.path().generic_string()] = ReadFileBytes(e.path().string());
    return files;
  }

  bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }

  TempDir dir;
  Bytes baseProgram = Text("MZ fake base program ") + Random(400, 3);
  TCommandList commands;
  TCompiler compiler;
  std::vector<std::string> log, status;
  std::vector<std::pair<std::string, std::string>> iconCalls;
  bool iconResult = true;
};

}  // namespace builder_testing
