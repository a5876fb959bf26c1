// Volume open, close and creation, the header and the table of files.
// Segment allocation and data transfer are in volume_segments.cpp.
#include "kernel/storage/volume.h"

#include <algorithm>
#include <string>

#include "kernel/storage/byte_order.h"
#include "kernel/storage/embedded_file.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/page_cache.h"
#include "platform/errors.h"

FBL_DataFile::FBL_DataFile(const std::string& path, platform::Env* env) : FBL_FileWin(path, env) {
  SetCache(FBL_VolumeCache());
  mOpenFiles.reserve(20);
  mTable = std::make_unique<FBL_FilesTableEmb>(*this);
}

FBL_DataFile::~FBL_DataFile() {
  try {
    if (IsOpen()) {
      mOpenCount = 1;
      Close();
    }
  } catch (const xFBL_Exception&) {
    // Cannot report from here; the open flag stays set and the next open
    // treats the volume as interrupted.
  }
  mTable.reset();
  for (FBL_EmbededFile* file : mOpenFiles) file->mVolume = nullptr;
}

void FBL_DataFile::Corrupt(const char* what) const {
  std::string message = "Damaged volume " + GetPath() + ": " + what;
  throw xFBL_DataFileError(message.c_str());
}

void FBL_DataFile::Register(FBL_EmbededFile* file) {
  file->mRegistration = mOpenFiles.size();
  mOpenFiles.push_back(file);
}

// In no particular order: the last file takes the place of the one that
// goes, so that closing a large schema is not quadratic.
void FBL_DataFile::Unregister(FBL_EmbededFile* file) {
  const size_t at = file->mRegistration;
  if (at < mOpenFiles.size() && mOpenFiles[at] == file) {
    mOpenFiles[at] = mOpenFiles.back();
    mOpenFiles[at]->mRegistration = at;
    mOpenFiles.pop_back();
  }
  if (file->mFlushListed) std::erase(mToFlush, file);
  file->mFlushListed = false;
}

void FBL_DataFile::ListForFlush(FBL_EmbededFile* file) {
  if (file->mFlushListed || file == mTable.get()) return;
  file->mFlushListed = true;
  mToFlush.push_back(file);
}

// ---- header ------------------------------------------------------------------

void FBL_DataFile::ReadHeader() {
  uint8_t raw[kVolumeHeaderBytes];
  if (ReadAt(raw, 0, sizeof raw) < sizeof raw) Corrupt("header is truncated");
  mHeader = FBL_VolumeHeader::Decode(raw);
  mSwap = mHeader.IsBigEndian();
}

void FBL_DataFile::CheckHeader() {
  if (mHeader.FormatVersion() > kFormatVersion) throw xFBL_CantOpenNewVersion();
  uint32_t s = mHeader.mSegmentSize;
  if (s < kMinSegmentSize || s > kMaxSegmentSize || s % kMinSegmentSize != 0)
    Corrupt("bad segment size");
  uint32_t m = mHeader.mMapSegments;
  if (m == 0 || m > kLastSegment / s) Corrupt("bad map segment count");
  uint32_t n = GetSegmentCount();
  if (n <= m) Corrupt("file is shorter than its segment map");
  if (mHeader.mTableSegment <= m || mHeader.mTableSegment > n)
    Corrupt("table of files lies outside the volume");
  if (mHeader.mLiveFiles == 0) Corrupt("no live files");
}

void FBL_DataFile::WriteHeader() {
  uint8_t raw[kVolumeHeaderBytes];
  mHeader.Encode(raw);
  WriteAt(raw, 0, sizeof raw);
}

void FBL_DataFile::WriteOpenFlag(uint32_t value) {
  uint8_t raw[4];
  zorder::StoreU32(raw, value, mSwap);
  WriteAt(raw, kOpenFlagOffset, sizeof raw);
  mHeader.mOpenFlag = value;
}

void FBL_DataFile::SetSchemaVersion(uint16_t version) {
  const uint32_t word = static_cast<uint32_t>(version) << 16 | mHeader.FormatVersion();
  if (word == mHeader.mVersion) return;  // the disk holds it already: no change to commit
  mHeader.mVersion = word;
  WriteHeader();
}

void FBL_DataFile::SetFormatVersion(uint16_t format) {
  mHeader.mVersion = (mHeader.mVersion & 0xFFFF0000u) | format;
  if (format < kFirstWideTableVersion) mHeader.mTableFormat = kTableFormatConverted;
  WriteHeader();
}

void FBL_DataFile::SetKeyCheck(uint32_t word1, uint32_t word2) {
  mHeader.mKeyCheck1 = word1;
  mHeader.mKeyCheck2 = word2;
  WriteHeader();
}

