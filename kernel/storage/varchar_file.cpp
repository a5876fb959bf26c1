#include "kernel/storage/varchar_file.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kernel/storage/byte_order.h"
#include "kernel/storage/varchar_format.h"
#include "platform/errors.h"

namespace {

std::unique_ptr<FBL_VarCharPage> MakePage(FBL_VarCharFile& file, uint32_t maxLength) {
  if (maxLength > zvarchar::kSmallLimit) return std::make_unique<FBL_VarCharPage_4>(file);
  return std::make_unique<FBL_VarCharPage_2>(file);
}

}  // namespace

FBL_VarCharFile::FBL_VarCharFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind,
                                 uint16_t subIndex, uint32_t maxLength)
    : FBL_PageFile(volume, ownerId, kind, subIndex, false, zpage::kDefaultHeaderSize,
                   zvarchar::PageSizeFor(maxLength)),
      mMaxLength(maxLength) {
  mPage = MakePage(*this, maxLength);
}

FBL_VarCharFile::~FBL_VarCharFile() {
  try {
    for (int32_t n = mOpenCount; n > 0; --n) Close();
  } catch (const xFBL_Exception&) {
    // The page file's destructor closes what is left.
  }
  mPage.reset();
}

// ---- open, close, header ---------------------------------------------------------------

void FBL_VarCharFile::Open() {
  int32_t before = mOpenCount;
  FBL_PageFile::Open();
  if (mOpenCount == before) return;  // no entry: nothing opened
  if (before == 0) {
    mRecordCount = UINT32_MAX;
    mFirsts.clear();
  }
  if (mRefFile == nullptr) return;
  try {
    mRefFile->Open();
  } catch (...) {
    FBL_PageFile::Close();
    throw;
  }
}

void FBL_VarCharFile::Close() {
  if (mOpenCount == 0) return;
  try {
    FBL_PageFile::Close();
  } catch (...) {
    if (mRefFile != nullptr) mRefFile->Close();
    throw;
  }
  if (mRefFile != nullptr) mRefFile->Close();
}

void FBL_VarCharFile::Flush() {
  FBL_PageFile::Flush();
  if (mRefFile != nullptr && mRefFile->IsOpen()) mRefFile->Flush();
}

void FBL_VarCharFile::LoadHeader() {
  FBL_PageFile::LoadHeader();
  uint32_t size = ReadHeaderU32(zvarchar::kPageSizeOffset, 4);
  bool wide = mMaxLength > zvarchar::kSmallLimit;
  if (!wide && size > zvarchar::kMaxSmallPage)
    RaiseBadPage("page size too large for 16-bit offsets", size);
  SetPageSize(size);
}

void FBL_VarCharFile::SaveHeader() {
  FBL_PageFile::SaveHeader();
  WriteHeaderU32(zvarchar::kPageSizeOffset, 4, GetPageSize());
}

FBL_PhysicalPage* FBL_VarCharFile::GetCurrentPage() {
  return mPage.get();
}

void FBL_VarCharFile::Reload() {
  FBL_PageFile::Reload();
  mRecordCount = UINT32_MAX;
}

// ---- RefFile ----------------------------------------------------------------------------

FBL_ULongFile& FBL_VarCharFile::Ref() {
  if (mRefFile == nullptr || !mRefFile->IsOpen())
    throw xFBL_CorruptedVarChar("VarChar file without its RefFile");
  return *mRefFile;
}

uint32_t FBL_VarCharFile::RefOf(uint32_t physical) {
  return Ref().Get(physical);
}

void FBL_VarCharFile::SetRef(uint32_t physical, uint32_t firstRecID) {
  Ref().Set(physical, firstRecID);
}

void FBL_VarCharFile::PageMoved(uint32_t from, uint32_t to) {
  uint32_t first = RefOf(from);
  SetRef(to, first);
  SetRef(from, 0);
}

