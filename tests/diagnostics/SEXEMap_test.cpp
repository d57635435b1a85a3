#include "diagnostics/SEXEMap.h"

#include <gtest/gtest.h>

#include "Global/QXI_PakFile.h"
#include "tests/diagnostics/MapBlocks.h"
#include "tests/support/TempDir.h"

using namespace diag_test;
using testing_support::TempDir;
using testing_support::WriteFileBytes;
using testing_support::WriteFileText;

namespace {

constexpr uint32_t kCode = kEXEMapCodeStart;

// A map as the linker writes it, cut down: an overview, the detailed segment
// list and two line-number sections.
const char kSampleMap[] =
    "\r\n"
    " Start         Length     Name                   Class\r\n"
    " 0001:00401000 000A1234H .text                   CODE\r\n"
    "\r\n"
    "Detailed map of segments\r\n"
    "\r\n"
    " 0001:00000000 0000F1C4 C=CODE     S=.text    G=(none)   M=System   ACBP=A9\r\n"
    " 0001:0000F1C4 00000390 C=CODE     S=.text    G=(none)   M=SysInit  ACBP=A9\r\n"
    " 0002:00000000 00000010 C=DATA     S=.data    G=DGROUP   M=System   ACBP=A9\r\n"
    " 0003:00000020 00000008 C=BSS      S=.bss     G=DGROUP   M=SysInit  ACBP=A9\r\n"
    " 0004:00000000 00000008 C=TLS      S=.tls     G=(none)   M=Other    ACBP=A9\r\n"
    "\r\n"
    "  Address         Publics by Value\r\n"
    "\r\n"
    " 0001:00000000       SomeSymbol\r\n"
    "\r\n"
    "Line numbers for System(system.pas) segment .text\r\n"
    "\r\n"
    "   120 0001:00000010   121 0001:00000014   119 0001:00000018   125 0001:00000020\r\n"
    "   125 0001:00000030   130 0001:00000040\r\n"
    "\r\n"
    "Line numbers for SysInit(sysinit.pas) segment .text\r\n"
    "\r\n"
    "    10 0001:0000F1D0    11 0001:0000F1E0\r\n"
    "\r\n"
    "Bound resource files\r\n"
    "\r\n"
    "   999 0001:00000099\r\n";

TEXEMap Parse(const std::string& text) {
  TEXEMap map;
  map.ParseMapText(text);
  return map;
}

}  // namespace

TEST(SEXEMapText, SegmentsNameTheUnitsAndLineSectionsGiveRisingLines) {
  TEXEMap map = Parse(kSampleMap);
  ASSERT_EQ(map.Units().size(), 2u) << "the TLS segment line names no unit";
  EXPECT_EQ(map.Units()[0].Name, "System");
  EXPECT_EQ(map.Units()[0].Segments[0], (TEXEMapRange{kCode + 0, 0xF1C4}));
  EXPECT_EQ(map.Units()[0].Segments[1], (TEXEMapRange{kCode + 0, 0x10})) << "start counts from $401000 too";
  EXPECT_EQ(map.Units()[1].Name, "SysInit");
  EXPECT_EQ(map.Units()[1].Segments[0], (TEXEMapRange{kCode + 0xF1C4, 0x390}));
  EXPECT_EQ(map.Units()[1].Segments[2], (TEXEMapRange{kCode + 0x20, 8}));
  std::vector<TEXEMapLine> lines = {
      // 119 and the second 125 do not rise above what came before them
      {kCode + 0x10, 120, 0}, {kCode + 0x14, 121, 0},  {kCode + 0x20, 125, 0},
      {kCode + 0x40, 130, 0}, {kCode + 0xF1D0, 10, 1}, {kCode + 0xF1E0, 11, 1},
  };
  EXPECT_EQ(map.Lines(), lines) << "lines under another header are ignored";
}

