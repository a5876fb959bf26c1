#include "kernel/storage/embedded_file.h"

#include <algorithm>
#include <vector>

#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/page_cache.h"
#include "kernel/storage/volume.h"
#include "platform/errors.h"

FBL_EmbededFile::FBL_EmbededFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind,
                                 uint16_t subIndex)
    : mOwnerId(ownerId), mKind(kind), mSubIndex(subIndex), mVolume(&volume) {
  mVolume->Register(this);
}

FBL_EmbededFile::~FBL_EmbededFile() {
  bool lost = false;
  try {
    if (mOpenCount > 0) {
      mOpenCount = 1;
      Close();
    }
    if (mVolume != nullptr && mCache != nullptr && mCache->HasDirtyBlocks(*this)) Flush();
  } catch (const xFBL_Exception&) {
    // A destructor cannot report; unwritten blocks are dropped with the file,
    // and the database hears that its state in memory is no longer whole.
    lost = true;
  }
  if (mVolume != nullptr) {
    if (lost && mVolume->GetOwner() != nullptr) mVolume->GetOwner()->NoteLostChanges();
    mVolume->Unregister(this);
  }
}

void FBL_EmbededFile::NoteUnflushed() {
  if (mVolume != nullptr) mVolume->ListForFlush(this);
}

FBL_DataFile& FBL_EmbededFile::GetVolume() const {
  if (mVolume == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL, "Volume is gone");
  return *mVolume;
}

const FBL_File* FBL_EmbededFile::GetContainer() const {
  return mVolume;
}

void FBL_EmbededFile::SetPlacement(const FBL_FileEntry& entry, int32_t index) {
  mEntry = entry;
  mIndex = index;
  ForgetSegments();
}

void FBL_EmbededFile::SetId(uint32_t ownerId, uint16_t kind, uint16_t subIndex) {
  mOwnerId = ownerId;
  mKind = kind;
  mSubIndex = subIndex;
}

void FBL_EmbededFile::Rehome() {
  FBL_DataFile& volume = GetVolume();
  if (!volume.IsReadOnly() || volume.GetOwner() == nullptr) return;
  FBL_DataFile* target = volume.GetOwner()->GetIndexVolume(true);
  if (target == nullptr || target == &volume) return;
  if (mOpenCount > 0) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Moving an open file");
  Flush();
  DropCachedBlocks();
  volume.Unregister(this);
  mVolume = target;
  mVolume->Register(this);
  SetPlacement(FBL_FileEntry{}, -1);
}

bool FBL_EmbededFile::Exists() {
  if (mIndex >= 0) return true;
  FBL_DataFile& volume = GetVolume();
  volume.Open();
  try {
    FBL_FileEntry entry;
    int32_t index = volume.FindFile(GetId(), &entry);
    if (index >= 0) SetPlacement(entry, index);
  } catch (...) {
    volume.Close();
    throw;
  }
  volume.Close();
  return mIndex >= 0;
}

void FBL_EmbededFile::Create() {
  if (Exists()) return;
  FBL_DataFile& volume = GetVolume();
  volume.Open();
  try {
    volume.AddFile(*this);
  } catch (...) {
    volume.Close();
    throw;
  }
  volume.Close();
}

void FBL_EmbededFile::Open() {
  if (mOpenCount > 0) {
    ++mOpenCount;
    return;
  }
  FBL_DataFile& volume = GetVolume();
  volume.Open();
  try {
    // The table is the truth: another object of the same file may have
    // changed the entry since this one last looked.
    FBL_FileEntry entry;
    if (mIndex >= 0 && static_cast<uint32_t>(mIndex) < volume.EntryCount())
      entry = volume.ReadEntry(static_cast<uint32_t>(mIndex));
    if (mIndex < 0 || entry.GetId() != GetId()) {
      int32_t index = volume.FindFile(GetId(), &entry);
      SetPlacement(index >= 0 ? entry : FBL_FileEntry{}, index);
    } else if (entry.mFirstSegment != mEntry.mFirstSegment ||
               entry.mSegmentCount != mEntry.mSegmentCount) {
      SetPlacement(entry, mIndex);
    } else {
      mEntry = entry;
    }
    if (mEntry.mFirstSegment == 0) {  // not in the table: nothing to open
      volume.Close();
      return;
    }
    volume.CheckEntry(mEntry);
    volume.CheckChain(mEntry);
  } catch (...) {
    volume.Close();
    throw;
  }
  mLength = mEntry.mLength;
  mPosition = 0;
  mOpenCount = 1;
}

void FBL_EmbededFile::Close() {
  if (mOpenCount == 0) return;
  if (mOpenCount > 1) {
    --mOpenCount;
    return;
  }
  if (mWriteThrough) Flush();
  mPosition = 0;
  mOpenCount = 0;
  GetVolume().Close();
}

uint64_t FBL_EmbededFile::GetLength() {
  if (mOpenCount > 0) return mLength;
  return mEntry.mLength;
}

uint64_t FBL_EmbededFile::ReadAt(void* buffer, uint64_t offset, uint64_t count) {
  return GetVolume().ReadFileData(*this, buffer, offset, count);
}

