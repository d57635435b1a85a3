#include "diagnostics/PSAPI.h"

#include <gtest/gtest.h>

#include "tests/diagnostics/MapBlocks.h"
#include "tests/support/TempDir.h"

using namespace diag_test;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

// A program file carrying a map with one line at $401010, as loaded at
// $400000.
std::string ProgramWithMap(const TempDir& dir, const std::string& name) {
  std::string path = dir.File(name);
  WriteFileBytes(path, Concat({ProgramBytes(64), MapBlock({{"Main", {}}}, {{kEXEMapCodeStart + 0x10, 12, 0}})}));
  return path;
}

}  // namespace

TEST(PSAPI, ModulesAreFoundByTheirAddressRange) {
  TempDir dir;
  WriteFileBytes(dir.File("Setup.exe"), ProgramBytes(10));
  TModuleList list;
  list.Add("C:\\Windows\\system32\\kernel32.dll", 0x7B000000, 0x1000);
  list.Add(dir.File("Setup.exe"), 0x400000, 0x2000);
  list.Add("ntdll.dll", 0x7BC00000, 0x100);
  list.Sort();
  ASSERT_EQ(list.Records().size(), 3u);
  EXPECT_EQ(list.Records()[0].FileName, "Setup.exe") << "sorted by base";
  EXPECT_EQ(list.Records()[2].FileName, "ntdll.dll");
  struct Case {
    uint64_t address;
    const char* info;
  } cases[] = {
      {0x400000, " Setup.exe+00000000"},      {0x401FFF, " Setup.exe+00001FFF"},   {0x402000, ""},   {0x3FFFFF, ""},
      {0x7B000FFF, " kernel32.dll+00000FFF"}, {0x7BC00000, " ntdll.dll+00000000"}, {0x7BC00100, ""}, {0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(list.GetModuleInfoForAddress(c.address), c.info);
  }
  EXPECT_EQ(TModuleList().GetModuleInfoForAddress(0x400000), "") << "no modules";
}

TEST(PSAPI, ARangeReachingTheTopOfTheAddressSpace) {
  TModuleList list;
  list.Add("top.dll", 0xFFFFFFFFFFFFF000ull, 0x1000);
  EXPECT_EQ(list.GetModuleInfoForAddress(0xFFFFFFFFFFFFFFFFull), " top.dll+00000FFF");
  EXPECT_EQ(list.GetModuleInfoForAddress(0x800), "") << "no wrap-around of base + size";
}

TEST(PSAPI, NamesWithoutFolderAndAtMost255Characters) {
  TModuleList list;
  list.Add("C:/mixed\\folders/a.dll", 0x1000, 0x10);
  list.Add("D:b.dll", 0x2000, 0x10);
  list.Add(std::string(300, 'x') + ".dll", 0x3000, 0x10);
  EXPECT_EQ(list.Records()[0].FileName, "a.dll");
  EXPECT_EQ(list.Records()[1].FileName, "b.dll");
  EXPECT_EQ(list.Records()[2].FileName, std::string(255, 'x'));
}

TEST(PSAPI, ProgramModulesWithAnEmbeddedMapAreLookedUpRelativeToTheirBase) {
  TempDir dir;
  std::string exe = ProgramWithMap(dir, "Prog.EXE");
  std::string dll = ProgramWithMap(dir, "Lib.dll");
  std::string plain = dir.File("plain.exe");
  WriteFileBytes(plain, ProgramBytes(64));
  TModuleList list;
  list.Add(exe, 0x10000000, 0x10000);
  list.Add(dll, 0x20000000, 0x10000);
  list.Add(plain, 0x30000000, 0x10000);
  ASSERT_NE(list.Records()[0].Map, nullptr) << "the extension in any case";
  EXPECT_EQ(list.Records()[1].Map, nullptr) << "only programs carry maps";
  EXPECT_EQ(list.Records()[2].Map, nullptr) << "no embedded block";
  EXPECT_EQ(list.GetModuleInfoForAddress(0x10001013), " Prog.EXE+00001013 Main (12 - 3)");
  EXPECT_EQ(list.GetModuleInfoForAddress(0x20001013), " Lib.dll+00001013");
  EXPECT_EQ(list.GetModuleInfoForAddress(0x10000000), " Prog.EXE+00000000") << "below the map's lines";
}

TEST(PSAPI, AProgramModuleWhoseFileIsGoneIsAnError) {
  TempDir dir;
  TModuleList list;
  EXPECT_THROW(list.Add(dir.File("gone.exe"), 0x1000, 0x10), EEXEMapError);
  EXPECT_NO_THROW(list.Add(dir.File("gone.dll"), 0x1000, 0x10)) << "only program files are opened";
}
