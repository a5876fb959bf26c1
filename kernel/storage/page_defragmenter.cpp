#include "kernel/storage/page_defragmenter.h"

#include <exception>
#include <memory>
#include <vector>

#include "kernel/storage/page_cache.h"
#include "kernel/storage/page_file.h"
#include "kernel/storage/volume.h"
#include "platform/errors.h"

using namespace zpage;

namespace {

// A page file of the same geometry under an identity no live file uses:
// the page file's owner, kind 0xFFFF (temporary: gone after a crash).
std::unique_ptr<FBL_PageFile> NewCopy(FBL_PageFile& file) {
  uint64_t id = file.GetId();
  auto owner = static_cast<uint32_t>(id);
  auto subIndex = static_cast<uint16_t>(id >> 48);
  auto copy =
      std::make_unique<FBL_PageFile>(file.GetVolume(), owner, kKindPageCopy, subIndex,
                                     file.IsIndexFile(), file.GetHeaderSize(), file.GetPageSize());
  for (uint32_t step = 0; copy->Exists(); ++step) {
    if (step >= 0xFFFF) throw xFBL_Exception(ERR_ASSERTION_FAIL, "No identity for a copy");
    copy->SetId(owner, kKindPageCopy, static_cast<uint16_t>(subIndex + step + 1));
  }
  return copy;
}

// Frees a copy that will not be used; a second failure here changes nothing
// for the page file (a temporary file goes at the next open anyway).
void DiscardCopy(FBL_EmbededFile& copy) {
  try {
    if (copy.GetCache() != nullptr) copy.GetCache()->DropFile(copy);
    copy.Close();
    copy.Remove();
  } catch (const xFBL_Exception&) {
  }
}

}  // namespace

// ---- the task --------------------------------------------------------------------

FBL_PageDefragmenter::FBL_PageDefragmenter(FBL_PageFile& file, FBL_EmbededFile& copy)
    : FBL_Task("Page defragmentation"), mFile(file), mCopy(copy) {}

void FBL_PageDefragmenter::Run() {
  try {
    CopyHeader();
    WriteInventory();
    CopyPages();
  } catch (const xFBL_Exception& e) {
    mError = e.Code;
    Stop();
  }
}

void FBL_PageDefragmenter::CopyHeader() {
  std::vector<uint8_t> bytes(mFile.GetHeaderSize(), 0);
  mFile.GetCache()->Read(mFile, 0, bytes.data(), bytes.size());
  mCopy.SetPosition(0);
  mCopy.Write(bytes.data(), bytes.size());
}

// Logical page l lands on physical page M + l; the marks stay.
void FBL_PageDefragmenter::WriteInventory() {
  const uint32_t m = mFile.GetInventoryPageCount();
  const uint32_t count = mFile.GetLogicalPageCount();
  const uint32_t perPage = mFile.GetPageSize() / kEntryBytes;
  const bool big = mFile.IsBigEndianVolume();
  std::vector<uint8_t> page(mFile.GetPageSize());
  uint32_t l = 1;
  for (uint32_t k = 1; k <= m; ++k) {
    std::fill(page.begin(), page.end(), 0);
    for (uint32_t i = 0; i < perPage && l <= count; ++i, ++l) {
      uint32_t marks = EntryMarks(mFile.GetInventory().GetEntry(l));
      StoreEntry(page.data() + i * kEntryBytes, MakeEntry(m + l, marks), big);
    }
    mCopy.Write(page.data(), page.size());
  }
}

void FBL_PageDefragmenter::CopyPages() {
  const uint32_t count = mFile.GetLogicalPageCount();
  const uint32_t size = mFile.GetPageSize();
  std::vector<uint8_t> page(size);
  mCounter2 = count;
  for (uint32_t l = 1; l <= count && IsRunning(); ++l) {
    uint64_t offset = mFile.GetPageOffset(mFile.GetPhysicalPage(l));
    if (mFile.GetCache()->Read(mFile, offset, page.data(), size) < size)
      mFile.RaiseBadPage("page is cut short, logical page", l);
    mCopy.Write(page.data(), size);
    mCounter1 = l;
    if (l % 256 == 0) ReportProgress(static_cast<uint32_t>(uint64_t{l} * 99 / count));
  }
}

// ---- the page file's side --------------------------------------------------------

void FBL_PageFile::Defragment() {
  Open();
  if (!IsOpen()) return;  // no such file: nothing to do
  try {
    if (IsOutOfOrder()) RewriteInOrder();
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

void FBL_PageFile::RewriteInOrder() {
  Flush();
  ReleaseCursors();
  auto copy = NewCopy(*this);
  const uint64_t copyId = copy->GetId();
  FBL_PageDefragmenter task(*this, *copy);
  bool done = false;
  try {
    copy->SetEncryption(GetDecryptor(), true);
    copy->SetEncryption(GetEncryptor(), false);
    copy->FBL_EmbededFile::Create();  // empty: the task writes every byte
    copy->Open();
    SetBulkRange(0, GetLength());
    done = zv::RunTask(task) && task.GetError() == 0;
    SetBulkRange(0, 0);
    if (done) {
      copy->Flush();
      GetCache()->DropFile(*copy);
    }
    copy->Close();
    // Two complete files of one identity for a moment: whichever a crash
    // leaves, it reads the same.
    if (done) copy->RetagEntry(GetId());
  } catch (...) {
    SetBulkRange(0, 0);
    DiscardCopy(*copy);
    throw;
  }
  if (!done) {
    DiscardCopy(*copy);
    if (task.GetError() != 0) throw xFBL_Exception(task.GetError());
    return;
  }
  AdoptStorage(*copy, copyId);
}

void FBL_PageFile::RetagEntry(uint64_t id) {
  FBL_FileEntry entry = GetEntry();
  entry.mOwnerId = static_cast<uint32_t>(id);
  entry.mKind = static_cast<uint16_t>(id >> 32);
  entry.mSubIndex = static_cast<uint16_t>(id >> 48);
  SetPlacement(entry, GetIndex());
  GetVolume().ResizeFile(*this, entry.mLength, false);  // rewrites the entry
}

// The old storage first turns temporary, so it is never found under this
// identity again; a failure freeing it leaves a temporary file the next
// open of an interrupted volume removes, and this file uses the copy
// anyway.
void FBL_PageFile::AdoptStorage(FBL_PageFile& copy, uint64_t temporaryId) {
  ReleaseCursors();
  mInventory.ReleaseBlocks();
  // Blocks of the old storage must never be written again.
  DropCachedBlocks();
  FBL_FileEntry entry = copy.GetEntry();
  int32_t index = copy.GetIndex();
  std::exception_ptr failure;
  try {
    RetagEntry(temporaryId);
    GetVolume().RemoveFile(*this);
  } catch (...) {
    failure = std::current_exception();
  }
  SetPlacement(entry, index);
  mLength = entry.mLength;
  Reload();
  if (failure) std::rethrow_exception(failure);
}
