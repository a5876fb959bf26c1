#include "kernel/storage/database.h"

#include <algorithm>
#include <cerrno>
#include <exception>

#include "kernel/storage/embedded_file.h"
#include "kernel/storage/journal.h"
#include "kernel/storage/journal_recovery.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/storage/page_cache.h"
#include "kernel/storage/small_files.h"
#include "platform/env.h"
#include "platform/errors.h"

namespace {

constexpr uint16_t kCurrentVersion = 400;
// Formats the object layer converts from, oldest first.
constexpr uint16_t kConvertibleVersions[] = {1, 18, 289, 292, 384, 390, 393};

// Which file of the set holds records, indexes and BLOBs, by mode.
enum Holder : uint8_t { kVdb, kDat, kInd, kBlb };
struct ModeLayout {
  Holder records, indexes, blobs;
};
constexpr ModeLayout kLayouts[9] = {
    {kDat, kInd, kBlb},  // unused: 0 becomes 4
    {kVdb, kVdb, kVdb}, {kDat, kDat, kDat}, {kDat, kInd, kDat}, {kDat, kInd, kBlb},
    {kVdb, kInd, kVdb}, {kVdb, kInd, kBlb}, {kVdb, kVdb, kBlb}, {kDat, kDat, kBlb},
};

uint32_t NormalMode(uint32_t mode) {
  return mode == 0 || mode > 8 ? kDefaultStorageMode : mode;
}

bool HasHolder(uint32_t mode, Holder h) {
  const ModeLayout& l = kLayouts[NormalMode(mode)];
  return l.records == h || l.indexes == h || l.blobs == h;
}


const char* Extension(Holder h) {
  static const char* const kExtensions[] = {".vdb", ".dat", ".ind", ".blb"};
  return kExtensions[h];
}

}  // namespace

FBL_StorageLayout zv::StorageLayoutOf(uint32_t mode) {
  const ModeLayout& l = kLayouts[NormalMode(mode)];
  return FBL_StorageLayout{Extension(l.records), Extension(l.indexes), Extension(l.blobs)};
}

void zv::KeyCheckWords(const FBL_EncryptionKey* key, uint32_t& word1, uint32_t& word2) {
  word1 = word2 = 0;
  if (key == nullptr) return;
  uint32_t c = 0x3A6C1F5D, a = 0x27E49B03, b = 6;
  for (size_t i = 0; i < key->Count(); ++i) {
    const uint32_t ch = key->Bytes()[i];
    if (ch == ' ' || ch == '\t') continue;
    c ^= (c << 8) + ch * ((c & 0x3F) + b);
    a += (a << 8) ^ c;
    b += ch;
  }
  word1 = c & 0x7FFFFFFF;
  word2 = a & 0x7FFFFFFF;
}

FBL_DataBase::FBL_DataBase(platform::Env* env) : mEnv(env ? env : platform::Env::Default()) {}

FBL_DataBase::~FBL_DataBase() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; Close's work already done stays done.
  }
}

FBL_DataBase::Names FBL_DataBase::MakeNames(const std::string& path) const {
  std::string base = FBL_FileWin::FullPath(path, *mEnv);
  if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".vdb") == 0)
    base.resize(base.size() - 4);
  return Names{base + ".vdb", base + ".dat", base + ".ind", base + ".blb", base + ".jnl"};
}

FBL_JournalPaths FBL_DataBase::JournalPaths(const Names& names) const {
  return FBL_JournalPaths{{names.vdb, names.dat, names.ind, names.blb}, names.jnl};
}

void FBL_DataBase::RequireKernel() const {
  if (FBL_MainCache() == nullptr) throw xFBL_Exception(ERR_CACHE_NOT_EXISTS);
}

platform::Env& FBL_DataBase::VolumeEnv() const {
  return mJournal ? mJournal->GetEnv() : *mEnv;
}

