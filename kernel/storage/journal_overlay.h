// FBL_JournalOverlay: where the newest bytes of a volume's changed ranges
// are while they wait in the journal. Each range of the volume maps to a
// position in the journal file (the byte at the range's start) or to zeros;
// ranges never overlap, and a later Put hides what it covers.
// Threads: one at a time (kernel/storage/sync_objects.h).
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>

class FBL_JournalOverlay {
 public:
  // A source that stands for zero bytes.
  static constexpr uint64_t kZeros = UINT64_MAX;

  struct Piece {
    uint64_t mStart;
    uint64_t mEnd;
    uint64_t mSource;  // journal offset of the byte at mStart, or kZeros
  };

  // Maps [start, end) to the bytes from source on. REQUIRES: start < end.
  void Put(uint64_t start, uint64_t end, uint64_t source);
  // Forgets everything at or past length.
  void Cut(uint64_t length);
  void Clear() { mPieces.clear(); }
  bool Empty() const { return mPieces.empty(); }
  size_t Size() const { return mPieces.size(); }

  // Calls f(piece) for each piece overlapping [start, end), clipped to it,
  // in offset order.
  template <class F>
  void ForEach(uint64_t start, uint64_t end, F&& f) const {
    if (mPieces.empty() || start >= end) return;
    auto it = mPieces.upper_bound(start);
    if (it != mPieces.begin()) --it;
    for (; it != mPieces.end() && it->first < end; ++it) {
      const uint64_t s = std::max(start, it->first), e = std::min(end, it->second.mEnd);
      if (s >= e) continue;
      f(Piece{s, e, Shift(it->second.mSource, s - it->first)});
    }
  }

 private:
  struct Span {
    uint64_t mEnd;
    uint64_t mSource;
  };
  static uint64_t Shift(uint64_t source, uint64_t by) { return source == kZeros ? kZeros : source + by; }

  std::map<uint64_t, Span> mPieces;  // by start
};
