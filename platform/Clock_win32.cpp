#include "platform/Clock.h"

#include <windows.h>

namespace platform {

LocalDate Today() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay};
}

}  // namespace platform
