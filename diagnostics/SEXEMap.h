// The address map of a program: which unit and source line each code address
// belongs to, for the stack traces of the exception hook. It comes from an
// "EXEMAP" block appended to the program (also in front of the installer
// archive of an installer built from it, SEXEExtra.h) or, failing that, from
// the text map beside the program (same name, extension ".map"). Addresses
// are those of the image loaded at its preferred base $400000.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/File.h"

constexpr size_t kEXEMapTrailerSize = 15;
constexpr size_t kEXEMapUnitSize = 280;
constexpr size_t kEXEMapLineSize = 12;
constexpr size_t kMaxEXEMapUnitName = 255;
constexpr uint32_t kEXEMapImageBase = 0x400000;
// Offsets in the text map count from the start of the code at that base.
constexpr uint32_t kEXEMapCodeStart = 0x401000;
// A line record further than this below an address does not describe it.
constexpr uint64_t kMaxLineDistance = 200;

// A program or map file that cannot be opened.
class EEXEMapError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TEXEMapSegment { Code = 0, Data = 1, Bss = 2 };

struct TEXEMapRange {
  uint32_t Start = 0;
  uint32_t Length = 0;
  bool operator==(const TEXEMapRange&) const = default;
};

struct TEXEMapUnit {
  std::string Name;                        // at most 255 characters
  std::array<TEXEMapRange, 3> Segments{};  // by TEXEMapSegment; carried, never looked up
  bool operator==(const TEXEMapUnit&) const = default;
};

struct TEXEMapLine {
  uint32_t Address = 0;
  int32_t Line = 0;
  int32_t Unit = -1;  // -1: no unit
  bool operator==(const TEXEMapLine&) const = default;
};

class TEXEMap {
 public:
  // An empty map.
  TEXEMap() = default;
  // The map of a program file, loaded as by LoadFromFile.
  TEXEMap(const std::string& programFile, const std::vector<std::string>& params);

  // The embedded block of `path`; else the text map beside it, when it
  // exists, and then the switch "keepexemap" among `params` sets KeepMap.
  // EEXEMapError when a file that is there cannot be opened.
  void LoadFromFile(const std::string& path, const std::vector<std::string>& params = {});
  // True when `path` carries a valid map block; its tables then replace
  // this map's. EEXEMapError when the file cannot be opened.
  bool LoadEmbedded(const std::string& path);
  // Bytes from the start of the embedded block to the end of the file; 0
  // without a valid block. EEXEMapError when the file cannot be opened.
  static int64_t GetEmbeddedMapSize(const std::string& path);

  // Parses a text map: the detailed segment list names the units, the
  // line-number sections give the line records. Replaces the tables.
  void ParseMapStream(platform::File& file);
  void ParseMapText(std::string_view text);

  // " Unit (line - distance)" for the nearest line record at or below the
  // address, when it lies at most 200 bytes below; " Unknown (...)" for a
  // record without a known unit; empty otherwise. The address is one of the
  // image as loaded at LoadBase.
  std::string GetAddressInfo(uint64_t address) const;

  const std::vector<TEXEMapUnit>& Units() const { return units_; }
  const std::vector<TEXEMapLine>& Lines() const { return lines_; }
  // Index of the unit with exactly this name (case counts), or -1.
  int IndexOfUnit(std::string_view name) const;

  // The map outlives the exception hook when set.
  bool KeepMap = false;
  // Where the image the map describes is loaded. The map's addresses count
  // from $400000; a 64-bit program links elsewhere and may be loaded
  // anywhere, so each address is first moved by the difference.
  uint64_t LoadBase = kEXEMapImageBase;

 private:
  enum class TParseMode { None, Segments, LineNumbers };

  void BeginParse();
  void Feed(std::string_view text, std::string& line);
  void EndParse(std::string& line);
  void ParseLine(const std::string& raw);
  void ParseSegmentLine(std::string_view line);
  void ParseLineNumbers(std::string_view line);
  int AddUnit(std::string_view name);
  void SetUnitSegment(std::string_view name, uint32_t start, TEXEMapSegment segment, uint32_t length);
  void AddLine(uint32_t address, int32_t line, int32_t unit);

  std::vector<TEXEMapUnit> units_;
  std::vector<TEXEMapLine> lines_;
  // Parser state: the section being read, the unit its line records belong
  // to, and the last line number kept in it (-1 at a section start).
  TParseMode mode_ = TParseMode::None;
  int32_t currentUnit_ = -1;
  int32_t lastLine_ = -1;
};