uint32_t FBL_VarCharFile::InsertPageAfter(uint32_t l, uint32_t firstRecID) {
  const bool known = mFirsts.size() == GetLogicalPageCount() && l <= mFirsts.size();
  uint32_t inserted = InsertLogicalPage(l + 1);
  SetRef(GetPhysicalPage(inserted), firstRecID);
  if (known) {
    mFirsts.insert(mFirsts.begin() + l, firstRecID);
  } else {
    mFirsts.clear();
  }
  return inserted;
}

void FBL_VarCharFile::Defragment() {
  Open();
  try {
    uint32_t count = GetLogicalPageCount();
    std::vector<uint32_t> firsts(count);
    std::vector<uint32_t> places(count);
    for (uint32_t l = 1; l <= count; ++l) {
      places[l - 1] = GetPhysicalPage(l);
      firsts[l - 1] = RefOf(places[l - 1]);
    }
    FBL_PageFile::Defragment();
    mFirsts.clear();
    bool moved = false;
    for (uint32_t l = 1; l <= count && !moved; ++l) moved = GetPhysicalPage(l) != places[l - 1];
    if (moved) {
      Ref().TruncateTo(0);
      for (uint32_t l = 1; l <= count; ++l) SetRef(GetPhysicalPage(l), firsts[l - 1]);
    }
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

// ---- finding pages ----------------------------------------------------------------------

void FBL_VarCharFile::SelectLogical(uint32_t l) {
  mPage->Select(l);
}

uint32_t FBL_VarCharFile::FirstOfLogical(uint32_t l) {
  const uint32_t pages = GetLogicalPageCount();
  if (mFirsts.size() != pages) mFirsts.assign(pages, 0);
  if (l == 0 || l > pages) return RefOf(GetPhysicalPage(l));  // raises for a bad page
  uint32_t& first = mFirsts[l - 1];
  if (first == 0) first = RefOf(GetPhysicalPage(l));
  return first;
}

uint32_t FBL_VarCharFile::CountOfLogical(uint32_t l) {
  // A plain cursor sees the page as on disk.
  FBL_LogicalPage page(*this);
  page.Select(l);
  const uint8_t* data = page.GetData();
  uint32_t size = GetPageSize();
  if (mMaxLength > zvarchar::kSmallLimit)
    return zorder::LoadU32(data + size - 4, IsBigEndianVolume());
  return zorder::LoadU16(data + size - 2, IsBigEndianVolume());
}

uint32_t FBL_VarCharFile::GetRecordCount() {
  if (mRecordCount != UINT32_MAX) return mRecordCount;
  uint32_t pages = GetLogicalPageCount();
  if (pages == 0) return mRecordCount = 0;
  SelectLogical(pages);
  uint64_t first = mPage->GetFirstRecID();
  uint32_t n = mPage->GetCount();
  if (first == 0 || n > mPage->MaxCount() || first + n - 1 >= UINT32_MAX)
    throw xFBL_CorruptedVarChar("VarChar file: the last page's first id or count is wrong");
  return mRecordCount = static_cast<uint32_t>(first + n - 1);
}

void FBL_VarCharFile::AdjustRecordCount(int64_t delta) {
  if (mRecordCount != UINT32_MAX) mRecordCount = static_cast<uint32_t>(mRecordCount + delta);
}

// Interpolation between pages lo..hi holding ids low..high: the guess is
// corrected by how far the last probe missed. The answer, the last page
// whose first id is at most r, stays within lo..hi, so this ends.
uint32_t FBL_VarCharFile::SearchPage(uint32_t r) {
  uint32_t lo = 1;
  uint32_t hi = GetLogicalPageCount();
  int64_t low = 1;
  int64_t high = GetRecordCount();
  if (uint32_t cur = mPage->GetLogicalPage(); cur != 0) {
    int64_t first = mPage->GetFirstRecID();
    if (r < first) {
      hi = std::max<uint32_t>(cur - 1, 1);
      high = first;
    } else {
      lo = cur;
      low = first;
    }
  }
  int64_t correction = 0;
  while (lo < hi) {
    double g = static_cast<double>(std::max<int64_t>((high - low) / (hi - lo), 1));
    int64_t guess =
        lo + std::llround((static_cast<double>(r) - static_cast<double>(low)) / g) - correction + 1;
    uint32_t d = static_cast<uint32_t>(std::clamp<int64_t>(guess, lo + 1, hi));
    int64_t first = FirstOfLogical(d);
    if (first == r) return d;
    if (r < first) {
      correction = std::llround(static_cast<double>(first - r) / g);
      hi = d - 1;
      high = first;
    } else {
      correction = -std::llround(static_cast<double>(r - first) / g);
      lo = d;
      low = first;
    }
  }
  return lo;
}

void FBL_VarCharFile::SelectPageOf(uint32_t recId) {
  uint32_t pages = GetLogicalPageCount();
  if (pages == 0) throw xFBL_CorruptedVarChar("VarChar file has no page");
  if (uint32_t cur = mPage->GetLogicalPage(); cur != 0) {
    uint32_t first = mPage->GetFirstRecID();
    uint32_t n = mPage->GetCount();
    if (recId >= first && (recId - first < n || (cur == pages && recId - first == n))) return;
  }
  uint32_t l = SearchPage(recId);
  SelectLogical(l);
  CheckNeighbours(l);
}

void FBL_VarCharFile::CheckNeighbours(uint32_t l) {
  char text[200];
  uint64_t first = mPage->GetFirstRecID();
  uint64_t n = mPage->GetCount();
  const char* what = nullptr;
  if (first == 0 || n > mPage->MaxCount() || (l == 1 && first != 1)) {
    what = "first id or count is wrong";
  } else if (l < GetLogicalPageCount()) {
    if (first + n != FirstOfLogical(l + 1)) what = "its records do not meet the next page's";
  } else if (l > 1) {
    if (uint64_t{FirstOfLogical(l - 1)} + CountOfLogical(l - 1) != first)
      what = "its records do not follow the previous page's";
  }
  if (what == nullptr) return;
  std::snprintf(text, sizeof text, "VarChar file %08" PRIX64 ", logical page %u: %s", GetId(), l,
                what);
  mPage->Release();
  throw xFBL_CorruptedVarChar(text);
}

// ---- values -----------------------------------------------------------------------------

uint32_t FBL_VarCharFile::GetValueLength(uint32_t recId) {
  if (recId == 0 || recId > GetRecordCount()) return 0;
  SelectPageOf(recId);
  uint32_t length = 0;
  mPage->GetItem(recId, length);
  return length;
}

uint32_t FBL_VarCharFile::ReadValue(uint32_t recId, void* buffer, uint32_t max) {
  if (recId == 0 || recId > GetRecordCount()) return 0;
  SelectPageOf(recId);
  uint32_t length = 0;
  uint32_t start = mPage->GetItem(recId, length);
  uint32_t n = std::min(length, max);
  if (n > 0) std::memcpy(buffer, mPage->GetData() + start, n);
  return n;
}

void FBL_VarCharFile::WriteValue(uint32_t recId, const void* data, uint32_t length) {
  if (recId == 0) throw xFBL_Exception(ERR_WRONG_PARAMETER, "Record id 0");
  if (length > GetMaxItemBytes())
    throw xFBL_Exception(ERR_WRONG_PARAMETER, "VarChar value too long");
  uint32_t count = GetRecordCount();
  // Records before recId exist (empty), so the first page starts at 1.
  if (recId > count + 1) {
    SetRecordCount(recId - 1);
    count = recId - 1;
  }
  if (GetLogicalPageCount() == 0) {
    SelectLogical(InsertPageAfter(0, 1));
  } else {
    SelectPageOf(recId);
  }
  uint32_t start = mPage->SetItemSize(recId, length);
  if (length > 0 && (start >= GetPageSize() || start + length >= GetPageSize()))
    throw xFBL_CorruptedVarChar("VarChar item beyond its page");
  if (length > 0) std::memcpy(mPage->GetData() + start, data, length);
  mPage->MarkDirty();
  if (recId == count + 1) mRecordCount = recId;
}

void FBL_VarCharFile::SetRecordCount(uint32_t n) {
  uint32_t count = GetRecordCount();
  if (n > count) Grow(n, count);
  if (n < count) Shrink(n);
  mRecordCount = n;
}

void FBL_VarCharFile::Grow(uint32_t n, uint32_t count) {
  uint32_t add = n - count;
  uint32_t next = count + 1;
  if (uint32_t pages = GetLogicalPageCount(); pages > 0) {
    SelectLogical(pages);
    uint32_t rest = mPage->AppendEmpty(add);
    next += add - rest;
    add = rest;
  } else {
    mPage->Release();
  }
  if (add > 0) mPage->AppendEmptyOnNewPages(add, next);
}

void FBL_VarCharFile::Shrink(uint32_t n) {
  uint32_t first = 0;
  while (uint32_t pages = GetLogicalPageCount()) {
    first = FirstOfLogical(pages);
    if (first == 0) throw xFBL_CorruptedVarChar("VarChar page without a first id");
    if (first <= n) break;
    uint32_t physical = GetPhysicalPage(pages);
    SetRef(physical, 0);
    RemoveLogicalPage(pages);
    if (mFirsts.size() == pages) {
      mFirsts.pop_back();
    } else {
      mFirsts.clear();
    }
  }
  if (uint32_t pages = GetLogicalPageCount(); pages > 0) {
    SelectLogical(pages);
    mPage->TruncateTo(n - first + 1);
  }
  Ref().TruncateTo(GetPageCount());
}

// ---- diagnosis ----------------------------------------------------------------------------

bool FBL_VarCharFile::Diagnose(std::string& report, bool verbose,
                               const FBL_VarCharTableView* table) {
  bool ok = false;
  try {
    Open();
    try {
      ok = DiagnosePages(report, verbose, table);
    } catch (const xFBL_Exception& e) {
      std::string text;
      e.GetErrorString(text);
      if (verbose) report += "(!) VarChar file cannot be read: " + text + "\n";
      ok = false;
    }
    Close();
  } catch (const xFBL_Exception& e) {
    std::string text;
    e.GetErrorString(text);
    if (verbose) report += "(!) VarChar file cannot be opened: " + text + "\n";
    ok = false;
  } catch (const std::exception& e) {
    if (verbose) report += std::string("(!) VarChar file cannot be checked: ") + e.what() + "\n";
    ok = false;
  }
  return ok;
}

bool FBL_VarCharFile::DiagnosePages(std::string& report, bool verbose,
                                    const FBL_VarCharTableView* table) {
  uint32_t pages = GetLogicalPageCount();
  if (pages == 0) {
    if (table == nullptr || table->mRecordCount == 0) return true;
    if (verbose) report += "(!) Table is not empty but VarChar file has zero logical pages.\n";
    return false;
  }
  bool ok = true;
  bool refWrong = false;
  uint64_t expected = 1;
  for (uint32_t i = 1; i <= pages; ++i) {
    std::string pageReport;
    try {
      SelectLogical(i);
      uint32_t first = mPage->GetFirstRecID();
      if (first != expected) {
        pageReport += "(!) FirstRecID is not correct Must be " + std::to_string(expected) +
                      " but it is " + std::to_string(first) + "\n";
      }
      if (RefOf(mPage->GetPage()) != expected) {
        refWrong = true;
        ok = false;
      }
      if (!mPage->DiagnosePage(pageReport, true, table)) {
        ok = false;
        if (verbose) report += "...........Page " + std::to_string(i) + "\n" + pageReport;
      }
      expected += mPage->GetCount();
    } catch (const xFBL_Exception& e) {
      std::string text;
      e.GetErrorString(text);
      ok = false;
      if (verbose) report += "(!) Page " + std::to_string(i) + " cannot be read: " + text + "\n";
    }
  }
  if (refWrong && verbose) report += "(!) RefFile is not correct. Must be rebuilt.\n";
  return ok;
}
