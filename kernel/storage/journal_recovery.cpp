#include "kernel/storage/journal_recovery.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <memory>
#include <vector>

#include "platform/errors.h"

namespace {

using platform::EnvFile;
using platform::OpenMode;

// What a journal file holds, as far as its records check.
struct Scan {
  FBL_JournalHeader mHeader;
  bool mValid = false;
  bool mCheckpointed = false;
  bool mCommitted = false;
  uint64_t mCommittedEnd = kJournalHeaderBytes;  // end of the last commit record
  uint32_t mCommittedCheck = 0;                  // check of that record
  FBL_JournalVolumes mTarget;                    // the last commit's volumes
  std::array<bool, kJournalSlots> mWritten{};    // slots with records before it
};

using RecordFn = std::function<void(const FBL_JournalRecord&, const std::vector<uint8_t>&,
                                    uint64_t end, uint32_t check)>;

// Calls f for each record in [header end, limit) whose check holds, in
// order; stops at the first that does not.
void ReadRecords(EnvFile& file, const FBL_JournalHeader& header, uint64_t limit,
                 const RecordFn& f) {
  uint64_t at = kJournalHeaderBytes;
  uint32_t check = header.FirstCheck();
  std::vector<uint8_t> payload;
  uint8_t head[kJournalRecordHead];
  while (at + kJournalRecordHead <= limit) {
    FBL_JournalRecord record;
    if (file.ReadAt(at, head, sizeof head) < sizeof head) return;
    if (!FBL_JournalRecord::DecodeHead(head, record)) return;
    const uint64_t end = at + kJournalRecordHead + record.mPayloadBytes;
    if (end > limit) return;
    payload.resize(record.mPayloadBytes);
    if (record.mPayloadBytes > 0 &&
        file.ReadAt(at + kJournalRecordHead, payload.data(), payload.size()) < payload.size())
      return;
    const uint32_t next = FBL_JournalRecord::Check(head, payload.data(), check);
    if (next != FBL_JournalRecord::StoredCheck(head)) return;
    check = next;
    f(record, payload, end, check);
    at = end;
  }
}

Scan ScanJournal(EnvFile& file) {
  Scan scan;
  uint8_t raw[kJournalHeaderBytes];
  if (file.ReadAt(0, raw, sizeof raw) < sizeof raw) return scan;
  if (!FBL_JournalHeader::Decode(raw, scan.mHeader)) return scan;
  scan.mValid = true;
  scan.mTarget = scan.mHeader.BaseVolumes();
  scan.mCommittedCheck = scan.mHeader.FirstCheck();
  std::array<bool, kJournalSlots> written{};
  ReadRecords(file, scan.mHeader, UINT64_MAX,
              [&](const FBL_JournalRecord& r, const std::vector<uint8_t>& payload,
                  uint64_t end, uint32_t check) {
                switch (r.mKind) {
                  case FBL_JournalKind::kData:
                  case FBL_JournalKind::kZero:
                    written[r.mSlot] = true;
                    break;
                  case FBL_JournalKind::kCommit: {
                    FBL_JournalVolumes volumes;
                    if (!DecodeCommitPayload(payload.data(), volumes)) return;
                    scan.mTarget = volumes;
                    scan.mCommitted = true;
                    scan.mCommittedEnd = end;
                    scan.mCommittedCheck = check;
                    scan.mWritten = written;
                    break;
                  }
                  case FBL_JournalKind::kCheckpoint:
                    scan.mCheckpointed = true;
                    break;
                }
              });
  return scan;
}

// The volumes the generation began with are still what they were.
bool DescribesVolumes(platform::Env& env, const FBL_JournalPaths& paths, const Scan& scan) {
  if (scan.mCheckpointed) return true;
  for (uint32_t i = 0; i < kJournalSlots; ++i) {
    const FBL_JournalHeader::Slot& slot = scan.mHeader.mSlots[i];
    if (!slot.mBase.mExists) continue;
    const std::string& path = paths.mVolumes[i];
    if (path.empty() || !env.FileExists(path)) return false;
    auto file = env.OpenFile(path, OpenMode::kReadOnly);
    uint32_t crc = 0;
    if (!FingerprintOf(*file, slot.mFingerprintBytes, crc) || crc != slot.mFingerprint)
      return false;
  }
  return true;
}

bool NeedsPlayBack(platform::Env& env, const FBL_JournalPaths& paths, const Scan& scan) {
  for (uint32_t i = 0; i < kJournalSlots; ++i) {
    if (scan.mWritten[i] && scan.mTarget[i].mExists) return true;
    const std::string& path = paths.mVolumes[i];
    uint64_t length = 0;
    const bool exists = !path.empty() && env.GetFileSize(path, &length);
    if (exists != scan.mTarget[i].mExists) return true;
    if (exists && length != scan.mTarget[i].mLength) return true;
  }
  return false;
}

// Marks the journal as being played back, after its last commit.
void MarkCheckpoint(EnvFile& file, const Scan& scan) {
  file.SetLength(scan.mCommittedEnd);
  FBL_JournalRecord record;
  record.mKind = FBL_JournalKind::kCheckpoint;
  uint8_t head[kJournalRecordHead];
  record.Encode(head, nullptr, scan.mCommittedCheck);
  file.WriteAt(scan.mCommittedEnd, head, sizeof head);
  file.Sync();
}

class Volumes {
 public:
  Volumes(platform::Env& env, const FBL_JournalPaths& paths) : mEnv(env), mPaths(paths) {}