std::unique_ptr<FBL_DataFile> FBL_DataBase::NewVolume(const std::string& path) const {
  auto volume = std::make_unique<FBL_DataFile>(path, &VolumeEnv());
  volume->SetOwner(const_cast<FBL_DataBase*>(this));
  return volume;
}

void FBL_DataBase::DeleteIfExists(const std::string& path) const {
  platform::Env& env = VolumeEnv();
  if (env.FileExists(path) && !env.DeleteFile(path)) throw xFBL_Exception(errno ? errno : EACCES);
}

// ---- the journal -----------------------------------------------------------------

void FBL_DataBase::ResolveJournal(const Names& names, bool writable) {
  RecoverJournal(*mEnv, JournalPaths(names), writable);
}

void FBL_DataBase::StartJournal(const Names& names) {
  mJournal = std::make_unique<FBL_Journal>(*mEnv, JournalPaths(names));
  mJournal->SetSyncs(!mBulkLoad);
  mJournal->Begin();
}

void FBL_DataBase::SettleJournal() {
  if (!mJournal) return;
  mJournal->Commit();
  mJournal->Checkpoint();
}

void FBL_DataBase::AbandonJournal(const Names& names) {
  const bool journaled = mJournal != nullptr;
  ReleaseVolumes();
  if (!journaled) return;
  try {
    RecoverJournal(*mEnv, JournalPaths(names), true);
  } catch (const xFBL_Exception&) {
    // The first error is the one to report; the next open tries again.
  }
}

void FBL_DataBase::SetBulkLoad(bool on) {
  mBulkLoad = on;
  if (mJournal) mJournal->SetSyncs(!on);
}

void FBL_DataBase::AddFlushClient(FBL_FlushClient* client) {
  if (std::find(mFlushClients.begin(), mFlushClients.end(), client) == mFlushClients.end())
    mFlushClients.push_back(client);
}

void FBL_DataBase::RemoveFlushClient(FBL_FlushClient* client) {
  std::erase(mFlushClients, client);
}

void FBL_DataBase::RequireWhole() const {
  if (mLostChanges) {
    throw xFBL_DataFileError(
        "Changes were lost after a write error: the database keeps its last flush");
  }
}

std::string FBL_DataBase::GetName() const {
  return mStructure ? mStructure->GetName() : "";
}

const std::string& FBL_DataBase::GetPath() const {
  static const std::string kEmpty;
  return mStructure ? mStructure->GetPath() : kEmpty;
}

uint16_t FBL_DataBase::GetSchemaVersion() const {
  return mStructure ? mStructure->GetHeader().SchemaVersion() : 0;
}

uint32_t FBL_DataBase::GetStorageMode() const {
  return mStructure ? NormalMode(mStructure->GetHeader().mStorageMode) : 0;
}

void FBL_DataBase::SetSchemaVersion(uint16_t version) {
  if (!mStructure) return;
  mStructure->SetSchemaVersion(version);
  RewriteHeaders();
}

void FBL_DataBase::RewriteHeaders() {
  const uint16_t schema = mStructure->GetHeader().SchemaVersion();
  for (FBL_DataFile* volume : Volumes()) {
    if (volume == mBlob && !BlobFileExists()) continue;
    if (volume->IsReadOnly()) continue;
    if (volume->GetHeader().FormatVersion() != mWrittenFormat)
      volume->SetFormatVersion(mWrittenFormat);
    volume->SetSchemaVersion(schema);
  }
}

bool FBL_DataBase::BlobFileExists() const {
  return mBlob != nullptr && (mBlob != mBlb.get() || mBlobReady || mBlb->Exists());
}

std::vector<FBL_DataFile*> FBL_DataBase::Volumes() const {
  std::vector<FBL_DataFile*> all;
  for (FBL_DataFile* v : {mStructure.get(), mRecord, mIndex, mBlob}) {
    if (v != nullptr && std::find(all.begin(), all.end(), v) == all.end()) all.push_back(v);
  }
  return all;
}

