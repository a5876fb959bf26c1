#include "kernel/storage/journal_overlay.h"

#include <iterator>

void FBL_JournalOverlay::Put(uint64_t start, uint64_t end, uint64_t source) {
  // A piece that begins before start keeps its left part, and its right
  // part when it reaches past end.
  auto it = mPieces.lower_bound(start);
  if (it != mPieces.begin()) {
    auto before = std::prev(it);
    const Span span = before->second;
    if (span.mEnd > start) {
      before->second.mEnd = start;
      if (span.mEnd > end) {
        mPieces.emplace(end, Span{span.mEnd, Shift(span.mSource, end - before->first)});
      }
    }
  }
  // Pieces that begin inside [start, end) go, but for a right part past end.
  while (it != mPieces.end() && it->first < end) {
    const uint64_t at = it->first;
    const Span span = it->second;
    it = mPieces.erase(it);
    if (span.mEnd > end) {
      mPieces.emplace(end, Span{span.mEnd, Shift(span.mSource, end - at)});
      break;
    }
  }
  mPieces[start] = Span{end, source};
}

void FBL_JournalOverlay::Cut(uint64_t length) {
  auto it = mPieces.lower_bound(length);
  mPieces.erase(it, mPieces.end());
  if (mPieces.empty()) return;
  auto last = std::prev(mPieces.end());
  if (last->second.mEnd > length) last->second.mEnd = length;
}
