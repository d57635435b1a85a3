#include "Global/DosDate.h"

#include <gtest/gtest.h>

TEST(DosDate, DateInHighWordTimeZero) {
  struct Case {
    platform::LocalDate date;
    uint32_t value;
  } cases[] = {
      {{1980, 1, 1}, 0x00210000u},
      {{2024, 2, 29}, ((44u << 9) | (2u << 5) | 29u) << 16},
      {{2107, 12, 31}, ((127u << 9) | (12u << 5) | 31u) << 16},
      // Outside the representable years: clamped, never wrapped into the
      // month or day bits.
      {{1979, 6, 15}, ((0u << 9) | (6u << 5) | 15u) << 16},
      {{2200, 6, 15}, ((127u << 9) | (6u << 5) | 15u) << 16},
  };
  for (const Case& c : cases) EXPECT_EQ(DosDateAtMidnight(c.date), c.value) << c.date.Year;
}

TEST(DosDate, TodayIsAPlausibleDate) {
  platform::LocalDate d = platform::Today();
  EXPECT_GE(d.Year, 2020);
  EXPECT_GE(d.Month, 1);
  EXPECT_LE(d.Month, 12);
  EXPECT_GE(d.Day, 1);
  EXPECT_LE(d.Day, 31);
  EXPECT_EQ(TodayDosDate() & 0xFFFFu, 0u);
}