  EnvFile& At(uint32_t i) {
    if (!mFiles[i]) {
      const std::string& path = mPaths.mVolumes[i];
      if (mEnv.FileExists(path)) {
        mFiles[i] = mEnv.OpenFile(path, OpenMode::kReadWrite);
      } else {
        mFiles[i] = mEnv.CreateFile(path);
        mFolderChanged = true;
      }
    }
    return *mFiles[i];
  }

  void Settle(const FBL_JournalVolumes& target) {
    for (uint32_t i = 0; i < kJournalSlots; ++i) {
      const std::string& path = mPaths.mVolumes[i];
      if (path.empty()) continue;
      uint64_t length = 0;
      const bool exists = mEnv.GetFileSize(path, &length);
      if (target[i].mExists) {
        if (!exists || length != target[i].mLength) At(i).SetLength(target[i].mLength);
        if (mFiles[i]) {
          mFiles[i]->Sync();
          mFiles[i]->Close();
          mFiles[i].reset();
        }
      } else if (exists) {
        mFiles[i].reset();
        if (!mEnv.DeleteFile(path)) throw xFBL_Exception(errno != 0 ? errno : EIO);
        mFolderChanged = true;
      }
    }
    if (mFolderChanged) mEnv.SyncDirectory(FolderOf(mPaths.mJournal));
  }

 private:
  platform::Env& mEnv;
  const FBL_JournalPaths& mPaths;
  std::array<std::unique_ptr<EnvFile>, kJournalSlots> mFiles;
  bool mFolderChanged = false;
};

void WriteZeros(EnvFile& file, uint64_t offset, uint64_t n) {
  static const uint8_t zeros[64 * 1024] = {};
  while (n > 0) {
    const uint64_t piece = std::min<uint64_t>(n, sizeof zeros);
    file.WriteAt(offset, zeros, piece);
    offset += piece;
    n -= piece;
  }
}

void PlayBack(platform::Env& env, const FBL_JournalPaths& paths, EnvFile& journal,
              const Scan& scan) {
  Volumes volumes(env, paths);
  ReadRecords(journal, scan.mHeader, scan.mCommittedEnd,
              [&](const FBL_JournalRecord& r, const std::vector<uint8_t>& payload, uint64_t,
                  uint32_t) {
                if (r.mKind != FBL_JournalKind::kData && r.mKind != FBL_JournalKind::kZero)
                  return;
                if (!scan.mTarget[r.mSlot].mExists || paths.mVolumes[r.mSlot].empty()) return;
                EnvFile& file = volumes.At(r.mSlot);
                if (r.mKind == FBL_JournalKind::kData) {
                  file.WriteAt(r.mOffset, payload.data(), payload.size());
                } else {
                  WriteZeros(file, r.mOffset, r.mLength);
                }
              });
  volumes.Settle(scan.mTarget);
}

void Remove(platform::Env& env, const FBL_JournalPaths& paths,
            std::unique_ptr<EnvFile>& journal) {
  journal->Close();
  journal.reset();
  if (!env.DeleteFile(paths.mJournal)) throw xFBL_Exception(errno != 0 ? errno : EIO);
  env.SyncDirectory(FolderOf(paths.mJournal));
}

}  // namespace

FBL_JournalOutcome RecoverJournal(platform::Env& env, const FBL_JournalPaths& paths,
                                  bool writable) {
  if (!env.FileExists(paths.mJournal)) return FBL_JournalOutcome::kNone;
  const bool canWrite = writable && !env.IsReadOnlyFile(paths.mJournal);
  std::unique_ptr<EnvFile> journal =
      env.OpenFile(paths.mJournal, canWrite ? OpenMode::kReadWrite : OpenMode::kReadOnly);
  const Scan scan = ScanJournal(*journal);
  if (!scan.mValid || !DescribesVolumes(env, paths, scan) || !NeedsPlayBack(env, paths, scan)) {
    if (canWrite) Remove(env, paths, journal);
    return FBL_JournalOutcome::kIgnored;
  }
  if (!canWrite) {
    throw xFBL_DataFileError(
        "The database holds changes of an interrupted run in its journal: open it for writing "
        "to complete them");
  }
  if (!scan.mCheckpointed) MarkCheckpoint(*journal, scan);
  PlayBack(env, paths, *journal, scan);
  Remove(env, paths, journal);
  return FBL_JournalOutcome::kPlayedBack;
}
