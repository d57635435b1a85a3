// How often a window that a long job updates item by item is drawn: at
// most once an interval, about 30 times a second, however small the items.
// Drawing every item (a status line, a bar, the window's messages) cost
// more than a small item itself, and doubled the time of an installation
// of many small files. Whoever ends the job shows its last state.
#pragma once

#include <chrono>

inline constexpr std::chrono::milliseconds kRedrawInterval{33};

class TRedrawPace {
 public:
  explicit TRedrawPace(std::chrono::milliseconds interval = kRedrawInterval) : interval_(interval) {}
  // True once the interval has passed since the pace was made or last said
  // so (always, for an interval of 0).
  bool Due() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < interval_) return false;
    last_ = now;
    return true;
  }

 private:
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};
