// FBL_IndexPage: the page cursor of an index file and the tree work over
// its pages. Entries are (key, RecID) pairs in ascending order across the
// logical pages 1..N; kinds of pages (unique, counted, string, addressed)
// give the layout of one page through the primitives below (index_page.cpp),
// the tree work is the base's (index_tree.cpp). Keys are in the form the
// column makes and compare by its FBL_KeyOrder.
//
// A position is (logical page, entry index); index Count() means "after the
// page's last entry". A page is key-locked when it holds one key that
// others may not join: a page of a run (counted pages) or any page of an
// addressed index. Every count and offset read from a page is checked
// before use; a page that does not make sense raises xFBL_SXCorrupted.
// Pages hold machine order while the cursor holds them (FromDisk/ToDisk).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kernel/indexes/index_fence.h"
#include "kernel/indexes/index_format.h"
#include "kernel/sets/rec_id.h"
#include "kernel/storage/page_cursors.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/key_order.h"

class FBL_ArraySet;
class FBL_BitSet;
class FBL_IndexFile;

struct FBL_IndexPosition {
  uint32_t mPage = 0;  // 0: the index is empty
  uint32_t mEntry = 0;
};

class FBL_IndexPage : public FBL_LogicalPage {
 public:
  // Gives the page up in disk order.
  ~FBL_IndexPage() override;

  void Release() override;
  void SetPage(uint32_t n) override;
  void MarkDirty() override;
  // Byte order of the page's layout (index_format.h).
  void FromDisk() override;
  void ToDisk() override;

  // ---- one page ------------------------------------------------------------
  // Makes logical page n current.
  void Load(uint32_t n) { Select(n); }
  // Where (key, recID) lies relative to the current page: below its first
  // entry (negative), after its last (positive) or within (0). Unique and
  // addressed pages answer -1 / 1, counted and string pages -10 / 10.
  int CompareWithPage(const uint8_t* key, REC_ID recID);
  // Lower bound of (key, recID) in the current page; found: the entry
  // there equals the pair (key and RecID).
  virtual uint32_t Search(const uint8_t* key, REC_ID recID, bool& found) = 0;
  // Entries (RecIDs) on the current page.
  virtual uint32_t Count() = 0;
  virtual const uint8_t* KeyAt(uint32_t i) = 0;
  virtual REC_ID RecIDAt(uint32_t i) = 0;
  virtual uint32_t FreeSpace() = 0;
  virtual uint32_t UsedSize() = 0;
  // Bytes one more entry of key takes on the current page (a new key entry
  // included when the key is not there).
  virtual uint32_t EntrySize(const uint8_t* key, uint32_t at) = 0;
  // Whether an entry of key inserted at `at` fits without a split.
  virtual bool HasRoomFor(const uint8_t* key, uint32_t at);
  // Inserts (key, recID) at entry `at`. REQUIRES: the order holds, it fits.
  virtual void Insert(uint32_t at, const uint8_t* key, REC_ID recID) = 0;
  // Fills the current, empty page with one entry.
  void InsertFirst(const uint8_t* key, REC_ID recID);
  // Removes entry `at`.
  virtual void Remove(uint32_t at) = 0;
  // Keeps the first n entries.
  virtual void KeepFirst(uint32_t n) = 0;
  // Formats the current page as an empty page.
  virtual void InitPage() = 0;
  // Whether the page's entries keep one key that others may not join.
  virtual bool IsKeyLocked();
  // Where a split cuts the current page (entries from here move).
  virtual uint32_t SplitPoint() = 0;
  // The page kind's answer for below / above the page.
  virtual int CompareScale() const { return 1; }
  // Full check of the current page (counts, offsets, key order).
  virtual void Check() = 0;
  // Appends (key, recID) after the current page's last entry when it fits
  // there as Insert would place it; same: the key equals the last entry's.
  // False (nothing changed) when the kind has no such shortcut or the page
  // is full. REQUIRES: the pair sorts after the page's last entry.
  virtual bool AppendLast(const uint8_t* /*key*/, REC_ID /*recID*/, bool /*same*/) { return false; }
  // Writes into image the whole page that entries from..Count() of the
  // current page make when inserted in order into an empty page. False
  // when the kind has no such shortcut.
  virtual bool TailImage(uint32_t /*from*/, std::vector<uint8_t>& /*image*/) { return false; }
  // Sharing: a full page gives whole keys to a neighbour with room instead
  // of splitting (kinds that CanShare). ShareCut: the entry from which the
  // current page's entries move to the next page (toNext), or the count of
  // its first entries that move to the previous one, when that evens out
  // the two pages, the other's used bytes being otherUsed; 0: no sharing.
  virtual bool CanShare() const { return false; }
  virtual uint32_t ShareCut(uint32_t /*otherUsed*/, bool /*toNext*/) { return 0; }
  // Moves them to page other. REQUIRES: cut from ShareCut, no page
  // change since; the cursor ends on the current page.
  virtual void ShareWith(uint32_t /*other*/, uint32_t /*cut*/, bool /*toNext*/) {}

