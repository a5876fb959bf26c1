// FBL_VarCharFile: the values of a variable-length column, by record id,
// in a page file whose logical pages each hold a run of consecutive records
// (layout in varchar_format.h). The RefFile, a u32 array file the owner
// makes and attaches, gives the first record id of each physical page, so
// the page of a record is found by an interpolation search.
//
// Lifecycle:
//   closed --Create--> closed: header (M, P) and one inventory page, no data
//     page; the owner creates the RefFile.
//   closed --Open--> open: page file geometry and the stored page size
//     checked; the RefFile is opened along (and closed along).
//   open: ReadValue, WriteValue, SetRecordCount; the page cursor keeps one
//     page locked and follows the cache's notifications.
// Invariants while open: the logical pages hold records 1..RecordCount in
// order without gaps; the RefFile entry of each data page is the first id
// on it, 0 for other physical pages. Reads check these against each other
// when they change pages: a damaged file raises 351 or 348, never answers
// with another record's value.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/storage/page_file.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/varchar_page.h"

class FBL_VarCharFile : public FBL_PageFile {
 public:
  // maxLength (bytes) fixes the page kind and the page size of a new file.
  FBL_VarCharFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind, uint16_t subIndex,
                  uint32_t maxLength);
  ~FBL_VarCharFile() override;

  // REQUIRES: closed; ref outlives this file (or is detached first). Not
  // owned.
  void SetRefFile(FBL_ULongFile* ref) { mRefFile = ref; }
  FBL_ULongFile* GetRefFile() const { return mRefFile; }

  void Open() override;
  void Close() override;
  void Flush() override;
  // The RefFile entry of the new place gets the page's first id.
  void PageMoved(uint32_t from, uint32_t to) override;
  // Rewrites the RefFile for the new physical order.
  void Defragment() override;
  // The stored page size must suit the page kind, else 348.
  void LoadHeader() override;
  void SaveHeader() override;
  FBL_PhysicalPage* GetCurrentPage() override;
  void Reload() override;

  uint32_t GetMaxLength() const { return mMaxLength; }
  // Largest value the pages take (a lone item on a page).
  uint32_t GetMaxItemBytes() const { return mPage->MaxItemBytes(); }
  FBL_VarCharPage& GetPage() { return *mPage; }

  // The following REQUIRE an open file.
  // Records the file holds (ids 1..count).
  uint32_t GetRecordCount();
  // Copies min(length, max) bytes of recId's value; returns that count. A
  // record beyond the file reads as empty.
  uint32_t ReadValue(uint32_t recId, void* buffer, uint32_t max);
  // The length of recId's value (0 beyond the file).
  uint32_t GetValueLength(uint32_t recId);
  // Stores length bytes (0 allowed) as recId's value; records between the
  // file's end and recId get empty values. REQUIRES: length <=
  // GetMaxItemBytes() (else 310).
  void WriteValue(uint32_t recId, const void* data, uint32_t length);
  // Makes the file hold ids 1..n: empty items appended, or items cut from
  // the end.
  void SetRecordCount(uint32_t n);
  // Makes the page that holds recId current (the last page for the id
  // after the last record), checking it against its neighbours.
  void SelectPageOf(uint32_t recId);

  // Checks every page and the RefFile; returns true when all is right.
  // Lines go to report only when verbose. Never raises.
  bool Diagnose(std::string& report, bool verbose, const FBL_VarCharTableView* table = nullptr);

  // ---- for the page cursor ----
  // First id of physical page p from the RefFile (0 when unknown).
  uint32_t RefOf(uint32_t physical);
  void SetRef(uint32_t physical, uint32_t firstRecID);
  // A new logical page after logical page l (0: at the start) whose first
  // id is firstRecID; returns its logical number.
  uint32_t InsertPageAfter(uint32_t l, uint32_t firstRecID);
  // Records stored changed by delta (appends and removals by the pages).
  void AdjustRecordCount(int64_t delta);

 private:
  FBL_ULongFile& Ref();
  // Logical page l current without checks (Diagnose, inner work).
  void SelectLogical(uint32_t l);
  uint32_t SearchPage(uint32_t recId);
  uint32_t FirstOfLogical(uint32_t l);
  // The current page's first id and count agree with its neighbours.
  void CheckNeighbours(uint32_t l);
  uint32_t CountOfLogical(uint32_t l);
  void Grow(uint32_t n, uint32_t count);
  void Shrink(uint32_t n);
  bool DiagnosePages(std::string& report, bool verbose, const FBL_VarCharTableView* table);

  uint32_t mMaxLength;
  std::unique_ptr<FBL_VarCharPage> mPage;
  FBL_ULongFile* mRefFile = nullptr;
  // Records the file holds, UINT32_MAX until counted.
  uint32_t mRecordCount = UINT32_MAX;
  // First ids of the logical pages as read from the RefFile, 0 where not
  // read yet: a search reads a few of them for every value it looks up, and
  // a page's first id never changes while the page lives.
  std::vector<uint32_t> mFirsts;
};