// Creates or opens the volumes a mode adds to the structure volume and
// points records, indexes and BLOBs at their holders.
void FBL_DataBase::AttachVolumes(const Names& names, uint32_t mode, bool create,
                                 uint32_t segmentSize, FBL_ByteOrder byteOrder) {
  const ModeLayout& layout = kLayouts[mode];
  auto prepare = [&](std::unique_ptr<FBL_DataFile>& slot, const std::string& path,
                     FBL_ByteOrder order) {
    slot = NewVolume(path);
    if (create) {
      DeleteIfExists(path);
      slot->CreateVolume(segmentSize, mode, order);
    }
    slot->Open();
  };
  if (HasHolder(mode, kDat)) {
    // Opening never makes an empty record volume in place of a lost one.
    if (!create && !mEnv->FileExists(names.dat))
      throw xFBL_Exception(ERR_FILE_NOT_FOUND, "The record volume (.dat) is missing");
    prepare(mDat, names.dat, byteOrder);
    if (!create && NormalMode(mDat->GetHeader().mStorageMode) != mode)
      throw xFBL_DataFileError("The record volume's storage mode differs from the database's");
  }
  if (HasHolder(mode, kInd)) {
    const FBL_ByteOrder order = mode == 6 ? FBL_ByteOrder::kDefault : byteOrder;
    if (create) {
      prepare(mInd, names.ind, order);
    } else {
      OpenIndexVolume(names.ind, mode, order);
    }
  }
  if (HasHolder(mode, kBlb)) {
    mBlb = NewVolume(names.blb);
    // A .blb left by an earlier database of this name must not lend it
    // stale BLOB data.
    if (create) DeleteIfExists(names.blb);
  }
  auto holder = [&](Holder h) -> FBL_DataFile* {
    switch (h) {
      case kDat:
        return mDat.get();
      case kInd:
        return mInd.get();
      case kBlb:
        return mBlb.get();
      default:
        return mStructure.get();
    }
  };
  mRecord = holder(layout.records);
  mIndex = holder(layout.indexes);
  mBlob = holder(layout.blobs);
  mBlobReady = layout.blobs != kBlb;
}

// An index volume holds nothing the records cannot give again: a missing
// or unreadable one is made anew, empty, and each index is built at its
// table's open. (Before, opening also re-created a missing record volume,
// empty: a database then opened without its records.)
void FBL_DataBase::OpenIndexVolume(const std::string& path, uint32_t mode, FBL_ByteOrder order) {
  mInd = NewVolume(path);
  if (mInd->Exists()) {
    try {
      mInd->Open();
      // Each file's chain, checked now: damage found later, while an index
      // is built, could only fail the build.
      for (const FBL_FileEntry& e : mInd->ReadFileTable()) {
        if (e.IsFree()) continue;
        FBL_EmbededFile file(*mInd, e.mOwnerId, e.mKind, e.mSubIndex);
        file.Open();
        file.Close();
      }
      return;
    } catch (const xFBL_DataFileError&) {
      while (mInd->IsOpen()) mInd->Close();
      // Damaged: replaced below. Lock and I/O errors (errno codes) pass.
    }
    // Made anew in place: a volume of the last commit is cut within the
    // journal's transaction rather than deleted.
    mInd = NewVolume(path);
  }
  mInd->CreateVolume(kDefaultSegmentSize, mode, order);
  mInd->Open();
}

void FBL_DataBase::Create(const std::string& path, uint32_t segmentSize, uint32_t mode,
                          FBL_ByteOrder byteOrder) {
  RequireKernel();
  Close();
  mLostChanges = false;
  const Names names = MakeNames(path);
  mode = NormalMode(mode);
  try {
    // An earlier database of this name goes first, its journal with it.
    for (const std::string* old : {&names.jnl, &names.vdb, &names.dat, &names.ind, &names.blb})
      DeleteIfExists(*old);
    StartJournal(names);
    mStructure = NewVolume(names.vdb);
    const bool structureOnly = mode == 2 || mode == 3 || mode == 4 || mode == 8;
    mStructure->CreateVolume(structureOnly ? kStructureOnlySegmentSize : segmentSize, mode,
                             byteOrder);
    mStructure->Open();
    AttachVolumes(names, mode, true, segmentSize, byteOrder);
    OnOpen(true);
    Flush();
    SettleJournal();
  } catch (...) {
    AbandonJournal(names);
    throw;
  }
}