  // Moves the entries from SplitPoint() to a new page after the current one;
  // a pair after the page's last entry at the end of the index (or of its
  // key's pages) moves none and goes alone on the new page. Returns 1 when
  // (key, recID) belongs to the first page, 2 when to the new one; the
  // cursor ends on that page.
  int Split(const uint8_t* key, REC_ID recID);
  // Appends every entry of the current page to page n and empties it.
  void MergeInto(uint32_t n);
  // Appends the RecIDs of count entries from `from` (forward, or backward
  // from `from` down) to set.
  virtual void CopyRecIDs(FBL_ArraySet& set, uint32_t from, uint32_t count, bool forward);
  // Includes the RecIDs of count entries from `from` (outside the set's
  // size skipped).
  virtual void MarkRecIDs(FBL_BitSet& set, uint32_t from, uint32_t count);

  // ---- the whole index -----------------------------------------------------
  // The first entry not below (key, recID): a null key is the first entry
  // of the index; mEntry may equal the page's count ("after").
  FBL_IndexPosition Locate(const uint8_t* key, REC_ID recID);
  // The same, moved to the next page's start when it lies after a page.
  FBL_IndexPosition LocateNormalized(const uint8_t* key, REC_ID recID);
  // Inserts the pair; false when it was there already. unique: an equal
  // key raises xFBL_FieldIsUnique before any change.
  bool InsertEntry(const uint8_t* key, REC_ID recID, bool unique);
  // Appends a pair not below the last entry, exactly as InsertEntry would.
  // Ascending appends (an index build) compare each pair with the one
  // appended before only and fill the last page in place.
  bool AppendEntry(const uint8_t* key, REC_ID recID, bool unique);
  // Removes the pair; false when it was not there.
  bool RemoveEntry(const uint8_t* key, REC_ID recID);
  // The first RecID holding key, 0 when none.
  REC_ID FindFirst(const uint8_t* key);
  // RecIDs of the entries from..to (as ResolveRange gives them), in index
  // order, into either set; returns how many entries it took.
  uint64_t CollectRange(const FBL_IndexPosition& from, const FBL_IndexPosition& to, FBL_ArraySet* array,
                    FBL_BitSet* bits);
  // As CollectRange into array while it holds at most `limit` RecIDs; past
  // that, bits of `size` RecIDs are made, take the array's RecIDs (one
  // outside 1..size raises 370) and the rest of the range, and the array
  // is emptied.
  uint64_t CollectRange(const FBL_IndexPosition& from, const FBL_IndexPosition& to,
                        FBL_ArraySet& array, uint32_t limit, REC_ID size,
                        std::unique_ptr<FBL_BitSet>& bits);
  // The bounds as positions: from is the first entry taken, to the first
  // entry after the range. False when the range is empty.
  bool ResolveRange(bool leftIncluded, const uint8_t* left, const uint8_t* right,
                    bool rightIncluded, FBL_IndexPosition& from, FBL_IndexPosition& to);
  // The entries beside the bounds of a range (from..to as ResolveRange
  // gives them): the last one before each bound and the first one at it,
  // without repeats. A damaged key that keeps its page's order changes an
  // answer only by crossing a bound, so it lies on one of these. inside:
  // the entry lies in the range (the answer holds its RecID).
  struct Entry {
    uint8_t key[kMaxIndexKeySize];
    REC_ID recID = 0;
    FBL_IndexPosition at;
    bool inside = false;
  };
  struct BoundSet {
    Entry entries[4];
    uint32_t count = 0;
  };
  void BoundEntries(const FBL_IndexPosition& from, const FBL_IndexPosition& to, BoundSet& out);
  // Most entries one page holds.
  virtual uint32_t MaxEntries() const = 0;
  REC_ID FirstRecID();
  REC_ID LastRecID();
  // map[recID] = start + rank in index order for every entry.
  void NumberRecords(std::vector<uint32_t>& map, uint32_t start);
  // Every page checked in order, their sequence too; raises 370.
  void CheckAll();
  // Whether a RecID may be named once only (a field's index, by-words
  // aside): a page naming one twice was damaged, whatever its order says.
  void SetOneEntryPerRecord(bool on) { mOneEntryPerRecord = on; }
  bool OneEntryPerRecord() const { return mOneEntryPerRecord; }

  uint32_t PageCount() const;
  // Drops the in-memory copy of each page's first entry (the file was
  // emptied, closed or replaced).
  void ForgetFence();
  FBL_IndexFile& IndexFile() const { return mIndexFile; }
  const FBL_KeyOrder& Order() const { return mOrder; }

