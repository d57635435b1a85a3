// Host stand-in of the clock: the C library's local time.
#include "platform/Clock.h"

#include <ctime>

namespace platform {

LocalDate Today() {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  if (!localtime_r(&now, &t)) return {};
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday};
}

}  // namespace platform
