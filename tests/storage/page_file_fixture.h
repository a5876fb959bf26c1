// Helpers for page file tests: pages stamped with a tag, a model of the
// logical pages (tags and group marks) and a check of a file against it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "kernel/storage/page_file.h"
#include "kernel/storage/volume.h"
#include "tests/storage/volume_fixture.h"

namespace ztest {

// Every byte of a stamped page depends on its tag; the tag leads.
inline void StampPage(uint8_t* data, uint32_t size, uint32_t tag) {
  for (uint32_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(tag * 31 + i * 7 + (i >> 8));
  std::memcpy(data, &tag, sizeof tag);
}

inline bool HasStamp(const uint8_t* data, uint32_t size, uint32_t tag) {
  std::vector<uint8_t> want(size);
  StampPage(want.data(), size, tag);
  return std::memcmp(data, want.data(), size) == 0;
}

// What the logical pages of a file should hold.
struct PageModel {
  std::vector<uint32_t> tags;
  std::vector<uint32_t> marks;
};

class PageFileTest : public VolumeTest {
 protected:
  static constexpr uint32_t kOwner = 7;
  static constexpr uint16_t kKind = 40;

  static std::unique_ptr<FBL_PageFile> MakeFile(FBL_DataFile& v, bool index = false,
                                                uint32_t pageSize = 1024,
                                                uint32_t headerSize = 1024) {
    return std::make_unique<FBL_PageFile>(v, kOwner, kKind, 0, index, headerSize, pageSize);
  }
  static std::unique_ptr<FBL_PageFile> CreateOpen(FBL_DataFile& v, bool index = false,
                                                  uint32_t pageSize = 1024) {
    auto f = MakeFile(v, index, pageSize);
    f->Create();
    f->Open();
    return f;
  }

  // Writes tag onto logical page l.
  static void StampLogical(FBL_PageFile& f, uint32_t l, uint32_t tag) {
    FBL_LogicalPage page(f);
    page.Select(l);
    StampPage(page.GetData(), f.GetPageSize(), tag);
    page.MarkDirty();
  }
  // Inserts a stamped page at l and records it in the model.
  static void Insert(FBL_PageFile& f, PageModel& m, uint32_t l, uint32_t tag, uint32_t marks = 0) {
    f.InsertLogicalPage(l, marks);
    StampLogical(f, l, tag);
    m.tags.insert(m.tags.begin() + (l - 1), tag);
    m.marks.insert(m.marks.begin() + (l - 1), marks);
  }
  static void Append(FBL_PageFile& f, PageModel& m, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      uint32_t tag = static_cast<uint32_t>(m.tags.size()) + 1000;
      Insert(f, m, static_cast<uint32_t>(m.tags.size()) + 1, tag);
    }
  }

  // Every logical page holds its model tag and marks; the data pages are
  // distinct pages M + 1..N; the file is exactly as long as its pages.
  static void ExpectMatches(FBL_PageFile& f, const PageModel& m, bool data = true) {
    ASSERT_EQ(f.GetLogicalPageCount(), m.tags.size());
    EXPECT_EQ(f.GetLength(), f.GetHeaderSize() + uint64_t{f.GetPageCount()} * f.GetPageSize());
    std::set<uint32_t> seen;
    FBL_LogicalPage page(f);
    for (uint32_t l = 1; l <= m.tags.size(); ++l) {
      uint32_t entry = f.GetInventory().GetEntry(l);
      EXPECT_EQ(zpage::EntryMarks(entry), m.marks[l - 1]) << "logical page " << l;
      uint32_t physical = f.GetPhysicalPage(l);
      EXPECT_GT(physical, f.GetInventoryPageCount());
      EXPECT_TRUE(seen.insert(physical).second) << "page " << physical << " named twice";
      if (!data) continue;
      page.Select(l);
      EXPECT_TRUE(HasStamp(page.GetData(), f.GetPageSize(), m.tags[l - 1])) << "logical page " << l;
    }
    for (uint32_t l = f.GetLogicalPageCount() + 1; l <= f.GetInventory().Capacity(); ++l)
      EXPECT_EQ(f.GetInventory().GetEntry(l), 0u) << "unused entry " << l;
  }
};

}  // namespace ztest
