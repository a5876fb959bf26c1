#include "host/chain_check.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "kernel/storage/volume.h"
#include "platform/errors.h"

namespace host {

namespace {

class ChainChecker {
 public:
  ChainChecker(FBL_DataFile& volume, std::string& out)
      : mVolume(volume),
        mOut(out),
        mSegmentSize(volume.GetSegmentSize()),
        mMapSegments(volume.GetHeader().mMapSegments) {}

  uint32_t Run() {
    CheckLayout();
    const std::vector<FBL_FileEntry> entries = mVolume.ReadFileTable();
    size_t files = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].IsFree()) continue;
      ++files;
      try {
        CheckChain(i, entries[i]);
      } catch (const xFBL_Exception& e) {
        Problem("file %zu: error %d while its chain was walked", i, e.Code);
      }
    }
    Line("file chains: %zu files checked, %" PRIu32 " problems", files, mProblems);
    return mProblems;
  }

 private:
  void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    Append(format, args);
    va_end(args);
  }
  void Problem(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    ++mProblems;
    mOut += "(!) ";
    va_list args;
    va_start(args, format);
    Append(format, args);
    va_end(args);
  }
  void Append(const char* format, va_list args) {
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    mOut += buffer;
    mOut += '\n';
  }

  // Segments are whole and described by the map; the walks below only
  // accept segments up to mLimit.
  void CheckLayout() {
    const uint64_t length = mVolume.GetLength();
    const uint32_t whole = mVolume.GetSegmentCount();
    const uint64_t tail = length - kVolumeHeaderArea - uint64_t{whole} * mSegmentSize;
    if (tail != 0) {
      Problem("the file ends %" PRIu64 " bytes into segment %" PRIu64
              ": cut short or with bytes appended",
              tail, uint64_t{whole} + 1);
    }
    const uint64_t described = uint64_t{mMapSegments} * (mSegmentSize / 4);
    if (whole > described) {
      Problem("the file holds %" PRIu32 " segments, the segment map describes %" PRIu64, whole,
              described);
    }
    mLimit = static_cast<uint32_t>(std::min<uint64_t>(whole, described));
    mHolder.assign(size_t{mLimit} + 1, 0);
  }

  // The table of files is reached through the header, whatever its own
  // entry says.
  void CheckChain(size_t index, const FBL_FileEntry& entry) {
    char name[96];
    std::snprintf(name, sizeof name, "file %zu (owner %" PRIu32 ", kind %u, sub-index %u)", index,
                  entry.mOwnerId, entry.mKind, entry.mSubIndex);
    const uint32_t count = entry.mSegmentCount;
    if (count == 0) return Problem("%s has no segments", name);
    if (entry.mLength > uint64_t{count} * mSegmentSize) {
      Problem("%s: its length %" PRIu64 " is more than its %" PRIu32 " segments hold", name,
              entry.mLength, count);
    }
    uint32_t segment = index == 0 ? mVolume.GetHeader().mTableSegment : entry.mFirstSegment;
    for (uint32_t k = 1;; ++k) {
      if (segment <= mMapSegments || segment > mLimit) {
        return Problem("%s: segment %" PRIu32 " of its chain is %" PRIu32 ", %s", name, k, segment,
                       segment > mLimit ? "past the end of the volume" : "not a data segment");
      }
      if (mHolder[segment] != 0) {
        return Problem("%s: segment %" PRIu32 " is also in the chain of file %" PRIu32, name,
                       segment, mHolder[segment] - 1);
      }
      mHolder[segment] = static_cast<uint32_t>(index) + 1;
      const uint32_t link = mVolume.GetLink(segment);
      if (link == 0) return Problem("%s: segment %" PRIu32 " is marked free", name, segment);
      if (k == count) {
        if (link != kLastSegment)
          Problem("%s: the chain goes on past its %" PRIu32 " segments", name, count);
        return;
      }
      if (link == kLastSegment) {
        return Problem("%s: the chain ends after %" PRIu32 " of its %" PRIu32 " segments", name, k,
                       count);
      }
      segment = link;
    }
  }

  FBL_DataFile& mVolume;
  std::string& mOut;
  const uint32_t mSegmentSize;
  const uint32_t mMapSegments;
  uint32_t mLimit = 0;
  // Per segment: 1 + the index of the file whose chain holds it; 0 for none.
  std::vector<uint32_t> mHolder;
  uint32_t mProblems = 0;
};

}  // namespace

uint32_t CheckFileChains(FBL_DataFile& volume, std::string& out) {
  return ChainChecker(volume, out).Run();
}

}  // namespace host
