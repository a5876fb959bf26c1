// FBL_AdressedPage: pages of a Byte field's index (layout in
// index_format.h). A page holds the ascending RecIDs of one value; the
// value is not stored in the page: the index file's header keeps how many
// pages each value has, and the pages of value v follow those of the
// values below it. Each page's second counter repeats its value's page
// count, which the page check compares with the header.
#pragma once

#include "kernel/indexes/index_page.h"

class FBL_AdressedPage : public FBL_IndexPage {
 public:
  FBL_AdressedPage(FBL_IndexFile& file, const FBL_KeyOrder& order);

  uint32_t Search(const uint8_t* key, REC_ID recID, bool& found) override;
  uint32_t Count() override;
  const uint8_t* KeyAt(uint32_t i) override;
  REC_ID RecIDAt(uint32_t i) override;
  uint32_t FreeSpace() override;
  uint32_t UsedSize() override;
  uint32_t EntrySize(const uint8_t* key, uint32_t at) override;
  void Insert(uint32_t at, const uint8_t* key, REC_ID recID) override;
  void Remove(uint32_t at) override;
  void KeepFirst(uint32_t n) override;
  void InitPage() override;
  bool IsKeyLocked() override { return true; }
  uint32_t SplitPoint() override;
  uint32_t MaxEntries() const override;
  void Check() override;

  // The number of pages of the current page's value, as the page keeps it.
  uint32_t GetSecondCounter();

 protected:
  void PageAdded(uint32_t l, const uint8_t* key) override;
  void PageRemoved(uint32_t l) override;
  void Forget() override { mValueKnown = false; }

 private:
  uint8_t Value();
  // Stores pages as the second counter of pages first..first + count - 1.
  void SetGroupCounter(uint32_t first, uint32_t count, uint32_t pages, uint32_t skip);

  bool mValueKnown = false;
  uint8_t mValue = 0;
};
