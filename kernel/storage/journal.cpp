#include "kernel/storage/journal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>

#include "kernel/storage/journal_env.h"
#include "platform/errors.h"
#include "platform/random.h"

namespace {

// Bytes copied at once from the journal into a volume.
constexpr uint64_t kCopyBytes = 1u << 20;
// Records gather in memory up to this many bytes (a larger one alone).
constexpr uint64_t kBufferBytes = 1u << 20;
// Written records stay in memory while the generation's records take no
// more than this: playing the journal and reading volumes through it then
// copy pieces (some of a few bytes, thousands a checkpoint) instead of
// reading each from the file.
constexpr uint64_t kKeptBytes = 2 * FBL_Journal::kDefaultCheckpointBytes;

const uint8_t* Zeros() {
  static const uint8_t zeros[64 * 1024] = {};
  return zeros;
}
constexpr uint64_t kZeroBytes = 64 * 1024;

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool FingerprintOf(platform::EnvFile& file, uint32_t n, uint32_t& crc) {
  std::vector<uint8_t> bytes(n);
  if (n > 0 && file.ReadAt(0, bytes.data(), n) < n) return false;
  crc = JournalCrc(0, bytes.data(), n);
  return true;
}

FBL_Journal::FBL_Journal(platform::Env& env, const FBL_JournalPaths& paths)
    : mEnv(env),
      mJournalEnv(std::make_unique<FBL_JournalEnv>(*this, &env)),
      mPath(paths.mJournal),
      mFolder(FolderOf(paths.mJournal)) {
  for (uint32_t i = 0; i < kJournalSlots; ++i) {
    mSlots[i].mIndex = i;
    mSlots[i].mPath = paths.mVolumes[i];
  }
}

FBL_Journal::~FBL_Journal() {
  try {
    CloseFiles();
  } catch (const xFBL_Exception&) {
    // The journal stays as it is for the next open to settle.
  }
}

platform::Env& FBL_Journal::GetEnv() {
  return *mJournalEnv;
}

void FBL_Journal::RequireOpen() const {
  if (mFinished || !mFile) throw xFBL_Exception(ERR_ASSERTION_FAIL, "The journal is closed");
}

FBL_Journal::Slot& FBL_Journal::At(int slot) {
  RequireOpen();
  Slot& s = mSlots[static_cast<size_t>(slot)];
  if (!s.mExists || !s.mFile) throw xFBL_Exception(EBADF);
  return s;
}

int FBL_Journal::SlotOf(const std::string& path) const {
  for (const Slot& s : mSlots) {
    if (!s.mPath.empty() && s.mPath == path) return static_cast<int>(s.mIndex);
  }
  return -1;
}

// ---- generations -------------------------------------------------------------------

void FBL_Journal::Begin() {
  for (Slot& s : mSlots) {
    s.mExists = !s.mPath.empty() && mEnv.FileExists(s.mPath);
    s.mJournaled = !s.mPath.empty() && !(s.mExists && mEnv.IsReadOnlyFile(s.mPath));
    if (s.mExists && s.mJournaled) {
      s.mFile = mEnv.OpenFile(s.mPath, platform::OpenMode::kReadWrite);
      s.mLength = s.mPhysical = s.mFile->Size();
    } else if (s.mExists && !mEnv.GetFileSize(s.mPath, &s.mLength)) {
      s.mExists = false;
    }
    s.mCommitted = FBL_JournalSlotState{s.mExists, s.mLength};
  }
  mFile = mEnv.CreateFile(mPath);
  mFolderUnsynced = true;
  StartGeneration();
}

FBL_JournalHeader::Slot FBL_Journal::Describe(Slot& slot) {
  FBL_JournalHeader::Slot d;
  if (!slot.mExists) return d;
  d.mBase = FBL_JournalSlotState{true, slot.mLength};
  d.mFingerprintBytes =
      static_cast<uint32_t>(std::min<uint64_t>(kJournalFingerprintMax, slot.mLength));
  std::unique_ptr<platform::EnvFile> readOnly;
  platform::EnvFile* file = slot.mFile.get();
  if (file == nullptr) {
    readOnly = mEnv.OpenFile(slot.mPath, platform::OpenMode::kReadOnly);
    file = readOnly.get();
  }
  if (!FingerprintOf(*file, d.mFingerprintBytes, d.mFingerprint))
    throw xFBL_DataFileError(("Volume " + slot.mPath + " is shorter than it was").c_str());
  return d;
}

// The volumes as they are now become the base: the header is rewritten
// with a new salt, so that records of the last generation no longer check.
void FBL_Journal::StartGeneration() {
  FBL_JournalHeader header;
  header.mSalt = platform::RandomSeed();
  header.mGeneration = ++mGeneration;
  for (Slot& s : mSlots) {
    header.mSlots[s.mIndex] = Describe(s);
    s.mOverlay.Clear();
    s.mInPlace = s.mLength;
  }
  uint8_t raw[kJournalHeaderBytes];
  header.Encode(raw);
  mBuffer.clear();
  mFile->WriteAt(0, raw, sizeof raw);
  mFile->SetLength(sizeof raw);
  if (mSyncs) {
    mFile->Sync();
    if (mFolderUnsynced) mEnv.SyncDirectory(mFolder);
    mFolderUnsynced = false;
  }
  mEnd = mBufferStart = mWritten = sizeof raw;
  mCheck = header.FirstCheck();
}

uint64_t FBL_Journal::Append(const FBL_JournalRecord& record, const uint8_t* payload) {
  const uint64_t total = kJournalRecordHead + uint64_t{record.mPayloadBytes};
  if (mEnd > mWritten && mEnd - mWritten + total > kBufferBytes) WriteBuffer();
  const size_t at = mBuffer.size();
  mBuffer.resize(at + total);
  mCheck = record.Encode(mBuffer.data() + at, payload, mCheck);
  if (record.mPayloadBytes > 0)
    std::memcpy(mBuffer.data() + at + kJournalRecordHead, payload, record.mPayloadBytes);
  const uint64_t payloadAt = mEnd + kJournalRecordHead;
  mEnd += total;
  return payloadAt;
}

// A failed write keeps the records in memory: the next attempt writes them
// again over whatever part reached the file.
void FBL_Journal::WriteBuffer() {
  if (mWritten == mEnd) return;
  const size_t from = static_cast<size_t>(mWritten - mBufferStart);
  mFile->WriteAt(mWritten, mBuffer.data() + from, mBuffer.size() - from);
  mWritten = mEnd;
  if (mBuffer.size() > kKeptBytes) {
    mBuffer.clear();
    mBufferStart = mWritten;
  }
}

void FBL_Journal::Commit() {
  RequireOpen();
  if (!mChanged) return;
  AppendCommit(true);
  if (mEnd > mCheckpointBytes) Checkpoint();
}

void FBL_Journal::AppendCommit(bool syncJournal) {
  if (mSyncs) {
    // Bytes written in place become part of the committed state: they reach
    // the disk first.
    for (Slot& s : mSlots) {
      if (s.mUnsynced && s.mFile) s.mFile->Sync();
      s.mUnsynced = false;
    }
    if (mFolderUnsynced) mEnv.SyncDirectory(mFolder);
    mFolderUnsynced = false;
  }
  FBL_JournalVolumes volumes;
  for (const Slot& s : mSlots) {
    volumes[s.mIndex] = FBL_JournalSlotState{s.mExists, s.mExists ? s.mLength : 0};
  }
  const std::vector<uint8_t> payload = EncodeCommitPayload(volumes);
  FBL_JournalRecord record;
  record.mKind = FBL_JournalKind::kCommit;
  record.mPayloadBytes = kJournalCommitPayload;
  Append(record, payload.data());
  WriteBuffer();
  if (mSyncs && syncJournal) mFile->Sync();
  for (Slot& s : mSlots) {
    s.mCommitted = volumes[s.mIndex];
    if (s.mExists) s.mInPlace = std::max(s.mInPlace, s.mLength);
  }
  mChanged = false;
}

void FBL_Journal::Checkpoint() {
  RequireOpen();
  if (mChanged) throw xFBL_Exception(ERR_ASSERTION_FAIL, "Checkpoint before a commit");
  PlayIntoVolumes();
  StartGeneration();
}

void FBL_Journal::PlayIntoVolumes() {
  // From the checkpoint record on, the next open plays the journal into
  // the volumes whatever their first bytes hold now.
  FBL_JournalRecord record;
  record.mKind = FBL_JournalKind::kCheckpoint;
  Append(record, nullptr);
  WriteBuffer();
  if (mSyncs) mFile->Sync();
  for (Slot& s : mSlots) {
    if (!s.mJournaled || !s.mExists) continue;
    ApplyOverlay(s);
    if (s.mPhysical != s.mLength) {
      s.mFile->SetLength(s.mLength);
      s.mPhysical = s.mLength;
      s.mUnsynced = true;
    }
  }
  if (!mSyncs) return;
  // Every volume's writes start before the first sync waits.
  for (Slot& s : mSlots) {
    if (s.mUnsynced && s.mJournaled && s.mExists) s.mFile->StartSync();
  }
  for (Slot& s : mSlots) {
    if (!s.mUnsynced || !s.mJournaled || !s.mExists) continue;
    s.mFile->Sync();
    s.mUnsynced = false;
  }
}

void FBL_Journal::ApplyOverlay(Slot& slot) {
  if (slot.mOverlay.Empty()) return;
  // Pages changed side by side come from records far apart in the journal:
  // they are gathered into one write of up to kCopyBytes.
  std::vector<uint8_t> buffer;
  uint64_t bufferAt = 0;
  const auto write = [&] {
    if (!buffer.empty()) slot.mFile->WriteAt(bufferAt, buffer.data(), buffer.size());
    buffer.clear();
  };
  slot.mOverlay.ForEach(0, UINT64_MAX, [&](const FBL_JournalOverlay::Piece& p) {
    for (uint64_t at = p.mStart; at < p.mEnd;) {
      if (p.mSource == FBL_JournalOverlay::kZeros) {
        write();
        const uint64_t n = std::min(p.mEnd - at, kZeroBytes);
        slot.mFile->WriteAt(at, Zeros(), n);
        at += n;
        continue;
      }
      if (buffer.size() >= kCopyBytes || at != bufferAt + buffer.size()) write();
      if (buffer.empty()) bufferAt = at;
      const uint64_t n = std::min(p.mEnd - at, kCopyBytes - buffer.size());
      const size_t old = buffer.size();
      buffer.resize(old + n);
      ReadJournal(p.mSource + (at - p.mStart), buffer.data() + old, n);
      at += n;
    }
    slot.mPhysical = std::max(slot.mPhysical, p.mEnd);
  });
  write();
  slot.mUnsynced = true;
  slot.mOverlay.Clear();
}

void FBL_Journal::Finish() {
  RequireOpen();
  if (mChanged) AppendCommit(false);
  if (mEnd > kJournalHeaderBytes) PlayIntoVolumes();
  mFile->Close();
  mFile.reset();
  mFinished = true;
  if (!mEnv.DeleteFile(mPath)) throw xFBL_Exception(errno != 0 ? errno : EIO);
}

void FBL_Journal::CloseFiles() {
  std::exception_ptr first;
  auto close = [&](std::unique_ptr<platform::EnvFile>& file) {
    if (!file) return;
    try {
      file->Close();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
    file.reset();
  };
  close(mFile);
  for (Slot& s : mSlots) close(s.mFile);
  mFinished = true;
  if (first) std::rethrow_exception(first);
}

void FBL_Journal::SetSyncs(bool on) {
  const bool was = mSyncs;
  mSyncs = on;
  if (on && !was && mFile && !mFinished) SyncEverything();
}

void FBL_Journal::SyncEverything() {
  WriteBuffer();
  mFile->Sync();
  for (Slot& s : mSlots) {
    if (s.mFile) s.mFile->Sync();
    s.mUnsynced = false;
  }
  mEnv.SyncDirectory(mFolder);
  mFolderUnsynced = false;
}

// ---- the volumes' files ----------------------------------------------------------

void FBL_Journal::OpenSlot(int slot, bool create) {
  RequireOpen();
  Slot& s = mSlots[static_cast<size_t>(slot)];
  if (!create) {
    if (!s.mExists) throw xFBL_Exception(ENOENT);
    return;
  }
  if (s.mCommitted.mExists) {
    // A committed volume made anew (a damaged index volume replaced at
    // open): it is cut to nothing within the transaction, so a crash before
    // the commit leaves the volume as it was.
    if (!s.mExists) throw xFBL_Exception(ERR_ASSERTION_FAIL, "A committed volume went missing");
    SetLength(slot, 0);
    return;
  }
  mChanged = true;
  if (s.mExists) {  // made since the last commit: all of it is written in place
    s.mFile->SetLength(0);
  } else {
    s.mFile = mEnv.CreateFile(s.mPath);
    s.mExists = true;
    mFolderUnsynced = true;
  }
  s.mLength = s.mPhysical = s.mInPlace = 0;
  s.mUnsynced = true;
  s.mOverlay.Clear();
}

bool FBL_Journal::DeleteSlot(int slot) {
  RequireOpen();
  Slot& s = mSlots[static_cast<size_t>(slot)];
  if (!s.mExists || s.mCommitted.mExists) return false;
  s.mFile.reset();
  const bool deleted = mEnv.DeleteFile(s.mPath);
  s.mExists = false;
  s.mLength = s.mPhysical = s.mInPlace = 0;
  s.mUnsynced = false;
  s.mOverlay.Clear();
  mFolderUnsynced = true;
  mChanged = true;
  return deleted;
}

void FBL_Journal::ReadJournal(uint64_t at, uint8_t* out, uint64_t n) {
  if (at < mBufferStart) {
    const uint64_t part = std::min(n, mBufferStart - at);
    if (mFile->ReadAt(at, out, part) < part) throw xFBL_DataFileError("The journal is truncated");
    at += part;
    out += part;
    n -= part;
  }
  if (n == 0) return;
  if (at - mBufferStart + n > mBuffer.size())
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "Read past the journal's end");
  std::memcpy(out, mBuffer.data() + (at - mBufferStart), n);
}

size_t FBL_Journal::Read(int slot, uint64_t offset, void* buffer, size_t n) {
  Slot& s = At(slot);
  if (offset >= s.mLength) return 0;
  n = static_cast<size_t>(std::min<uint64_t>(n, s.mLength - offset));
  auto* out = static_cast<uint8_t*>(buffer);
  size_t got = 0;
  if (offset < s.mPhysical) {
    got = s.mFile->ReadAt(offset, out, static_cast<size_t>(std::min<uint64_t>(n, s.mPhysical - offset)));
  }
  std::memset(out + got, 0, n - got);
  s.mOverlay.ForEach(offset, offset + n, [&](const FBL_JournalOverlay::Piece& p) {
    uint8_t* to = out + (p.mStart - offset);
    if (p.mSource == FBL_JournalOverlay::kZeros) {
      std::memset(to, 0, p.mEnd - p.mStart);
    } else {
      ReadJournal(p.mSource, to, p.mEnd - p.mStart);
    }
  });
  return n;
}

void FBL_Journal::Write(int slot, uint64_t offset, const void* buffer, size_t n) {
  Slot& s = At(slot);
  if (n == 0) return;
  if (offset > kJournalMaxOffset || n > kJournalMaxOffset - offset) throw xFBL_Exception(EFBIG);
  const auto* in = static_cast<const uint8_t*>(buffer);
  const uint64_t end = offset + n;
  mChanged = true;
  if (offset > s.mLength) ZeroGap(s, s.mLength, offset);
  // Below the boundary the bytes belong to the base or a committed state:
  // they go to the journal. Above it they are written in place.
  const uint64_t split = std::clamp(s.mInPlace, offset, end);
  for (uint64_t at = offset; at < split;) {
    FBL_JournalRecord record;
    record.mSlot = s.mIndex;
    record.mOffset = at;
    record.mLength = std::min<uint64_t>(split - at, kJournalMaxPayload);
    record.mPayloadBytes = static_cast<uint32_t>(record.mLength);
    const uint64_t source = Append(record, in + (at - offset));
    s.mOverlay.Put(at, at + record.mLength, source);
    at += record.mLength;
  }
  if (split < end) {
    s.mFile->WriteAt(split, in + (split - offset), end - split);
    s.mPhysical = std::max(s.mPhysical, end);
    s.mUnsynced = true;
  }
  s.mLength = std::max(s.mLength, end);
}

void FBL_Journal::SetLength(int slot, uint64_t length) {
  Slot& s = At(slot);
  if (length > kJournalMaxOffset) throw xFBL_Exception(EFBIG);
  if (length == s.mLength) return;
  mChanged = true;
  if (length > s.mLength) {
    ZeroGap(s, s.mLength, length);
  } else {
    s.mOverlay.Cut(length);
    CutInPlace(s, std::max(length, s.mInPlace));
  }
  s.mLength = length;
}

// Bytes from `from` to `to` are new to the volume and read as zeros: below
// the boundary the journal says so (the disk may hold older bytes there),
// above it the file is cut so that it holds nothing stale.
void FBL_Journal::ZeroGap(Slot& slot, uint64_t from, uint64_t to) {
  const uint64_t zeroEnd = std::min(to, slot.mInPlace);
  if (from < zeroEnd) {
    FBL_JournalRecord record;
    record.mKind = FBL_JournalKind::kZero;
    record.mSlot = slot.mIndex;
    record.mOffset = from;
    record.mLength = zeroEnd - from;
    Append(record, nullptr);
    slot.mOverlay.Put(from, zeroEnd, FBL_JournalOverlay::kZeros);
  }
  CutInPlace(slot, std::max(from, slot.mInPlace));
}

void FBL_Journal::CutInPlace(Slot& slot, uint64_t keep) {
  if (slot.mPhysical <= keep) return;
  slot.mFile->SetLength(keep);
  slot.mPhysical = keep;
  slot.mUnsynced = true;
}

void FBL_Journal::Sync(int slot) {
  Slot& s = At(slot);
  WriteBuffer();
  if (!mSyncs) return;
  mFile->Sync();
  s.mFile->Sync();
  s.mUnsynced = false;
}
