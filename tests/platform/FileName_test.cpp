#include "platform/FileName.h"

#include <gtest/gtest.h>

#include <string>

using platform::IsDeviceName;
using platform::IsPlainAbsolutePath;
using platform::IsPlainFileName;

TEST(FileNames, DeviceNamesInEveryFormWindowsAccepts) {
  struct Case {
    std::string segment;
    bool device;
  } cases[] = {
      {"CON", true},         {"con", true},        {"Nul.txt", true},  {"aux.tar.gz", true}, {"PRN  ", true},
      {"nul...", true},      {"com1", true},       {"LPT9.dat", true}, {"COM\xB9", true},    {"conin$", true},
      {"CONOUT$.log", true}, {"nul .txt", true},   {"COM0", false},    {"COM10", false},     {"LPT", false},
      {"CONSOLE", false},    {"xCON", false},      {"con_1", false},   {"", false},          {".con", false},
      {"conin", false},      {"com1x.txt", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsDeviceName(c.segment), c.device) << c.segment;
}

TEST(FileNames, PlainNamesHoldNoReservedCharacterOrEnding) {
  struct Case {
    std::string segment;
    bool plain;
  } cases[] = {
      {"readme.txt", true}, {"My Mod 1.0", true}, {"caf\xe9", true},   {".hidden", true},
      {"A2?x", false},      {"a*b", false},       {"a:b", false},      {"a\"b", false},
      {"a<b", false},       {"a>b", false},       {"a|b", false},      {"a/b", false},
      {"a\\b", false},      {"tab\there", false}, {"dot.", false},     {"blank ", false},
      {"", false},          {"NUL", false},       {"com3.ini", false}, {std::string("a\0b", 3), false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPlainFileName(c.segment), c.plain) << c.segment;
}

TEST(FileNames, PlainAbsolutePathsNameOneFileOfALocalDrive) {
  struct Case {
    std::string path;
    bool plain;
  } cases[] = {
      {"C:\\Games\\Quexar\\readme.txt", true},
      {"d:\\Mod Folder\\", true},
      {"C:\\", false},
      {"C:readme.txt", false},
      {"Games\\readme.txt", false},
      {"\\Games\\readme.txt", false},
      {"C:\\Games\\..\\..\\victim.txt", false},
      {"C:\\Games\\\\readme.txt", false},
      {"C:\\Games/../victim.txt", false},
      {"C:\\Games\\NUL", false},
      {"C:\\Games\\con.txt\\x", false},
      {"C:\\Games\\readme.txt:secret", false},
      {"\\\\server\\share\\readme.txt", false},
      {"\\\\?\\C:\\Games\\readme.txt", false},
      {"\\\\.\\C:\\Games", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPlainAbsolutePath(c.path), c.plain) << c.path;
}
