#include "diagnostics/SEXEMap.h"

#include <cstring>

#include "diagnostics/SEXEExtra.h"
#include "installer-library/SIntegerText.h"
#include "installer-library/STokens.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"

namespace {

constexpr char kMapName[] = "EXEMAP";
constexpr size_t kBlockCounts = 8;  // unit count and line count
// A text-map line longer than this is not one the linker writes; the rest of
// it is dropped rather than held in memory.
constexpr size_t kMaxMapLine = 65536;

platform::File OpenOrThrow(const std::string& path) {
  platform::File file(path, platform::OpenMode::Read);
  if (!file.IsOpen()) throw EEXEMapError("Cannot open file \"" + path + "\"");
  return file;
}

// Where the map block's trailer says the block lies.
struct TBlockPlace {
  int64_t FileSize = 0;
  int64_t TrailerPos = 0;
  uint32_t BlockSize = 0;
  int64_t BlockStart() const { return TrailerPos - BlockSize; }
};

// The trailer at the position the program's index gives for block id 1, or
// in the last 15 bytes of the program; valid when its fixed bytes match and
// the block it describes lies inside the program.
bool LocateMapBlock(const std::string& path, platform::File& file, TBlockPlace& place) {
  place.FileSize = file.Size();
  const int64_t end = ProgramEnd(path, place.FileSize);
  TEXEExtraEntry entry = FindEXEExtra(kEXEMapBlockId, file, end);
  place.TrailerPos =
      entry.Id == kEXEMapBlockId ? static_cast<int64_t>(entry.Offset) : end - static_cast<int64_t>(kEXEMapTrailerSize);
  if (place.TrailerPos < 0 || place.TrailerPos + static_cast<int64_t>(kEXEMapTrailerSize) > end) return false;
  uint8_t t[kEXEMapTrailerSize];
  if (file.Seek(place.TrailerPos, platform::SeekOrigin::Begin) < 0 || file.Read(t, sizeof t) != sizeof t) return false;
  if (GetU16(t) != 0 || t[2] != 1 || t[7] != 6 || std::memcmp(t + 8, kMapName, 6) != 0 || t[14] != 0) return false;
  place.BlockSize = GetU32(t + 3);
  return place.BlockSize <= place.TrailerPos;
}

// The path with its extension (the part from the last '.' of the file name)
// replaced, or the extension appended when the name has none.
std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  size_t dot = path.find_last_of(".\\/:");
  if (dot == std::string::npos || path[dot] != '.') return path + ext;
  return path.substr(0, dot) + ext;
}

// At most 8 hexadecimal digits; 0 when they are not a number.
uint32_t HexField(std::string_view text) {
  std::string hex(1, '$');
  hex.append(text.data(), text.size());
  int32_t v = 0;
  return TryStrToInt32(hex, v) ? static_cast<uint32_t>(v) : 0;
}

std::string_view Drop(std::string_view text, size_t n) { return n < text.size() ? text.substr(n) : std::string_view(); }

std::string UnitName(std::string_view name) { return std::string(name.substr(0, kMaxEXEMapUnitName)); }

}  // namespace

TEXEMap::TEXEMap(const std::string& programFile, const std::vector<std::string>& params) {
  LoadFromFile(programFile, params);
}

void TEXEMap::LoadFromFile(const std::string& path, const std::vector<std::string>& params) {
  if (LoadEmbedded(path)) return;
  std::string mapPath = ChangeFileExt(path, ".map");
  if (!platform::FileExists(mapPath)) return;
  platform::File file = OpenOrThrow(mapPath);
  ParseMapStream(file);
  for (const std::string& p : params)
    if (platform::AnsiLowerCase(p) == "keepexemap") {
      KeepMap = true;
      break;
    }
}

