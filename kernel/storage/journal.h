// FBL_Journal: makes a flush of a database all or nothing across its
// volumes. The volumes' bytes as of the last checkpoint stay untouched on
// disk; changes to them go to the journal (a redo log, layout in
// journal_format.h) and reach the volumes when the journal is played into
// them. Bytes a volume did not have when last committed are written in
// place (they belong to no committed state), and the volume is synced
// before the commit that makes them part of one.
//
// Lifecycle:
//   Begin: the volumes as they are on disk become the base of generation 1;
//     the journal file is created (replacing any old one).
//   writing: volumes opened through GetEnv() read through the journal and
//     write into it; Commit appends a commit record and syncs (the commit
//     point of a flush).
//   Checkpoint (after a commit, when the journal has grown or on request):
//     a checkpoint record, then the newest journalled bytes go into the
//     volumes, which are synced and become the base of the next generation.
//   Finish: commit and checkpoint with one sync of the journal, the
//     journal is played into the volumes and removed; nothing more may be
//     written. Its removal need not be durable: played back again, the
//     journal gives the volumes the bytes they hold.
// Destruction without Finish leaves the journal for the next open, which
// plays its committed part into the volumes (journal_recovery.h).
//
// Invariants, per volume: every byte below the in-place boundary (which
// never decreases within a generation) that differs from the base is in
// the overlay; every range in the overlay lies below the boundary; the
// boundary is at least the base length and every committed length.
// Threads: one at a time (kernel/storage/sync_objects.h).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/storage/journal_format.h"
#include "kernel/storage/journal_overlay.h"
#include "platform/env.h"

class FBL_JournalEnv;

// The files of one database: its volumes (structure, records, indexes,
// BLOBs; empty for one the storage mode does not use) and its journal.
struct FBL_JournalPaths {
  std::array<std::string, kJournalSlots> mVolumes;
  std::string mJournal;
};

class FBL_Journal {
 public:
  // A journal that grows past this many bytes is played into the volumes
  // at the next commit.
  static constexpr uint64_t kDefaultCheckpointBytes = 4u << 20;

  // REQUIRES: env outlives the journal; paths are full paths.
  FBL_Journal(platform::Env& env, const FBL_JournalPaths& paths);
  ~FBL_Journal();
  FBL_Journal(const FBL_Journal&) = delete;
  FBL_Journal& operator=(const FBL_Journal&) = delete;

  void Begin();
  // The env the database opens its volumes through. Owned by the journal.
  platform::Env& GetEnv();
  // Makes everything written so far the committed state. Does nothing when
  // nothing changed since the last commit.
  void Commit();
  // REQUIRES: nothing written since the last commit.
  void Checkpoint();
  void Finish();
  // Closes the journal and the volumes' files; reports the first error.
  void CloseFiles();

  // Off: no syncs (a process crash still finds each flush whole, a power
  // loss may not). Turning syncs on again syncs every file at once.
  void SetSyncs(bool on);
  bool GetSyncs() const { return mSyncs; }
  void SetCheckpointBytes(uint64_t bytes) { mCheckpointBytes = bytes; }
  // Bytes of the journal file now.
  uint64_t GetSize() const { return mEnd; }
  bool HasChanges() const { return mChanged; }

  // ---- the volumes' files (for FBL_JournalEnv) --------------------------
  // The volume slot of a full path, or -1.
  int SlotOf(const std::string& path) const;
  // False for a read-only volume, which is read in place and never written.
  bool IsJournaled(int slot) const { return mSlots[slot].mJournaled; }
  bool Exists(int slot) const { return mSlots[slot].mExists; }
  uint64_t Length(int slot) const { return mSlots[slot].mLength; }
  // Readies the slot's volume for a file; with create the volume is made
  // (or emptied when it was made since the last commit). ENOENT when there
  // is no volume.
  void OpenSlot(int slot, bool create);
  // False when the volume existed at the last commit.
  bool DeleteSlot(int slot);
  size_t Read(int slot, uint64_t offset, void* buffer, size_t n);
  void Write(int slot, uint64_t offset, const void* buffer, size_t n);
  void SetLength(int slot, uint64_t length);
  // Syncs the journal and the volume's file, committing nothing.
  void Sync(int slot);

 private:
  struct Slot {
    uint32_t mIndex = 0;
    std::string mPath;
    std::unique_ptr<platform::EnvFile> mFile;  // read-write while the volume exists
    bool mJournaled = true;
    bool mExists = false;
    FBL_JournalSlotState mCommitted;
    uint64_t mLength = 0;    // as the database sees it
    uint64_t mPhysical = 0;  // the file's own length
    uint64_t mInPlace = 0;   // the in-place boundary
    bool mUnsynced = false;  // written in place since the last sync
    FBL_JournalOverlay mOverlay;
  };

  void RequireOpen() const;
  // The slot of an open file: its volume exists.
  Slot& At(int slot);
  void StartGeneration();
  FBL_JournalHeader::Slot Describe(Slot& slot);
  // Returns where the payload lies in the journal.
  uint64_t Append(const FBL_JournalRecord& record, const uint8_t* payload);
  // Writes the records gathered in memory to the journal file.
  void WriteBuffer();
  void ZeroGap(Slot& slot, uint64_t from, uint64_t to);
  void CutInPlace(Slot& slot, uint64_t keep);
  void ReadJournal(uint64_t at, uint8_t* out, uint64_t n);
  // Commit without the auto-checkpoint; with syncJournal unset, the next
  // sync of the journal makes it durable.
  void AppendCommit(bool syncJournal);
  // The checkpoint record, synced, then the overlays go into the volumes,
  // which are synced.
  void PlayIntoVolumes();
  void ApplyOverlay(Slot& slot);
  void SyncEverything();

  platform::Env& mEnv;
  std::unique_ptr<FBL_JournalEnv> mJournalEnv;
  std::string mPath;
  std::string mFolder;
  std::array<Slot, kJournalSlots> mSlots;
  std::unique_ptr<platform::EnvFile> mFile;
  uint64_t mGeneration = 0;
  uint64_t mEnd = 0;         // where the next record goes
  // The journal's bytes from mBufferStart on: records not written to the
  // file yet (from mWritten on; appends gather here so that a flush writes
  // the journal in few calls) and, before them, written ones kept for reads.
  std::vector<uint8_t> mBuffer;
  uint64_t mBufferStart = 0;
  uint64_t mWritten = 0;
  uint32_t mCheck = 0;       // check of the last record
  bool mChanged = false;     // written since the last commit
  bool mFolderUnsynced = false;
  bool mFinished = false;
  bool mSyncs = true;
  uint64_t mCheckpointBytes = kDefaultCheckpointBytes;
};

// The folder part of a path ("." when there is none).
std::string FolderOf(const std::string& path);
// CRC-32 of a file's first n bytes; false when it has fewer.
bool FingerprintOf(platform::EnvFile& file, uint32_t n, uint32_t& crc);