void FBL_DataFile::SetStructureEncrypted(bool on) {
  mHeader.mStructureEncrypted = on ? 1 : 0;
  WriteHeader();
}

uint32_t FBL_DataFile::GetSegmentCount() {
  uint64_t length = GetLength();
  uint32_t s = mHeader.mSegmentSize;
  if (s == 0 || length < kVolumeHeaderArea) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>((length - kVolumeHeaderArea) / s, kLastSegment));
}

int32_t FBL_DataFile::GetCachePageLimit(uint64_t offset) {
  // Only the segment map is read through the cache; a block never reaches
  // into the data segments, which are written around the cache.
  uint64_t mapEnd = SegmentOffset(mHeader.mMapSegments + 1);
  if (offset >= mapEnd) return FBL_Cache::kUnit;
  return static_cast<int32_t>(std::min<uint64_t>(mapEnd - offset, INT32_MAX));
}

// ---- create, open, close ---------------------------------------------------------

void FBL_DataFile::CreateVolume(uint32_t segmentSize, uint32_t storageMode,
                                FBL_ByteOrder byteOrder) {
  Create();
  FBL_FileWin::Open();  // no header yet: opened as a plain file
  try {
    uint32_t s = zv::NormalizeSegmentSize(segmentSize);
    mHeader = FBL_VolumeHeader{};
    mHeader.mByteOrder =
        byteOrder == FBL_ByteOrder::kDefault ? kLittleEndianMark : static_cast<uint8_t>(byteOrder);
    mHeader.mTableFormat = kTableFormatCurrent;
    mHeader.mVersion = 1u << 16 | kFormatVersion;
    mHeader.mSegmentSize = s;
    mHeader.mMapSegments = 1;
    mHeader.mLiveFiles = 1;
    mHeader.mTableSegment = 2;
    mHeader.mStorageMode = storageMode;
    mHeader.mOpenFlag = 1;
    mSwap = mHeader.IsBigEndian();
    SetLength(kVolumeHeaderArea + 2ull * s);  // zero-filled
    WriteHeader();
    SetLink(1, 1);  // the map segment marks itself
    SetLink(2, kLastSegment);
    FBL_FileEntry self;
    self.mFirstSegment = 2;
    self.mSegmentCount = 1;
    self.mLength = kFileEntryBytes;
    self.mKind = kKindFilesTable;
    mTable->Load(self);
    ForgetEntryIndex();
    WriteEntry(0, self);
    FlushStructures();
  } catch (...) {
    AbortOpen();
    throw;
  }
  Close();
}

void FBL_DataFile::Open() {
  if (IsOpen()) {
    FBL_FileWin::Open();
    return;
  }
  FBL_FileWin::Open();
  try {
    ReadHeader();
    CheckHeader();
    mWasOpen = mHeader.mOpenFlag != 0;
    if (!IsReadOnly() && !mWasOpen) WriteOpenFlag(1);
    mLowestFree = mHeader.mMapSegments + 1;
    mFreshFrom = kLastSegment;
    LoadFilesTable();
    if (mWasOpen && !IsReadOnly()) RemoveTemporaryFiles();
  } catch (...) {
    AbortOpen();
    throw;
  }
}

// Closes after a failed open or creation without touching the disk again.
void FBL_DataFile::AbortOpen() {
  mTable->Unload();
  DropCachedBlocks();
  mOpenCount = 1;
  try {
    FBL_FileWin::Close();  // nothing cached is left to write
  } catch (const xFBL_Exception&) {
  }
}

void FBL_DataFile::Close() {
  if (mOpenCount == 0) return;
  if (mOpenCount > 1) {
    FBL_FileWin::Close();
    return;
  }
  try {
    if (!IsReadOnly() && mHeader.mOpenFlag != 0) FinishWrites();
  } catch (...) {
    AbortOpen();  // the open flag stays set: the next open sees the interruption
    throw;
  }
  mTable->Unload();
  FBL_FileWin::Close();
  DropCachedBlocks();  // clean now; the file may change while closed
}

// A file's flush may list files again (its own write-back re-entering the
// cache, a column flushing the file it refers to): the list is taken anew,
// a few rounds at most. After an error the files not yet written stay
// listed for the next flush.
void FBL_DataFile::FlushFiles() {
  for (int round = 0; round < 8 && !mToFlush.empty(); ++round) {
    std::vector<FBL_EmbededFile*> files;
    files.swap(mToFlush);
    for (FBL_EmbededFile* file : files) file->mFlushListed = false;
    for (size_t i = 0; i < files.size(); ++i) {
      try {
        files[i]->Flush();
      } catch (...) {
        for (size_t j = i; j < files.size(); ++j) ListForFlush(files[j]);
        throw;
      }
    }
  }
  FlushStructures();
}