void FBL_DataBase::Open(const std::string& path, const FBL_EncryptionKeyRef& key) {
  RequireKernel();
  Close();
  mLostChanges = false;
  const Names names = MakeNames(path);
  if (!mEnv->FileExists(names.vdb))
    throw xFBL_Exception(ERR_FILE_NOT_FOUND, "The structure volume (.vdb) is missing");
  try {
    const bool writable = !mEnv->IsReadOnlyFile(names.vdb);
    ResolveJournal(names, writable);
    if (writable && mEnv->FileExists(names.vdb)) StartJournal(names);
    mStructure = NewVolume(names.vdb);
    mStructure->Open();
    const FBL_VolumeHeader& header = mStructure->GetHeader();
    if (header.mStructureEncrypted == 1 && !mStructureCipher) {
      throw xFBL_WrongStructureEncryptionKey();
    }
    if (header.mStorageMode > 8)
      throw xFBL_DataFileError("The volume header holds an invalid storage mode");
    const FBL_ByteOrder byteOrder =
        header.IsBigEndian() ? FBL_ByteOrder::kBigEndian : FBL_ByteOrder::kLittleEndian;
    AttachVolumes(names, NormalMode(header.mStorageMode), false, kDefaultSegmentSize, byteOrder);
    // Whether the files can be read at all, and with this key, is settled
    // before the object layer's hook reads anything of the schema.
    CheckFormatVersion();
    CheckKeyOrThrow(key);
    mKey = key;
    OnOpen(false);
    mReadOnly = mStructure->IsReadOnly() || mRecord->IsReadOnly() ||
                (BlobFileExists() && mBlob->IsReadOnly());
    LoadStructure();
    SettleJournal();  // the open flags and a repair after an unclean close
  } catch (...) {
    AbandonJournal(names);
    throw;
  }
}

uint16_t FBL_DataBase::GetStructureVersion() const {
  return mStructure ? mStructure->GetHeader().FormatVersion() : 0;
}

// A newer format never gets here: its volume refused to open (320).
void FBL_DataBase::CheckFormatVersion() const {
  const uint16_t version = GetStructureVersion();
  if (version != kCurrentVersion &&
      std::find(std::begin(kConvertibleVersions), std::end(kConvertibleVersions), version) ==
          std::end(kConvertibleVersions)) {
    throw xFBL_CantReadDomain();
  }
}

void FBL_DataBase::LoadStructure() {
  CheckFormatVersion();
  const uint16_t version = GetStructureVersion();
  if (version != kCurrentVersion) ConvertStructure(version);
}

// Older formats need the object layer's converters.
void FBL_DataBase::ConvertStructure(uint16_t) {
  throw xFBL_CantReadDomain();
}

void FBL_DataBase::CheckKeyOrThrow(const FBL_EncryptionKeyRef& key) {
  if (!CheckKey(key)) throw xFBL_Exception(ERR_WRONG_PASSWORD);
}

bool FBL_DataBase::CheckKey(const FBL_EncryptionKeyRef& key) {
  if (!mStructure) return false;
  uint32_t w1, w2;
  zv::KeyCheckWords(key.get(), w1, w2);
  for (FBL_DataFile* volume : {mStructure.get(), mRecord, mBlob}) {
    if (volume == mBlob && !BlobFileExists()) continue;
    if (volume == mBlob && !volume->IsOpen()) GetBlobVolume();
    const FBL_VolumeHeader& h = volume->GetHeader();
    if (h.mKeyCheck1 != w1 || h.mKeyCheck2 != w2) return false;
  }
  return true;
}