TEST(SEXEMapText, LineBreaksOfEveryKind) {
  for (const char* brk : {"\r\n", "\n", "\r"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(brk)));
    std::string text = std::string("Detailed map of segments") + brk +
                       " 0001:00000000 00000010 C=CODE     S=.text    G=(none)   M=Main   ACBP=A9" + brk +
                       "Line numbers for Main(main.pas) segment .text" + brk + "    5 0001:00000002" + brk +
                       "    6 0001:00000004";
    TEXEMap map = Parse(text);
    EXPECT_EQ(map.Lines(), (std::vector<TEXEMapLine>{{kCode + 2, 5, 0}, {kCode + 4, 6, 0}}));
  }
}

TEST(SEXEMapText, SegmentLines) {
  struct Case {
    const char* line;
    int units;         // units after parsing
    const char* name;  // of the last unit
    TEXEMapSegment segment;
    TEXEMapRange range;
  } cases[] = {
      {"0001:00000010 00000020 C=CODE S=.text G=(none) M=Alpha ACBP=A9",
       1,
       "Alpha",
       TEXEMapSegment::Code,
       {kCode + 0x10, 0x20}},
      {"0002:00000010 00000020 C=data S=.data G=(none) M=Alpha ACBP=A9",
       1,
       "Alpha",
       TEXEMapSegment::Data,
       {kCode + 0x10, 0x20}},
      {"0003:00000010 00000020 C=BSS  S=.bss G=(none) M=Alpha ACBP=A9",
       1,
       "Alpha",
       TEXEMapSegment::Bss,
       {kCode + 0x10, 0x20}},
      {"0001:00000010 00000020 C=CODE S=.text G=(none) M=AtTheEnd",
       1,
       "AtTheEnd",
       TEXEMapSegment::Code,
       {kCode + 0x10, 0x20}},
      {"0001:0000001G 0000002X C=CODE S=.text M=NotHex ACBP=A9", 1, "NotHex", TEXEMapSegment::Code, {kCode, 0}},
      {"0001:FFFFFFFF 00000001 C=CODE S=.text M=Wraps ACBP=A9", 1, "Wraps", TEXEMapSegment::Code, {kCode - 1, 1}},
      {"0001:00000010 00000020 C=ICODE S=.itext M=Other ACBP=A9", 0, "", TEXEMapSegment::Code, {}},
      {"0001:00000010 00000020 C=CODE S=.text G=(none) ACBP=A9", 0, "", TEXEMapSegment::Code, {}},
      {"0001:0000", 0, "", TEXEMapSegment::Code, {}},
      {"1", 0, "", TEXEMapSegment::Code, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TEXEMap map = Parse(std::string("Detailed map of segments\n") + c.line);
    ASSERT_EQ(map.Units().size(), static_cast<size_t>(c.units));
    if (c.units == 0) continue;
    const TEXEMapUnit& u = map.Units().back();
    EXPECT_EQ(u.Name, c.name);
    EXPECT_EQ(u.Segments[static_cast<size_t>(c.segment)], c.range);
  }
}

TEST(SEXEMapText, UnitNamesAreExactAndAtMost255Characters) {
  std::string longName(300, 'n');
  TEXEMap map = Parse(
      "Detailed map of segments\n"
      "0001:00000000 00000010 C=CODE S=.text M=unit ACBP=A9\n"
      "0001:00000010 00000010 C=CODE S=.text M=Unit ACBP=A9\n"
      "0001:00000020 00000030 C=CODE S=.text M=unit ACBP=A9\n"
      "0001:00000000 00000010 C=CODE S=.text M=" +
      longName + " ACBP=A9\n");
  ASSERT_EQ(map.Units().size(), 3u) << "names differing in case are different units";
  EXPECT_EQ(map.Units()[0].Segments[0], (TEXEMapRange{kCode + 0x20, 0x30})) << "the later segment line wins";
  EXPECT_EQ(map.Units()[2].Name, std::string(255, 'n'));
  EXPECT_EQ(map.IndexOfUnit("unit"), 0);
  EXPECT_EQ(map.IndexOfUnit("Unit"), 1);
  EXPECT_EQ(map.IndexOfUnit("UNIT"), -1);
  EXPECT_EQ(map.IndexOfUnit(longName), 2);
}

TEST(SEXEMapText, LineSectionHeaders) {
  struct Case {
    const char* header;
    int32_t unit;
  } cases[] = {
      {"Line numbers for Beta(beta.pas) segment .text", 1},
      {"LINE NUMBERS FOR Beta(beta.pas) segment .text", 1},
      {"Line numbers for Gamma(gamma.pas) segment .text", -1},
      {"Line numbers for Beta segment .text", -1},      // no "("
      {"Line numbers (Beta) segment", -1},              // "(" before the name's place
      {"Line numbers for beta(beta.pas) segment", -1},  // names are exact
      {"Lines", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header);
    TEXEMap map = Parse(std::string("detailed MAP OF SEGMENTS\n"
                                    "0001:00000000 00000010 C=CODE S=.text M=Alpha ACBP=A9\n"
                                    "0001:00000010 00000010 C=CODE S=.text M=Beta ACBP=A9\n") +
                        c.header + "\n 7 0001:00000004");
    ASSERT_EQ(map.Lines().size(), 1u);
    EXPECT_EQ(map.Lines()[0], (TEXEMapLine{kCode + 4, 7, c.unit}));
  }
}

TEST(SEXEMapText, LinesOutsideTheirSectionsAreIgnored) {
  TEXEMap map = Parse(
      "   5 0001:00000002\n"  // before any header
      "Detailed map of segments\n"
      "0001:00000000 00000010 C=CODE S=.text M=Main ACBP=A9\n"
      "Publics by value\n"
      "0001:00000000 00000010 C=CODE S=.text M=Other ACBP=A9\n"
      "Line numbers for Main(main.pas)\n"
      "   5 0001:00000002\n"
      "Address  Publics\n"
      "   6 0001:00000003\n");
  EXPECT_EQ(map.Units().size(), 1u);
  EXPECT_EQ(map.Lines(), (std::vector<TEXEMapLine>{{kCode + 2, 5, 0}}));
}

TEST(SEXEMapText, EachSectionStartsItsOwnRisingRun) {
  TEXEMap map = Parse(
      "Line numbers for A(a) segment .text\n"
      "   50 0001:00000050   60 0001:00000060\n"
      "Line numbers for A(a) segment .text\n"
      "   10 0001:00000010   20 0001:00000020   15 0001:00000015\n");
  std::vector<int32_t> numbers;
  for (const TEXEMapLine& l : map.Lines()) numbers.push_back(l.Line);
  EXPECT_EQ(numbers, (std::vector<int32_t>{50, 60, 10, 20}));
}

TEST(SEXEMapText, HostileLineNumberText) {
  struct Case {
    const char* text;
    std::vector<TEXEMapLine> lines;
  } cases[] = {
      {"12", {}},                       // no blank: nothing
      {"12 0001:", {{kCode, 12, -1}}},  // the offset is missing
      {"12 0001:0000000A", {{kCode + 10, 12, -1}}},
      {"1x 0001:00000001 3 0001:00000003", {{kCode + 1, 0, -1}, {kCode + 3, 3, -1}}},  // not a number: 0
      {"5 0001:00000001 -4 0001:00000002 6 0001:00000003", {{kCode + 1, 5, -1}, {kCode + 3, 6, -1}}},
      {"1 0001:0000000Z", {{kCode, 1, -1}}},
      {"2147483647 0001:00000001 2147483648 0001:00000002", {{kCode + 1, 2147483647, -1}}},
      {"1 2 3 4 5 6 7 8 9", {{kCode, 1, -1}}},
      {"7      ", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TEXEMap map = Parse(std::string("Line numbers for X(x) segment .text\n") + c.text);
    EXPECT_EQ(map.Lines(), c.lines);
  }
}

TEST(SEXEMapText, AVeryLongLineIsParsedInBoundedMemory) {
  // A pair repeated far beyond any real line: the parser neither loops nor
  // keeps more than its line limit, and what it keeps is read normally.
  std::string text = "Line numbers for X(x) segment .text\n";
  for (int i = 1; i <= 20000; ++i) text += std::to_string(i) + " 0001:00000010 ";
  TEXEMap map = Parse(text);
  ASSERT_FALSE(map.Lines().empty());
  EXPECT_LT(map.Lines().size(), 20000u);
  EXPECT_EQ(map.Lines()[0], (TEXEMapLine{kCode + 0x10, 1, -1}));
}

// --- lookup ---

TEST(SEXEMapLookup, NearestLineAtOrBelowWithin200Bytes) {
  TEXEMap map = Parse(
      "Detailed map of segments\n"
      "0001:00000000 00001000 C=CODE S=.text M=Main ACBP=A9\n"
      "Line numbers for Main(main.pas) segment .text\n"
      "   10 0001:00000100   20 0001:00000200   30 0001:00000200\n"
      "Line numbers for Nowhere(x.pas) segment .text\n"
      "   5 0001:00000900\n");
  // The map counts from $400000; the 64-bit programs link at $140000000 and
  // may be loaded anywhere.
  constexpr uint64_t kLinked64 = 0x1'4000'0000ull, kMoved64 = 0x7FF6'1230'0000ull;
  struct Case {
    uint64_t address;
    const char* info;
    uint64_t loadedAt = kEXEMapImageBase;
  } cases[] = {
      {kCode + 0x100, " Main (10 - 0)"},
      {kCode + 0x101, " Main (10 - 1)"},
      {kCode + 0x1FF, ""},                // 255 bytes past line 10
      {kCode + 0x200, " Main (20 - 0)"},  // two records at one address: the first
      {kCode + 0x200 + 200, " Main (20 - 200)"},
      {kCode + 0x200 + 201, ""},
      {kCode + 0xFF, ""},  // below every record
      {kCode + 0x900 + 3, " Unknown (5 - 3)"},
      {0x1'0000'0000ull + kCode + 0x100, ""},  // far above, beyond 32 bits
      {kLinked64 + 0x1000 + 0x101, " Main (10 - 1)", kLinked64},
      {kMoved64 + 0x1000 + 0x200 + 200, " Main (20 - 200)", kMoved64},
      {kMoved64 + 0x1000 + 0x200 + 201, "", kMoved64},
      {kCode + 0x100, "", kMoved64},  // below the image: wraps above every record
      {kMoved64 - 0x400000 + kCode + 0x100 + 0x1'0000'0000ull, "", kMoved64},  // 4 GiB past: no 32-bit wrap
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    map.LoadBase = c.loadedAt;
    EXPECT_EQ(map.GetAddressInfo(c.address), c.info);
  }
}

// --- embedded block and loading ---

namespace {

const std::vector<TEXEMapUnit> kUnits = {
    {"Main", {{{kCode, 0x100}, {0x500000, 0x10}, {0x600000, 0x20}}}},
    {"Helpers", {{{kCode + 0x100, 0x80}, {}, {}}}},
};
const std::vector<TEXEMapLine> kLines = {
    {kCode + 0x10, 5, 0}, {kCode + 0x20, 6, 0}, {kCode + 0x110, 40, 1}, {kCode + 0x120, 41, -1}, {kCode + 0x130, 42, 7},
};

}  // namespace

TEST(SEXEMapEmbedded, BlockAtTheEndOfTheFile) {
  TempDir dir;
  std::string path = dir.File("prog.exe");
  Bytes block = MapBlock(kUnits, kLines);
  WriteFileBytes(path, Concat({ProgramBytes(333), block}));
  TEXEMap map;
  ASSERT_TRUE(map.LoadEmbedded(path));
  EXPECT_EQ(map.Units(), kUnits);
  EXPECT_EQ(map.Lines(), kLines);
  EXPECT_EQ(TEXEMap::GetEmbeddedMapSize(path), static_cast<int64_t>(block.size()));
  EXPECT_EQ(map.GetAddressInfo(kCode + 0x125), " Unknown (41 - 5)");
  EXPECT_EQ(map.GetAddressInfo(kCode + 0x131), " Unknown (42 - 1)") << "a unit index beyond the table";
  EXPECT_EQ(map.GetAddressInfo(kCode + 0x111), " Helpers (40 - 1)");
}

TEST(SEXEMapEmbedded, BlockFoundThroughTheIndex) {
  TempDir dir;
  std::string path = dir.File("prog.exe");
  Bytes program = ProgramBytes(100);
  Bytes block = MapBlock(kUnits, kLines);
  Bytes other = ProgramBytes(17);  // another block between the map and the index
  uint32_t trailerPos = static_cast<uint32_t>(program.size() + block.size() - kEXEMapTrailerSize);
  Bytes index = IndexBlock({{3, 0, 0}, {1, trailerPos, 0}});
  WriteFileBytes(path, Concat({program, block, other, index}));
  TEXEMap map;
  ASSERT_TRUE(map.LoadEmbedded(path));
  EXPECT_EQ(map.Lines(), kLines);
  EXPECT_EQ(TEXEMap::GetEmbeddedMapSize(path), static_cast<int64_t>(block.size() + other.size() + index.size()))
      << "from the start of the block to the end of the file";
}

// An installer is its base program with the installer archive appended: the
// blocks the base carries lie in front of the archive.
TEST(SEXEMapEmbedded, BlocksInFrontOfAnInstallerArchive) {
  const Bytes program = ProgramBytes(100), block = MapBlock(kUnits, kLines);
  const uint32_t trailerPos = static_cast<uint32_t>(program.size() + block.size() - kEXEMapTrailerSize);
  for (bool indexed : {false, true}) {
    SCOPED_TRACE(indexed ? "through the index" : "at the end of the program");
    TempDir dir;
    std::string path = dir.File("setup.exe");
    WriteFileBytes(path,
                   indexed ? Concat({program, block, IndexBlock({{1, trailerPos, 0}})}) : Concat({program, block}));
    {
      TPak archive(path, true, false);
      const std::string data = "setup information";
      int entry = archive.AddEntry("SetupInfo", "", 0);
      ASSERT_TRUE(archive.WriteEntryData(entry, data.data(), data.size()) && archive.WriteTable());
    }
    TEXEMap map;
    ASSERT_TRUE(map.LoadEmbedded(path));
    EXPECT_EQ(map.Lines(), kLines);
    EXPECT_GT(TEXEMap::GetEmbeddedMapSize(path), static_cast<int64_t>(block.size()));
  }
}

TEST(SEXEMapEmbedded, DamagedBlocksAreNotTaken) {
  const Bytes program = ProgramBytes(64);
  const Bytes good = MapBlock(kUnits, kLines);
  const size_t t = good.size() - kEXEMapTrailerSize;
  auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
    Bytes b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return Concat({program, b});
  };
  struct Case {
    const char* what;
    Bytes file;
  } cases[] = {
      {"word 0 of the trailer", patched(t, {1})},
      {"byte 2 of the trailer", patched(t + 2, {2})},
      {"the name", patched(t + 8, {'e'})},
      {"the name's length", patched(t + 7, {7})},
      {"byte 14 of the trailer", patched(t + 14, {1})},
      {"a block larger than the file in front of the trailer", patched(t + 3, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"a block smaller than its counts", patched(t + 3, {8, 0, 0, 0})},
      {"more units than the block holds", patched(0, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"more lines than the block holds", patched(4, {0x00, 0x00, 0x00, 0x10})},
      {"a negative unit count", patched(0, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"a negative line count", patched(4, {0xFB, 0xFF, 0xFF, 0xFF})},
      {"a file shorter than a trailer", Bytes(good.end() - 10, good.end())},
      {"an index entry beyond the file", Concat({program, good, IndexBlock({{1, 0xFFFFFF00, 0}})})},
      {"an index entry at a trailer that is not one", Concat({program, good, IndexBlock({{1, 3, 0}})})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string path = dir.File("prog.exe");
    WriteFileBytes(path, c.file);
    TEXEMap map;
    EXPECT_FALSE(map.LoadEmbedded(path));
    EXPECT_TRUE(map.Lines().empty());
  }
}

TEST(SEXEMapEmbedded, SizeIsZeroWithoutATrailer) {
  TempDir dir;
  WriteFileBytes(dir.File("plain.exe"), ProgramBytes(500));
  WriteFileBytes(dir.File("empty.exe"), {});
  EXPECT_EQ(TEXEMap::GetEmbeddedMapSize(dir.File("plain.exe")), 0);
  EXPECT_EQ(TEXEMap::GetEmbeddedMapSize(dir.File("empty.exe")), 0);
}

TEST(SEXEMapEmbedded, AFileThatCannotBeOpenedIsAnError) {
  TempDir dir;
  TEXEMap map;
  EXPECT_THROW(map.LoadEmbedded(dir.File("missing.exe")), EEXEMapError);
  EXPECT_THROW(TEXEMap::GetEmbeddedMapSize(dir.File("missing.exe")), EEXEMapError);
  EXPECT_THROW(map.LoadFromFile(dir.File("missing.exe")), EEXEMapError);
}

TEST(SEXEMapLoad, EmbeddedBlockFirstThenTheTextMapBeside) {
  const std::string text =
      "Detailed map of segments\n0001:00000000 00000100 C=CODE S=.text M=FromText ACBP=A9\n"
      "Line numbers for FromText(t.pas) segment .text\n 3 0001:00000000\n";
  struct Case {
    const char* what;
    bool embedded;
    bool textMap;
    std::vector<std::string> params;
    const char* unit;  // of the first line record; empty: no map
    bool keep;
  } cases[] = {
      {"embedded only", true, false, {}, "Main", false},
      {"both: the embedded block wins", true, true, {"keepexemap"}, "Main", false},
      {"text map only", false, true, {}, "FromText", false},
      {"text map with the switch in any case", false, true, {"-x", "KeepExeMap"}, "FromText", true},
      {"the switch must be the whole parameter", false, true, {"keepexemap2"}, "FromText", false},
      {"neither", false, false, {"keepexemap"}, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string exe = dir.File("prog.v2.exe");
    WriteFileBytes(exe, c.embedded ? Concat({ProgramBytes(10), MapBlock(kUnits, kLines)}) : ProgramBytes(10));
    if (c.textMap) WriteFileText(dir.File("prog.v2.map"), text);
    TEXEMap map(exe, c.params);
    if (*c.unit == 0) {
      EXPECT_TRUE(map.Lines().empty());
    } else {
      ASSERT_FALSE(map.Lines().empty());
      EXPECT_EQ(map.Units()[static_cast<size_t>(map.Lines()[0].Unit)].Name, c.unit);
    }
    EXPECT_EQ(map.KeepMap, c.keep);
  }
}

TEST(SEXEMapLoad, TheTextMapOfAProgramWithoutExtension) {
  TempDir dir;
  WriteFileBytes(dir.File("program"), ProgramBytes(10));
  WriteFileText(dir.File("program.map"), "Line numbers for X(x)\n 3 0001:00000000\n");
  TEXEMap map(dir.File("program"), {});
  EXPECT_EQ(map.Lines().size(), 1u);
}
