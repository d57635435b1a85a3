// The local calendar date.
#pragma once

namespace platform {

struct LocalDate {
  int Year = 1980;
  int Month = 1;  // 1 to 12
  int Day = 1;    // 1 to 31
};

LocalDate Today();

}  // namespace platform