bool FBL_DataBase::ChangeKey(const FBL_EncryptionKeyRef& oldKey,
                             const FBL_EncryptionKeyRef& newKey) {
  if (!CheckKey(oldKey)) return false;
  uint32_t w1, w2;
  zv::KeyCheckWords(newKey.get(), w1, w2);
  std::vector<FBL_DataFile*> done;
  for (FBL_DataFile* volume : {mStructure.get(), mRecord, mBlob}) {
    if (volume == mBlob && !BlobFileExists()) continue;
    if (std::find(done.begin(), done.end(), volume) != done.end()) continue;
    volume->SetKeyCheck(w1, w2);
    done.push_back(volume);
  }
  mKey = newKey;
  return true;
}

FBL_DataFile* FBL_DataBase::GetBlobVolume() {
  if (mBlob == nullptr) return nullptr;
  if (!mBlobReady || !mBlob->IsOpen()) {
    if (!mBlob->Exists()) {
      mBlob->CreateVolume(kDefaultSegmentSize, mStructure->GetHeader().mStorageMode,
                          FBL_ByteOrder::kDefault);
      // A new .blb takes the database's key check words and schema version.
      const FBL_VolumeHeader& h = mStructure->GetHeader();
      mBlob->Open();
      mBlob->SetKeyCheck(h.mKeyCheck1, h.mKeyCheck2);
      mBlob->SetSchemaVersion(h.SchemaVersion());
    } else if (!mBlob->IsOpen()) {
      mBlob->Open();
    }
    mBlobReady = true;
  }
  return mBlob;
}

FBL_DataFile* FBL_DataBase::GetIndexVolume(bool forWriting) {
  if (mIndex == nullptr || !forWriting || !mIndex->IsReadOnly()) return mIndex;
  if (!mTempIndex) {
    // Not part of the database: no journal.
    const std::string path = mEnv->CreateTempFile();
    mTempIndex = std::make_unique<FBL_DataFile>(path, mEnv);
    mTempIndex->SetOwner(this);
    mTempIndex->CreateVolume(kDefaultSegmentSize, GetStorageMode(), FBL_ByteOrder::kDefault);
    mTempIndex->Open();
  }
  return mTempIndex.get();
}

void FBL_DataBase::Flush() {
  if (!mStructure || mReadOnly) return;
  if (mCommitHolds > 0) {
    mHeldFlush = true;
    return;
  }
  RequireWhole();
  for (FBL_FlushClient* client : std::vector<FBL_FlushClient*>(mFlushClients))
    client->FlushBuffers();
  SaveStructure();
  CommitWrites();
}

void FBL_DataBase::ReleaseCommits(bool commit) {
  if (mCommitHolds == 0 || --mCommitHolds > 0) return;
  const bool flush = mHeldFlush, held = mHeldCommit;
  mHeldFlush = mHeldCommit = false;
  if (!commit) return;
  if (flush) {
    Flush();
  } else if (held) {
    CommitWrites();
  }
}

void FBL_DataBase::CommitWrites() {
  if (!mStructure || mReadOnly) return;
  if (mCommitHolds > 0) {
    mHeldCommit = true;
    return;
  }
  RequireWhole();
  RewriteHeaders();
  for (FBL_DataFile* volume : Volumes()) {
    if (volume->IsOpen() && !volume->IsReadOnly()) volume->FlushFiles();
  }
  if (mJournal) mJournal->Commit();
}

void FBL_DataBase::CompactVolumes() {
  for (FBL_DataFile* volume : Volumes()) {
    if (volume == mBlob && !mBlob->IsOpen()) continue;
    if (!volume->IsReadOnly()) volume->Compact();
  }
}

void FBL_DataBase::CompactAll() {
  CompactVolumes();
  for (FBL_DataFile* volume : Volumes()) {
    if (volume->IsOpen()) volume->VolumeHook();
  }
}

