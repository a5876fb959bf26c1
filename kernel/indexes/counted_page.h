// FBL_CountedPage: pages of a non-unique index of fixed-size keys (layout
// in index_format.h). Each key is stored once with the count of its
// RecIDs; the RecIDs fill the page from its end, key by key, each key's
// ascending. A page over 0.8 of its size counts as full: it splits at the
// key boundary nearest its middle, and a page of one key splits its RecIDs
// into a run of pages of that key, marked in the inventory.
//
// Entry i of the page (the index's position) is RecID slot i.
#pragma once

#include <vector>

#include "kernel/indexes/index_page.h"

class FBL_CountedPage : public FBL_IndexPage {
 public:
  FBL_CountedPage(FBL_IndexFile& file, const FBL_KeyOrder& order);

  uint32_t Search(const uint8_t* key, REC_ID recID, bool& found) override;
  uint32_t Count() override;
  const uint8_t* KeyAt(uint32_t i) override;
  REC_ID RecIDAt(uint32_t i) override;
  uint32_t FreeSpace() override;
  uint32_t UsedSize() override;
  uint32_t EntrySize(const uint8_t* key, uint32_t at) override;
  bool HasRoomFor(const uint8_t* key, uint32_t at) override;
  void Insert(uint32_t at, const uint8_t* key, REC_ID recID) override;
  void Remove(uint32_t at) override;
  void KeepFirst(uint32_t n) override;
  void InitPage() override;
  bool IsKeyLocked() override;
  uint32_t SplitPoint() override;
  int CompareScale() const override { return 10; }
  uint32_t MaxEntries() const override;
  void Check() override;
  bool AppendLast(const uint8_t* key, REC_ID recID, bool same) override;
  bool TailImage(uint32_t from, std::vector<uint8_t>& image) override;
  bool CanShare() const override { return true; }
  uint32_t ShareCut(uint32_t otherUsed, bool toNext) override;
  void ShareWith(uint32_t other, uint32_t cut, bool toNext) override;
  void CopyRecIDs(FBL_ArraySet& set, uint32_t from, uint32_t count, bool forward) override;
  void MarkRecIDs(FBL_BitSet& set, uint32_t from, uint32_t count) override;

  // Keys on the current page.
  uint32_t KeyCount();

 protected:
  // The layout of string pages.
  FBL_CountedPage(FBL_IndexFile& file, const FBL_KeyOrder& order, zindex::PageLayout layout);

  bool UsesRunMarks() const override { return true; }
  void Forget() override;
  void ForgetKept() override;

  // Layout hooks of the key area (string pages vary them).
  // Bytes of the key at off (its length byte included for strings).
  virtual uint32_t KeyLengthAt(const uint8_t* page, uint32_t off) const;
  // Bytes of the key area as the header gives them.
  virtual uint32_t StoredKeyArea(const uint8_t* page) const;
  virtual void SetKeyArea(uint8_t* page, uint32_t bytes, uint32_t workOffset);
  // Keys of one size: the last key's place is known without a walk.
  virtual bool FixedKeys() const { return true; }
  // Bytes of a string page's key at off: its length byte and the text.
  static uint32_t LengthByteKey(const uint8_t* page, uint32_t off) { return 1u + page[off]; }

  uint32_t mKeySize;

 private:
  // Key offsets and first slots of the current page, checked.
  void Parse();
  // Fills the parse from the key area ending at end; length(page, off)
  // gives a key's bytes.
  template <class Length>
  void WalkKeys(const uint8_t* d, uint32_t keys, uint32_t recIDs, uint32_t end, Length length);
  uint32_t KeyOfSlot(uint32_t slot);
  uint32_t CountAt(const uint8_t* page, uint32_t j) const;
  void SetCountAt(uint8_t* page, uint32_t j, uint32_t count);
  void SetCounts(uint8_t* page, uint32_t keys, uint32_t recIDs);
  // Whole keys of a page: the bytes [keyBegin, keyEnd) of its key area and
  // its RecID slots [slotBegin, slotEnd).
  struct KeyRange {
    const uint8_t* page;
    uint32_t keyBegin, keyEnd, slotBegin, slotEnd, keys;
  };
  KeyRange WholePage(const uint8_t* page) const;
  // The page two ranges make, a's keys first; work offset 0.
  void Compose(const KeyRange& a, const KeyRange& b, uint8_t* out);

  // A change made here that kept the parse up to date.
  void Changed() { mParsedStamp = MarkChanged(); }

  bool mParsed = false;
  // The page's stamp when parsed (0: not yet checked then).
  uint64_t mParsedStamp = 0;
  // Per key j: offset of its entry; mKeyOff[k] is the key area's end.
  std::vector<uint32_t> mKeyOff;
  // Per key j: its first slot; mFirstSlot[k] is the RecID count.
  std::vector<uint32_t> mFirstSlot;

  // Parses of pages the cursor left, by physical page (stamp 0: none),
  // used again while the page keeps its stamp (a search that comes back to
  // a page does not walk its key area again). Each parse lies in one pool
  // of 16-bit words (offsets and slots of a page of at most 64 KB): its
  // keys + 1 key offsets, then as many first slots, in room the page keeps
  // for its next parses while they fit. Keeping thousands of parses thus
  // allocates little and frees a few blocks; the pool is emptied when it
  // passes kKeptWords.
  struct Kept {
    uint64_t stamp = 0;
    uint32_t at = 0;
    uint32_t keys = 0;
    uint32_t room = 0;
  };
  std::vector<Kept> mKept;
  std::vector<uint16_t> mKeptPool;
};
