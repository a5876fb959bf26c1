// FBL_UniquePage: pages of an index of fixed-size keys, each key once
// (layout in index_format.h): a count, then (key, RecID) entries in key
// order. A full page splits in half.
#pragma once

#include "kernel/indexes/index_page.h"

class FBL_UniquePage : public FBL_IndexPage {
 public:
  FBL_UniquePage(FBL_IndexFile& file, const FBL_KeyOrder& order);

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
  uint32_t SplitPoint() override;
  uint32_t MaxEntries() const override;
  void Check() override;
  void CopyRecIDs(FBL_ArraySet& set, uint32_t from, uint32_t count, bool forward) override;
  void MarkRecIDs(FBL_BitSet& set, uint32_t from, uint32_t count) override;

 private:
  uint32_t Entry() const { return mKeySize + 4; }

  template <class T>
  uint32_t SearchIntegers(const uint8_t* key, REC_ID recID, bool& found);

  uint32_t mKeySize;
  // Integer keys compared inline: 0 = through the field, else the width,
  // negative for signed integers.
  int32_t mIntegerKeys = 0;
};