FBL_DataBaseFile& FBL_DataBase::AdoptFile(std::unique_ptr<FBL_DataBaseFile> file) {
  mFiles.push_back(std::move(file));
  return *mFiles.back();
}

void FBL_DataBase::ClearFiles() {
  mFiles.clear();
}

void FBL_DataBase::FlushEverything() {
  if (mReadOnly) return;
  for (FBL_Cache* cache : {FBL_MainCache(), FBL_VolumeCache()}) {
    if (cache != nullptr) cache->FlushAll();
  }
  for (FBL_DataFile* volume : Volumes()) {
    if (volume->IsOpen() && !volume->IsReadOnly()) volume->Flush();
  }
}

// The final writes are committed as one, then played into the volumes; an
// error leaves the journal for the next open.
void FBL_DataBase::Close() {
  if (!mStructure) return;
  try {
    if (!mReadOnly) {
      RequireWhole();
      for (FBL_FlushClient* client : std::vector<FBL_FlushClient*>(mFlushClients))
        client->FlushBuffers();
    }
    FlushEverything();
    {
      // The files take most of the caches with them, usually all of it:
      // a cache holding only this database's clean blocks starts empty at
      // once, else the blocks go back to each arena in one walk.
      const std::vector<FBL_DataFile*> volumes = Volumes();
      const auto ours = [&volumes](const FBL_File& file) {
        const FBL_File* volume = file.GetContainer() != nullptr ? file.GetContainer() : &file;
        return std::find(volumes.begin(), volumes.end(), volume) != volumes.end();
      };
      for (FBL_Cache* cache : {FBL_MainCache(), FBL_VolumeCache()})
        if (cache != nullptr) cache->ForgetAllOf(ours);
      struct Hold {
        Hold() {
          for (FBL_Cache* cache : {FBL_MainCache(), FBL_VolumeCache()})
            if (cache != nullptr) cache->HoldReleases();
        }
        ~Hold() {
          for (FBL_Cache* cache : {FBL_MainCache(), FBL_VolumeCache()})
            if (cache != nullptr) cache->EndHold();
        }
      } hold;
      ClearFiles();
    }
    FlushEverything();
    if (!mReadOnly) RequireWhole();
    FinishVolumes();
    if (mJournal) mJournal->Finish();
  } catch (...) {
    ReleaseVolumes();
    throw;
  }
  ReleaseVolumes(true);
}

void FBL_DataBase::FinishVolumes() {
  for (FBL_DataFile* volume : Volumes()) {
    if (volume->IsOpen() && !volume->IsReadOnly()) volume->FinishWrites();
  }
}

// Closes and destroys every volume once; aliases are only forgotten. A
// temporary index volume's file is deleted.
void FBL_DataBase::ReleaseVolumes(bool report) {
  // Whatever the layers above keep in the volumes goes first.
  try {
    ClearFiles();
  } catch (...) {
    // Closing the volumes matters more than this error.
  }
  mFiles.clear();
  mKey.reset();
  std::exception_ptr first;
  std::string tempPath;
  if (mTempIndex) tempPath = mTempIndex->GetPath();
  for (auto* slot : {&mStructure, &mDat, &mInd, &mBlb, &mTempIndex}) {
    if (!*slot) continue;
    try {
      while ((*slot)->IsOpen()) (*slot)->Close();
    } catch (...) {
      // Closing the rest comes first; the first error is reported after.
      if (!first) first = std::current_exception();
    }
    slot->reset();
  }
  if (!tempPath.empty()) mEnv->DeleteFile(tempPath);
  if (mJournal) {
    try {
      mJournal->CloseFiles();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
    mJournal.reset();
  }
  mRecord = mIndex = mBlob = nullptr;
  mBlobReady = false;
  mWrittenFormat = kCurrentVersion;
  mReadOnly = false;
  mLostChanges = false;
  if (report && first) std::rethrow_exception(first);
}
