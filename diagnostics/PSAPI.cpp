#include "diagnostics/PSAPI.h"

#include <algorithm>
#include <cstdio>

#include "platform/Text.h"

TModuleList ModuleList;

namespace {

size_t NameStart(const std::string& path) {
  size_t sep = path.find_last_of("\\/:");
  return sep == std::string::npos ? 0 : sep + 1;
}

// At least eight upper-case hexadecimal digits: an image is smaller than 4 GiB.
std::string OffsetText(uint64_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(offset));
  return text;
}

bool IsProgramFile(const std::string& path) {
  size_t dot = path.find_last_of('.');
  return dot != std::string::npos && dot >= NameStart(path) && platform::AnsiLowerCase(path.substr(dot)) == ".exe";
}

}  // namespace

void TModuleList::Add(const std::string& path, uint64_t base, uint64_t size) {
  TModuleRecord record;
  record.FileName = path.substr(NameStart(path), kMaxModuleName);
  record.Base = base;
  record.Size = size;
  if (IsProgramFile(path) && TEXEMap::GetEmbeddedMapSize(path) > 0) {
    record.Map = std::make_unique<TEXEMap>();
    record.Map->LoadFromFile(path);
    record.Map->LoadBase = base;
  }
  records_.push_back(std::move(record));
}

void TModuleList::Sort() {
  std::stable_sort(records_.begin(), records_.end(),
                   [](const TModuleRecord& a, const TModuleRecord& b) { return a.Base < b.Base; });
}

const TModuleRecord* TModuleList::FindModule(uint64_t address) const {
  for (const TModuleRecord& r : records_)
    if (address >= r.Base && address - r.Base < r.Size) return &r;
  return nullptr;
}

std::string TModuleList::GetModuleInfoForAddress(uint64_t address) const {
  const TModuleRecord* r = FindModule(address);
  if (!r) return "";
  // Where the module is loaded differs from run to run, so the address
  // alone cannot be looked up by anyone who reads the report: the offset
  // from the module's start can, in the module's own map or line tables.
  std::string info = " " + r->FileName + "+" + OffsetText(address - r->Base);
  if (r->Map) info += r->Map->GetAddressInfo(address);
  return info;
}