void FBL_DataFile::FinishWrites() {
  // A volume grows by an eighth ahead of its files; closed, it keeps no
  // free segments past its last used one.
  TrimTail();
  FlushFiles();
  WriteOpenFlag(0);
}

// Links reach the disk before the entries that count them, so an
// interrupted run leaves at worst a chain longer than its count.
void FBL_DataFile::FlushStructures() {
  FBL_FileWin::Flush();
  mTable->Flush();
  FBL_FileWin::Flush();
}

// ---- table of files --------------------------------------------------------------

void FBL_DataFile::LoadFilesTable() {
  ForgetEntryIndex();
  mEntryBytes = kFileEntryBytes;
  if (mHeader.FormatVersion() < kFirstWideTableVersion &&
      mHeader.mTableFormat != kTableFormatConverted) {
    ConvertFilesTable();
  } else {
    uint8_t raw[kFileEntryBytes];
    if (ReadAt(raw, SegmentOffset(mHeader.mTableSegment), sizeof raw) < sizeof raw)
      Corrupt("table of files is truncated");
    FBL_FileEntry self = FBL_FileEntry::Decode(raw, mSwap);
    self.mFirstSegment = mHeader.mTableSegment;  // the header is what led here
    CheckTableEntry(self, kFileEntryBytes);
    mTable->Load(self);
  }
  // The live count is only a hint (an interrupted run may leave it off by
  // one); every use bounds it by the table's length.
}

void FBL_DataFile::CheckTableEntry(const FBL_FileEntry& self, uint32_t entryBytes) {
  if (self.mLength < entryBytes || self.mLength % entryBytes != 0)
    Corrupt("bad length of the table of files");
  CheckEntry(self);
  CheckChain(self);
}

// Rewrites the 20-byte entries of an older volume as 24-byte ones and marks
// the header so it is not converted again.
void FBL_DataFile::ConvertFilesTable() {
  uint8_t raw[kOldFileEntryBytes];
  if (ReadAt(raw, SegmentOffset(mHeader.mTableSegment), sizeof raw) < sizeof raw)
    Corrupt("table of files is truncated");
  FBL_FileEntry self = FBL_FileEntry::DecodeOld(raw, mSwap);
  self.mFirstSegment = mHeader.mTableSegment;
  CheckTableEntry(self, kOldFileEntryBytes);
  mTable->Load(self);
  if (IsReadOnly()) {  // read as it is, never written
    mEntryBytes = kOldFileEntryBytes;
    return;
  }
  uint32_t n = static_cast<uint32_t>(self.mLength / kOldFileEntryBytes);
  std::vector<FBL_FileEntry> entries(n);
  for (uint32_t i = 0; i < n; ++i) {
    mTable->SetPosition(uint64_t{i} * kOldFileEntryBytes);
    mTable->Read(raw, sizeof raw);
    entries[i] = FBL_FileEntry::DecodeOld(raw, mSwap);
  }
  entries[0].mFirstSegment = mHeader.mTableSegment;
  entries[0].mLength = uint64_t{n} * kFileEntryBytes;
  for (uint32_t i = 0; i < n; ++i) WriteEntry(i, entries[i]);
  mTable->Flush();
  mHeader.mTableFormat = kTableFormatConverted;
  WriteHeader();
  FBL_FileWin::Flush();
}

uint32_t FBL_DataFile::EntryCount() {
  return static_cast<uint32_t>(std::min<uint64_t>(mTable->GetLength() / mEntryBytes, kLastSegment));
}

FBL_FileEntry FBL_DataFile::ReadEntry(uint32_t index) {
  uint8_t raw[kFileEntryBytes];
  mTable->SetPosition(uint64_t{index} * mEntryBytes);
  try {
    mTable->Read(raw, mEntryBytes);
  } catch (const xFBL_Exception& e) {
    if (e.Code != kErrEndOfFile) throw;
    Corrupt("table of files ends early");
  }
  FBL_FileEntry entry = mEntryBytes == kFileEntryBytes ? FBL_FileEntry::Decode(raw, mSwap)
                                                       : FBL_FileEntry::DecodeOld(raw, mSwap);
  return entry;
}

