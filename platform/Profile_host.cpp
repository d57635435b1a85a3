// Host stand-in of the profile API for native tests: the file is parsed into
// sections of lines and, on a write, put back together with CRLF line ends
// and without blank lines, as the API does.
#include "platform/Profile.h"

#include <cstdint>

#include "platform/File.h"
#include "platform/Text.h"

namespace platform {
namespace {

struct Line {
  std::string Name;  // key name, or the whole line when it has no "="
  std::string Value;
  bool HasValue = false;
};

struct Section {
  std::string Name;
  bool Named = false;  // false: the lines before the first section
  std::vector<Line> Lines;
};

std::string Trim(const std::string& text) {
  size_t b = text.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = text.find_last_not_of(" \t\r\n");
  return text.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b) { return AnsiLowerCase(a) == AnsiLowerCase(b); }

bool IsKey(const Line& line) { return line.HasValue && !line.Name.empty() && line.Name[0] != ';'; }

std::vector<Section> Parse(const std::string& path) {
  std::vector<Section> sections(1);
  File file;
  if (!file.Open(path, OpenMode::Read)) return sections;
  int64_t size = file.Size();
  std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  text.resize(file.Read(text.data(), text.size()));
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    size_t close = line.find(']');
    if (line.empty()) continue;
    if (line[0] == '[' && close != std::string::npos) {
      sections.push_back(Section{Trim(line.substr(1, close - 1)), true, {}});
    } else if (size_t eq = line.find('='); eq != std::string::npos) {
      sections.back().Lines.push_back(Line{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), true});
    } else {
      sections.back().Lines.push_back(Line{line, {}, false});
    }
  }
  return sections;
}

Section* FindSection(std::vector<Section>& sections, const std::string& name) {
  for (Section& s : sections)
    if (s.Named && SameName(s.Name, name)) return &s;
  return nullptr;
}

Line* FindKey(Section& section, const std::string& key) {
  for (Line& line : section.Lines)
    if (IsKey(line) && SameName(line.Name, key)) return &line;
  return nullptr;
}

}  // namespace

std::vector<std::string> ProfileFile::Sections() const {
  std::vector<std::string> names;
  for (const Section& s : Parse(path_))
    if (s.Named) names.push_back(s.Name);
  return names;
}

std::vector<std::string> ProfileFile::Keys(const std::string& section) const {
  std::vector<Section> sections = Parse(path_);
  std::vector<std::string> names;
  if (Section* s = FindSection(sections, section))
    for (const Line& line : s->Lines)
      if (IsKey(line)) names.push_back(line.Name);
  return names;
}

bool ProfileFile::Read(const std::string& section, const std::string& key, std::string& value) const {
  std::vector<Section> sections = Parse(path_);
  Section* s = FindSection(sections, section);
  Line* line = s ? FindKey(*s, key) : nullptr;
  if (!line) return false;
  const std::string& v = line->Value;
  bool quoted = v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0];
  value = quoted ? v.substr(1, v.size() - 2) : v;
  return true;
}

bool ProfileFile::Write(const std::string& section, const std::string& key, const std::string& value) {
  std::vector<Section> sections = Parse(path_);
  Section* s = FindSection(sections, section);
  if (!s) {
    sections.push_back(Section{Trim(section), true, {}});
    s = &sections.back();
  }
  if (Line* line = FindKey(*s, key))
    line->Value = Trim(value);
  else
    s->Lines.push_back(Line{Trim(key), Trim(value), true});

  std::string text;
  for (const Section& each : sections) {
    if (each.Named) text += "[" + each.Name + "]\r\n";
    for (const Line& line : each.Lines)
      text += line.HasValue ? line.Name + "=" + line.Value + "\r\n" : line.Name + "\r\n";
  }
  File file;
  return file.Open(path_, OpenMode::Create) && file.Write(text.data(), text.size());
}

}  // namespace platform
