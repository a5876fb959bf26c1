// Turns work done out of a known total into the percentages a task reports:
// each one once, rising, below 100 (the runner reports 100 when the task
// succeeded). A step costs one comparison until the next percentage.
#pragma once

#include <cstdint>

class FBL_ProgressSteps {
 public:
  explicit FBL_ProgressSteps(uint64_t total) : mTotal(total) { Advance(); }

  // True when done reached a new percentage; Percent() then tells it.
  bool Reached(uint64_t done) {
    if (done < mNext) return false;
    const auto percent = static_cast<uint32_t>(done * 100 / mTotal);
    if (percent <= mPercent || percent >= 100) {
      mNext = UINT64_MAX;
      return false;
    }
    mPercent = percent;
    Advance();
    return true;
  }
  uint32_t Percent() const { return mPercent; }

 private:
  // The least work done that gives the next percentage.
  void Advance() {
    mNext = mTotal == 0 || mPercent >= 99 ? UINT64_MAX : ((mPercent + 1) * mTotal + 99) / 100;
  }

  uint64_t mTotal;
  uint64_t mNext = 0;
  uint32_t mPercent = 0;
};
