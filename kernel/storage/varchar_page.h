// The page cursor of a VarChar file: one logical page held in the cache,
// with the first record id it stores (from the RefFile) and the operations
// on its items. Layout in varchar_format.h.
//
// FBL_VarCharPage_T does the work for both offset widths; FBL_VarCharPage_2
// (16-bit) serves values up to 16383 bytes, FBL_VarCharPage_4 (32-bit) the
// longer ones. Every count and offset read from a page is checked before it
// is used: a damaged page raises 351 and is never written through.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "kernel/storage/page_cursors.h"

class FBL_VarCharFile;

// What Diagnose knows of the owning table.
struct FBL_VarCharTableView {
  uint32_t mRecordCount = 0;
  // Whether record r is alive; empty means every record is.
  std::function<bool(uint32_t)> mIsAlive;
};

class FBL_VarCharPage : public FBL_LogicalPage {
 public:
  explicit FBL_VarCharPage(FBL_VarCharFile& file);

  void Release() override;
  // Makes logical page n current and takes its first record id from the
  // RefFile entry of its physical page.
  void SetPage(uint32_t n) override;

  uint32_t GetFirstRecID() const { return mFirstRecID; }

  virtual uint32_t PageSizeFor(uint32_t maxLength) const = 0;
  virtual uint32_t GetCount() = 0;
  virtual void SetCount(uint32_t n) = 0;
  virtual uint32_t MaxCount() const = 0;
  // Opens new pages after the current one (after none: first pages), each
  // with min(count, MaxCount) empty items for the ids from nextRecId on.
  virtual void AppendEmptyOnNewPages(uint32_t count, uint32_t& nextRecId) = 0;
  // Adds empty items to the current page while an offset fits; returns how
  // many could not be added.
  virtual uint32_t AppendEmpty(uint32_t count) = 0;
  // Gives record recId (on this page or the next id after its last item)
  // length bytes, moving later items or splitting the page; the cursor ends
  // on the page that holds recId. Returns the item's start offset.
  virtual uint32_t SetItemSize(uint32_t recId, uint32_t length) = 0;
  // The start offset of recId's item and its length, checked.
  virtual uint32_t GetItem(uint32_t recId, uint32_t& length) = 0;
  // Keeps the first keep items, zeroing the rest.
  virtual void TruncateTo(uint32_t keep) = 0;
  // Checks the page's table; never raises. table may be null.
  virtual bool DiagnosePage(std::string& report, bool verbose,
                            const FBL_VarCharTableView* table) = 0;
  // The bytes one value may have: a single item on a page.
  virtual uint32_t MaxItemBytes() const = 0;

 protected:
  [[noreturn]] void Corrupt(const char* what) const;
  FBL_VarCharFile& VarFile() const { return mVarFile; }

  FBL_VarCharFile& mVarFile;
  uint32_t mFirstRecID = 0;
};

template <typename T>
class FBL_VarCharPage_T : public FBL_VarCharPage {
 public:
  using FBL_VarCharPage::FBL_VarCharPage;
  ~FBL_VarCharPage_T() override;

  void FromDisk() override;
  void ToDisk() override;

  uint32_t PageSizeFor(uint32_t maxLength) const override;
  uint32_t GetCount() override;
  void SetCount(uint32_t n) override;
  uint32_t MaxCount() const override;
  void AppendEmptyOnNewPages(uint32_t count, uint32_t& nextRecId) override;
  uint32_t AppendEmpty(uint32_t count) override;
  uint32_t SetItemSize(uint32_t recId, uint32_t length) override;
  uint32_t GetItem(uint32_t recId, uint32_t& length) override;
  void TruncateTo(uint32_t keep) override;
  bool DiagnosePage(std::string& report, bool verbose, const FBL_VarCharTableView* table) override;
  uint32_t MaxItemBytes() const override;

 private:
  static constexpr uint32_t kWidth = sizeof(T);
  // Outcome of one attempt to size an item.
  enum class Fit { kDone, kRetry };

  uint32_t Size() const { return GetPageSize(); }
  // The current page's count, checked against MaxCount.
  uint32_t CheckedCount();
  // Checks off[from..n] rise and end within the data area of n items.
  void CheckOffsets(uint32_t from, uint32_t n);
  Fit TrySetItemSize(uint32_t recId, uint32_t length, uint32_t& start);
  // Moves the upper part of the page to a new page after it; the cursor
  // ends on the part that holds recId.
  void Split(uint32_t recId);
  uint32_t SplitIndex(uint32_t n);
};

class FBL_VarCharPage_2 : public FBL_VarCharPage_T<uint16_t> {
 public:
  using FBL_VarCharPage_T<uint16_t>::FBL_VarCharPage_T;
};

class FBL_VarCharPage_4 : public FBL_VarCharPage_T<uint32_t> {
 public:
  using FBL_VarCharPage_T<uint32_t>::FBL_VarCharPage_T;
};