bool TEXEMap::LoadEmbedded(const std::string& path) {
  platform::File file = OpenOrThrow(path);
  TBlockPlace place;
  if (!LocateMapBlock(path, file, place) || place.BlockSize < kBlockCounts) return false;
  std::vector<uint8_t> block(place.BlockSize);
  if (file.Seek(place.BlockStart(), platform::SeekOrigin::Begin) < 0 ||
      file.Read(block.data(), block.size()) != block.size())
    return false;
  int32_t unitCount = static_cast<int32_t>(GetU32(block.data()));
  int32_t lineCount = static_cast<int32_t>(GetU32(block.data() + 4));
  // The counts must describe exactly the bytes in front of the trailer: a
  // block that says otherwise is damaged and is not taken.
  if (unitCount < 0 || lineCount < 0 ||
      kBlockCounts + kEXEMapUnitSize * static_cast<uint64_t>(unitCount) +
              kEXEMapLineSize * static_cast<uint64_t>(lineCount) !=
          place.BlockSize)
    return false;
  std::vector<TEXEMapUnit> units(static_cast<size_t>(unitCount));
  const uint8_t* p = block.data() + kBlockCounts;
  for (TEXEMapUnit& u : units) {
    u.Name.assign(reinterpret_cast<const char*>(p + 1), p[0]);
    for (size_t s = 0; s < u.Segments.size(); ++s) u.Segments[s] = {GetU32(p + 256 + 8 * s), GetU32(p + 260 + 8 * s)};
    p += kEXEMapUnitSize;
  }
  std::vector<TEXEMapLine> lines(static_cast<size_t>(lineCount));
  for (TEXEMapLine& l : lines) {
    l = {GetU32(p), static_cast<int32_t>(GetU32(p + 4)), static_cast<int32_t>(GetU32(p + 8))};
    p += kEXEMapLineSize;
  }
  units_ = std::move(units);
  lines_ = std::move(lines);
  return true;
}

int64_t TEXEMap::GetEmbeddedMapSize(const std::string& path) {
  platform::File file = OpenOrThrow(path);
  TBlockPlace place;
  if (!LocateMapBlock(path, file, place)) return 0;
  return place.FileSize - place.BlockStart();
}

// --- text map ---

void TEXEMap::ParseMapStream(platform::File& file) {
  BeginParse();
  std::string line;
  std::vector<char> chunk(65536);
  for (;;) {
    size_t got = file.Read(chunk.data(), chunk.size());
    if (got == 0) break;
    Feed(std::string_view(chunk.data(), got), line);
  }
  EndParse(line);
}

void TEXEMap::ParseMapText(std::string_view text) {
  BeginParse();
  std::string line;
  Feed(text, line);
  EndParse(line);
}

void TEXEMap::BeginParse() {
  units_.clear();
  lines_.clear();
  mode_ = TParseMode::None;
  currentUnit_ = -1;
  lastLine_ = -1;
}

void TEXEMap::Feed(std::string_view text, std::string& line) {
  // A carriage return, a line feed or both end a line; the empty lines that
  // this makes of CR LF are skipped like any other.
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      ParseLine(line);
      line.clear();
    } else if (line.size() < kMaxMapLine) {
      line.push_back(c);
    }
  }
}

void TEXEMap::EndParse(std::string& line) {
  ParseLine(line);
  units_.shrink_to_fit();
  lines_.shrink_to_fit();
}

void TEXEMap::ParseLine(const std::string& raw) {
  std::string line = TrimBlanks(raw);
  if (line.empty()) return;
  if (line[0] >= '0' && line[0] <= '9') {
    if (mode_ == TParseMode::Segments)
      ParseSegmentLine(line);
    else if (mode_ == TParseMode::LineNumbers)
      ParseLineNumbers(line);
    return;
  }
  // A header: "Detailed map of segments" or "Line numbers for Unit(file) ...".
  mode_ = TParseMode::None;
  if (platform::LowerAZ(line.substr(0, 8)) == "detailed") {
    mode_ = TParseMode::Segments;
  } else if (platform::LowerAZ(line.substr(0, 4)) == "line") {
    mode_ = TParseMode::LineNumbers;
    size_t paren = line.find('(');
    constexpr size_t kNameStart = 17;  // after "Line numbers for "
    std::string name =
        paren != std::string::npos && paren > kNameStart ? line.substr(kNameStart, paren - kNameStart) : "";
    currentUnit_ = IndexOfUnit(name);
  }
  lastLine_ = -1;
}

