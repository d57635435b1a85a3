// MS-DOS date-time as the stored formats keep it: the date in the high word
// (years since 1980 in bits 9-15, month in 5-8, day in 0-4), the time of day
// in the low word.
#pragma once

#include <cstdint>

#include "platform/Clock.h"

// The date at midnight (time word 0). Years outside 1980-2107 cannot be
// represented and are clamped to that range.
inline uint32_t DosDateAtMidnight(const platform::LocalDate& d) {
  int year = d.Year < 1980 ? 0 : d.Year > 2107 ? 127 : d.Year - 1980;
  uint32_t date =
      static_cast<uint32_t>(year) << 9 | static_cast<uint32_t>(d.Month & 15) << 5 | static_cast<uint32_t>(d.Day & 31);
  return date << 16;
}

inline uint32_t TodayDosDate() { return DosDateAtMidnight(platform::Today()); }