 protected:
  // REQUIRES: file and order outlive the cursor.
  FBL_IndexPage(FBL_IndexFile& file, const FBL_KeyOrder& order, zindex::PageLayout layout);

  bool SameKey(const uint8_t* a, const uint8_t* b) const { return mOrder.CompareKeys(a, b) == 0; }
  // Whether the variable keys compare as plain bytes; asked once per
  // operation, as a language may change.
  bool KeysAsBytes() const;
  int CompareKeysAs(bool bytes, const uint8_t* a, const uint8_t* b) const {
    return mOrder.CompareKeysAs(bytes, a, b);
  }
  uint32_t KeyLength(const uint8_t* key) const { return mOrder.GetKeyLength(key); }
  // Hooks for kinds that track pages per key (addressed pages).
  virtual void PageAdded(uint32_t /*l*/, const uint8_t* /*key*/) {}
  // Called before logical page l goes.
  virtual void PageRemoved(uint32_t /*l*/) {}
  // Counted pages mark runs of one key in the inventory.
  virtual bool UsesRunMarks() const { return false; }
  uint32_t HeaderBytes() const { return mHeaderBytes; }
  // Whether a page under this many used bytes may take a neighbour's entries.
  virtual uint32_t MergeLimit() const { return Size() * 3 / 4; }
  // The page data, loaded and checked once per physical page.
  uint8_t* Page();
  // Marks the page dirty keeping what the kind parsed of it (the change
  // updated that too); returns the page's new stamp.
  uint64_t MarkChanged();
  // The cursor leaves the page or the page changed: what the kind parsed
  // of it may be kept only under the page's current stamp.
  virtual void Forget() {}
  // Drops whatever the kind keeps of pages it left.
  virtual void ForgetKept() {}
  [[noreturn]] void Corrupt(const char* what) const;
  int ComparePair(const uint8_t* k1, REC_ID r1, const uint8_t* k2, REC_ID r2) const;
  uint32_t Size() const { return GetPageSize(); }
  bool BigEndian() const;

  FBL_IndexFile& mIndexFile;
  const FBL_KeyOrder& mOrder;

 private:
  // part(first entry, count) for the range's part of each page from..to;
  // returns the entries.
  template <class Part>
  uint64_t ForEachRangePart(const FBL_IndexPosition& from, const FBL_IndexPosition& to, Part part);
  uint32_t ChoosePage(const uint8_t* key, REC_ID recID);
  // Inserts at a located position, redirecting around key-locked pages and
  // splitting full ones.
  void InsertAt(FBL_IndexPosition pos, const uint8_t* key, REC_ID recID);
  // A new empty page becomes logical page l, current.
  void NewPageAt(uint32_t l, uint32_t marks);
  // Gives keys of the full current page to a neighbour when a kind shares;
  // the cursor ends on the page that takes key.
  bool ShareWithNeighbour(const uint8_t* key);
  // Whether the pair, to be inserted on the full current page, goes on a
  // page of its own after it.
  bool EndsAscent(const uint8_t* key, REC_ID recID, bool oneKey);
  uint32_t RunMarks(uint32_t l, bool oneKey);
  void AfterRemove();
  // Copies of entries from..Count() of the current page.
  void CopyOut(uint32_t from, std::vector<uint8_t>& keys, std::vector<uint32_t>& offsets,
               std::vector<REC_ID>& recIDs);

  // Insert and Remove keeping the fence in step.
  void PutEntry(uint32_t at, const uint8_t* key, REC_ID recID);
  void TakeEntry(uint32_t at);
  void RemovePage(uint32_t l);
  // Reads the first entry of every page into the fence.
  void BuildFence();
  void FenceSet(uint32_t l);
  // Raises 370 when the current page names a RecID twice.
  void CheckDistinctRecIDs();

  // Order of key against the last appended key: by bytes when they are
  // equal or the field's keys compare as bytes, else through the field.
  int CompareWithAppended(const uint8_t* key, const uint8_t* last) const;
  void RememberAppended(const uint8_t* key, REC_ID recID);

  bool mChecking = false;
  bool mOneEntryPerRecord = false;
  bool mFound = false;
  // The last pair AppendEntry placed: valid while the last page keeps the
  // count it had then and no other change went through this cursor.
  bool mAppendValid = false;
  bool mAppendLocked = false;
  bool mAppendBytes = false;
  uint32_t mAppendPage = 0;
  uint32_t mAppendCount = 0;
  REC_ID mAppendRecID = 0;
  std::vector<uint8_t> mAppendKey;
  FBL_IndexFence mFence;
  const zindex::PageLayout mLayout;
  const uint32_t mHeaderBytes;
};