void TEXEMap::ParseSegmentLine(std::string_view line) {
  // "0001:00000000 0000F1C4 C=CODE     S=.text    G=(none)   M=System   ACBP=A9"
  size_t colon = line.find(':');
  if (colon != std::string_view::npos) line = line.substr(colon + 1);
  uint32_t start = HexField(line.substr(0, 8));
  line = Drop(line, 9);
  uint32_t length = HexField(line.substr(0, 8));
  line = Drop(line, 11);
  std::string cls(line.substr(0, 4));
  for (char& c : cls)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  TEXEMapSegment segment;
  if (cls == "CODE")
    segment = TEXEMapSegment::Code;
  else if (cls == "DATA")
    segment = TEXEMapSegment::Data;
  else if (cls == "BSS ")
    segment = TEXEMapSegment::Bss;
  else
    return;
  size_t m = line.find("M=");
  if (m == std::string_view::npos) return;  // no unit named
  line = line.substr(m + 2);
  SetUnitSegment(line.substr(0, line.find(' ')), start, segment, length);
}

void TEXEMap::ParseLineNumbers(std::string_view line) {
  // "123 0001:000012AC   124 0001:000012B0": line number, segment, offset.
  // Only numbers rising above every earlier kept one in the section are
  // recorded. Every round drops at least the number and its blank, so the
  // loop ends on any text.
  for (;;) {
    size_t blank = line.find(' ');
    if (blank == std::string_view::npos) break;
    int32_t number = 0;
    if (!TryStrToInt32(std::string(line.substr(0, blank)), number)) number = 0;
    line = Drop(line, blank + 1 + 5);
    if (static_cast<int64_t>(number) > static_cast<int64_t>(lastLine_)) {
      AddLine(HexField(line.substr(0, 8)) + kEXEMapCodeStart, number, currentUnit_);
      lastLine_ = number;
    }
    line = Drop(line, 8);
    size_t next = line.find_first_not_of(' ');
    line = next == std::string_view::npos ? std::string_view() : line.substr(next);
  }
}

// --- tables ---

int TEXEMap::IndexOfUnit(std::string_view name) const {
  std::string_view wanted = name.substr(0, kMaxEXEMapUnitName);
  for (size_t i = 0; i < units_.size(); ++i)
    if (units_[i].Name == wanted) return static_cast<int>(i);
  return -1;
}

int TEXEMap::AddUnit(std::string_view name) {
  units_.push_back(TEXEMapUnit{UnitName(name), {}});
  return static_cast<int>(units_.size() - 1);
}

void TEXEMap::SetUnitSegment(std::string_view name, uint32_t start, TEXEMapSegment segment, uint32_t length) {
  int i = IndexOfUnit(name);
  if (i < 0) i = AddUnit(name);
  units_[static_cast<size_t>(i)].Segments[static_cast<size_t>(segment)] = {start + kEXEMapCodeStart, length};
}

void TEXEMap::AddLine(uint32_t address, int32_t line, int32_t unit) { lines_.push_back({address, line, unit}); }

// --- lookup ---

std::string TEXEMap::GetAddressInfo(uint64_t loadedAddress) const {
  // Modulo 2^64: an address below the load base wraps far above every
  // record, and at the fixed base of the 32-bit programs nothing moves.
  const uint64_t address = loadedAddress - LoadBase + kEXEMapImageBase;
  const TEXEMapLine* best = nullptr;
  uint64_t bestDistance = 0;
  for (const TEXEMapLine& l : lines_) {
    if (l.Address > address) continue;
    uint64_t distance = address - l.Address;
    if (!best || distance < bestDistance) {
      best = &l;
      bestDistance = distance;
    }
  }
  if (!best || bestDistance > kMaxLineDistance) return "";
  // A unit index the table does not hold is reported like a line without
  // a unit.
  bool known = best->Unit >= 0 && static_cast<size_t>(best->Unit) < units_.size();
  return " " + (known ? units_[static_cast<size_t>(best->Unit)].Name : std::string("Unknown")) + " (" +
         std::to_string(best->Line) + " - " + std::to_string(bestDistance) + ")";
}