void FBL_DataFile::WriteEntry(uint32_t index, const FBL_FileEntry& entry) {
  if (mEntryBytes != kFileEntryBytes)
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Old table of files");
  // An entry overwritten or removed leaves its old id mapped: FindFile
  // sees that the entry no longer matches and indexes the table again.
  if (mEntryOfIdReady && !entry.IsFree()) {
    auto [it, added] = mEntryOfId.emplace(entry.GetId(), index);
    if (!added && index < it->second) it->second = index;
  }
  uint8_t raw[kFileEntryBytes];
  entry.Encode(raw, mSwap);
  mTable->SetPosition(uint64_t{index} * kFileEntryBytes);
  mTable->Write(raw, sizeof raw);
}

std::vector<FBL_FileEntry> FBL_DataFile::ReadFileTable() {
  std::vector<FBL_FileEntry> entries;
  uint32_t n = EntryCount();
  for (uint32_t i = 0; i < n; ++i) entries.push_back(ReadEntry(i));
  return entries;
}

// The first entry of each id, as a search from the start finds it.
void FBL_DataFile::IndexEntries() {
  mEntryOfId.clear();
  uint32_t n = std::min<uint32_t>(EntryCount(), INT32_MAX);
  for (uint32_t i = 0; i < n; ++i) {
    FBL_FileEntry e = ReadEntry(i);
    if (!e.IsFree()) mEntryOfId.emplace(e.GetId(), i);
  }
  mEntryOfIdReady = true;
}

int32_t FBL_DataFile::FindFile(uint64_t id, FBL_FileEntry* entry) {
  if (!mEntryOfIdReady) IndexEntries();
  auto it = mEntryOfId.find(id);
  if (it == mEntryOfId.end()) return -1;
  const uint32_t i = it->second;
  FBL_FileEntry e = i < EntryCount() ? ReadEntry(i) : FBL_FileEntry{};
  if (e.IsFree() || e.GetId() != id) {
    // The entry was overwritten or removed since: index the table again.
    IndexEntries();
    return mEntryOfId.count(id) != 0 ? FindFile(id, entry) : -1;
  }
  if (i == 0) e.mFirstSegment = mHeader.mTableSegment;
  CheckEntry(e);
  if (entry != nullptr) *entry = e;
  return static_cast<int32_t>(i);
}

void FBL_DataFile::AddFile(FBL_EmbededFile& file) {
  // The first free entry, else one past the table's end. The live count
  // is only a hint: a damaged one must neither place the entry over a
  // file's (below the end) nor far past the end (a table of files grown
  // to gigabytes).
  const uint32_t live = mHeader.mLiveFiles;
  const uint32_t end = EntryCount();
  uint32_t index = end;
  for (uint32_t i = std::max(mFirstFreeEntry, 1u); i < end; ++i) {
    if (ReadEntry(i).IsFree()) {
      index = i;
      break;
    }
  }
  uint32_t first = TakeFreeSegment(true);
  ZeroSegment(first);
  SetLink(first, kLastSegment);
  mHeader.mLiveFiles = live + 1;
  WriteHeader();
  FBL_FileEntry entry;
  entry.mFirstSegment = first;
  entry.mSegmentCount = 1;
  entry.mOwnerId = file.mOwnerId;
  entry.mKind = file.mKind;
  entry.mSubIndex = file.mSubIndex;
  WriteEntry(index, entry);
  file.SetPlacement(entry, static_cast<int32_t>(index));
  mFirstFreeEntry = index + 1;
  FlushStructuresAfter(entry);
}

void FBL_DataFile::RemoveFile(FBL_EmbededFile& file) {
  if (file.mIndex <= 0) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Removing an unplaced file");
  RemoveEntry(static_cast<uint32_t>(file.mIndex));
}

void FBL_DataFile::RemoveEntry(uint32_t index) {
  FBL_FileEntry entry = ReadEntry(index);
  if (entry.IsFree()) return;
  CheckEntry(entry);
  if (mHeader.mLiveFiles > 1) --mHeader.mLiveFiles;
  mFirstFreeEntry = std::min(mFirstFreeEntry, index);
  FreeChain(entry.mFirstSegment, 0, entry.mSegmentCount);
  WriteHeader();
  if (index + 1 == EntryCount()) {
    mTable->SetLength(mTable->GetLength() - kFileEntryBytes);
  } else {
    WriteEntry(index, FBL_FileEntry{});
  }
  TrimTail();
  FlushStructuresAfter(entry);
}

// Temporary files of an interrupted run.
void FBL_DataFile::RemoveTemporaryFiles() {
  uint32_t live = 1;  // the table itself
  for (uint32_t i = 1; i < EntryCount() && live < mHeader.mLiveFiles; ++i) {
    FBL_FileEntry entry = ReadEntry(i);
    if (entry.IsFree()) continue;
    if (entry.IsTemporary()) {
      RemoveEntry(i);
    } else {
      ++live;
    }
  }
}