uint64_t FBL_EmbededFile::WriteAt(const void* buffer, uint64_t offset, uint64_t count) {
  return GetVolume().WriteFileData(*this, buffer, offset, count);
}

void FBL_EmbededFile::SetLength(uint64_t length) {
  if (mOpenCount == 0) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Embedded file is not open");
  uint64_t old = mLength;
  if (mEncryptor) {
    // Encrypted files hold whole units; grown units are encrypted zeros.
    length = (length + kEncryptionUnit - 1) / kEncryptionUnit * kEncryptionUnit;
    if (length > old) {
      FillZero(old, length - old);
      return;
    }
  }
  if (length < old) TruncateCachedBlocks(length);
  GetVolume().ResizeFile(*this, length, true);
  if (length > old && mCache != nullptr) {
    // Blocks across the old end learn the new length by reloading.
    mCache->FlushFile(*this, old);
    mCache->DropFile(*this, old);
  }
  mLength = length;
}

void FBL_EmbededFile::Remove() {
  if (mVolume == nullptr || !Exists() || mVolume->IsReadOnly()) return;
  Open();
  try {
    mVolume->RemoveFile(*this);
  } catch (...) {
    Close();
    throw;
  }
  DropCachedBlocks();
  ForgetSegments();
  mOpenCount = 1;
  mWriteThrough = false;
  Close();
  Reset();
}

void FBL_EmbededFile::Reset() {
  FBL_File::Reset();
  mEntry = FBL_FileEntry{};
  mIndex = -1;
  ForgetSegments();
}

void FBL_EmbededFile::SetEncryption(FBL_EncryptionRef cipher, bool forDecryption) {
  if (GetCachedBlockCount() > 0) {
    Flush();
    DropCachedBlocks();
  }
  (forDecryption ? mDecryptor : mEncryptor) = std::move(cipher);
}

bool FBL_EmbededFile::ChangeEncryption(const FBL_Encryption* oldCipher,
                                       FBL_EncryptionRef newEncryptor,
                                       FBL_EncryptionRef newDecryptor) {
  if (mDecryptor ? (oldCipher == nullptr || !oldCipher->IsSameKey(*mDecryptor))
                 : oldCipher != nullptr)
    return false;
  Open();
  try {
    if (IsOpen() && GetLength() > 0) {
      Flush();
      DropCachedBlocks();
      uint64_t length = mEntry.mLength;
      uint8_t unit[kEncryptionUnit];
      for (uint64_t at = 0; at < length; at += kEncryptionUnit) {
        uint64_t got = ReadAt(unit, at, kEncryptionUnit);
        std::fill(unit + got, unit + kEncryptionUnit, 0);
        if (mDecryptor) mDecryptor->Process(unit, kEncryptionUnit);
        if (newEncryptor) newEncryptor->Process(unit, kEncryptionUnit);
        WriteAt(unit, at, kEncryptionUnit);
      }
      mLength = mEntry.mLength;
    }
  } catch (...) {
    Close();
    throw;
  }
  mEncryptor = std::move(newEncryptor);
  mDecryptor = std::move(newDecryptor);
  Close();
  return true;
}

// ---- the table of files ----------------------------------------------------------

FBL_FilesTableEmb::FBL_FilesTableEmb(FBL_DataFile& volume)
    : FBL_EmbededFile(volume, 0, kKindFilesTable, 0) {
  SetCache(FBL_VolumeCache());
  mPageSizeLimit = 1024;
}

void FBL_FilesTableEmb::Reset() {
  FBL_EmbededFile::Reset();
  mPageSizeLimit = 1024;
}

// Opened and closed only with its volume; the cache's nested opens count.
void FBL_FilesTableEmb::Open() {
  if (mOpenCount == 0) throw xFBL_DatabaseIsNotOpened();
  ++mOpenCount;
}

void FBL_FilesTableEmb::Close() {
  if (mOpenCount > 1) --mOpenCount;
}

void FBL_FilesTableEmb::Flush() {
  // Writing a block back may grow the table, which rewrites entry 0 in a
  // block of its own: repeat until nothing is left (a few rounds at most).
  for (int round = 0; round < 8 && mCache != nullptr && mCache->HasDirtyBlocks(*this); ++round)
    mCache->FlushFile(*this);
}

void FBL_FilesTableEmb::Load(const FBL_FileEntry& self) {
  DropCachedBlocks();
  SetPlacement(self, 0);
  mLength = self.mLength;
  mPosition = 0;
  mOpenCount = 1;
}

void FBL_FilesTableEmb::Unload() {
  DropCachedBlocks();
  mOpenCount = 0;
}

void FBL_EmbededFile::CopyBytesTo(FBL_EmbededFile& to) {
  constexpr uint64_t kCopyChunk = 65536;
  uint64_t length = GetLength();
  std::vector<uint8_t> chunk(std::min(length, kCopyChunk));
  for (uint64_t at = 0; at < length; at += chunk.size()) {
    uint64_t n = std::min<uint64_t>(length - at, chunk.size());
    SetPosition(at);
    Read(chunk.data(), n);
    to.SetPosition(at);
    to.Write(chunk.data(), n);
  }
  to.SetLength(length);
}
