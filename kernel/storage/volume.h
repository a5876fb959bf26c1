// FBL_DataFile: a volume, the OS file that holds a database's embedded
// files as chains of segments (layout in volume_format.h).
//
// Lifecycle:
//   closed --CreateVolume--> closed (a fresh volume on disk)
//   closed --Open--> open: header read and checked, open flag set to 1 on
//     disk (not for read-only files), table of files loaded (converted from
//     20-byte entries first for an old format); when the flag was already 1
//     the previous run was interrupted and its temporary files are deleted.
//   open --FinishWrites--> open, finished: every registered embedded file
//     and the table are flushed, then the open flag is cleared; the last
//     Close does the same for a volume not finished yet, then closes.
// Invariants while open: the decoded header matches the disk except while a
// volume operation runs; every segment number used has been checked against
// the segment count, and every chain walk is bounded by it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "kernel/storage/file_win.h"
#include "kernel/storage/volume_format.h"

class FBL_DataFile;
class FBL_EmbededFile;
class FBL_FilesTableEmb;

// What a volume asks of the database that owns it.
class FBL_VolumeOwner {
 public:
  virtual ~FBL_VolumeOwner() = default;
  // The volume for index files; when that one is read-only and forWriting
  // is set, a writable temporary one.
  virtual FBL_DataFile* GetIndexVolume(bool forWriting) = 0;
  // A file was destroyed with changes it could not write: the database
  // must not commit what is left as a whole.
  virtual void NoteLostChanges() {}
};

class FBL_DataFile : public FBL_FileWin {
 public:
  explicit FBL_DataFile(const std::string& path, platform::Env* env = nullptr);
  ~FBL_DataFile() override;

  void Open() override;
  void Close() override;
  int32_t GetCachePageLimit(uint64_t offset) override;
  // Both keep track of the segments known to hold zeros (mFreshFrom).
  uint64_t WriteAt(const void* buffer, uint64_t offset, uint64_t count) override;
  void SetLength(uint64_t length) override;

  // Creates the volume file and leaves it closed. segmentSize is rounded
  // down to whole kilobytes within 1 KB..64 KB.
  virtual void CreateVolume(uint32_t segmentSize, uint32_t storageMode, FBL_ByteOrder byteOrder);
  // Moves the last segments into free ones and shortens the file.
  virtual void Compact();
  // Writes back every open embedded file of the volume and its table of
  // files and segment map.
  void FlushFiles();
  // The last writes of a close: FlushFiles, then the open flag is cleared.
  // The volume stays open.
  void FinishWrites();
  virtual void VolumeHook() {}

  const FBL_VolumeHeader& GetHeader() const { return mHeader; }
  bool IsSwapped() const { return mSwap; }
  bool WasOpen() const { return mWasOpen; }
  uint32_t GetSegmentSize() const { return mHeader.mSegmentSize; }
  // Segments the file holds now (map segments included).
  uint32_t GetSegmentCount();
  // Rewrites the header's fields that belong to the database (schema
  // version, storage mode, key check words, structure flag).
  void SetSchemaVersion(uint16_t version);
  // Rewrites the format version (the low half of the version word). Below
  // 394 the table of files is marked as converted: its entries stay 24
  // bytes wide.
  void SetFormatVersion(uint16_t format);
  void SetKeyCheck(uint32_t word1, uint32_t word2);
  void SetStructureEncrypted(bool on);
  FBL_FilesTableEmb& GetFilesTable() { return *mTable; }
  // The owning database, or null. Not owned.
  FBL_VolumeOwner* GetOwner() const { return mOwner; }
  void SetOwner(FBL_VolumeOwner* owner) { mOwner = owner; }
  // Entries of the table of files, entry 0 first.
  std::vector<FBL_FileEntry> ReadFileTable();

  // ---- operations of embedded files -------------------------------------
  void Register(FBL_EmbededFile* file);
  void Unregister(FBL_EmbededFile* file);
  // The file holds something its Flush must write (FBL_File::NoteUnflushed):
  // FlushFiles visits it. Listed once until then.
  void ListForFlush(FBL_EmbededFile* file);
  // Places the file: a free entry, one segment.
  void AddFile(FBL_EmbededFile& file);
  // Frees the file's segments and entry.
  void RemoveFile(FBL_EmbededFile& file);
  // Index of the live entry with this identity, or -1; entry receives it.
  int32_t FindFile(uint64_t id, FBL_FileEntry* entry);
  // Sets the file's length; with zeroFill the grown bytes are written as
  // zeros.
  void ResizeFile(FBL_EmbededFile& file, uint64_t length, bool zeroFill);
  uint64_t ReadFileData(FBL_EmbededFile& file, void* buffer, uint64_t offset, uint64_t count);
  uint64_t WriteFileData(FBL_EmbededFile& file, const void* buffer, uint64_t offset,
                         uint64_t count);
  // The k-th segment (from 1) of the file's chain.
  uint32_t GetSegment(FBL_EmbededFile& file, uint32_t k);
  // First segment from `from` on whose link is value, or 0.
  uint32_t FindLink(uint32_t value, uint32_t from);
  // Gives `first` the link newLink and frees the rest of its chain, at most
  // count segments in all (first included): segments past a file's count
  // may belong to another chain in a damaged volume, so they are left alone.
  void FreeChain(uint32_t first, uint32_t newLink, uint32_t count = kLastSegment);
  void AddSegments(FBL_EmbededFile& file, uint32_t count, bool zeroFill);
  void AddMapSegment();
  void MoveSegment(uint32_t from, uint32_t to, bool zeroOld, uint32_t newLink);
  void TrimTail();
  uint32_t GetLink(uint32_t segment);
  void SetLink(uint32_t segment, uint32_t value);

 private:
  [[noreturn]] void Corrupt(const char* what) const;
  void AbortOpen();
  void CheckTableEntry(const FBL_FileEntry& self, uint32_t entryBytes);
  void ZeroSegment(uint32_t segment);
  void ReadHeader();
  void CheckHeader();
  void WriteHeader();
  void WriteOpenFlag(uint32_t value);
  void LoadFilesTable();
  void ConvertFilesTable();
  void RemoveTemporaryFiles();
  void FlushStructures();
  // After a change to the placement of the file entry describes. Changes
  // to a temporary table's files wait for the next commit, which flushes
  // the structures anyway: such tables live in databases (journaled), a
  // cursor's result table comes and goes per query, and an interrupted
  // run's temporary files are removed at open.
  void FlushStructuresAfter(const FBL_FileEntry& entry) {
    if (!entry.IsOfTemporaryTable()) FlushStructures();
  }
  uint32_t MapCapacity() const;
  uint64_t SegmentOffset(uint32_t segment) const;
  void CheckDataSegment(uint32_t segment);
  void CheckEntry(const FBL_FileEntry& entry);
  void CheckChain(const FBL_FileEntry& entry);
  FBL_FileEntry ReadEntry(uint32_t index);
  void WriteEntry(uint32_t index, const FBL_FileEntry& entry);
  uint32_t EntryCount();
  void RemoveEntry(uint32_t index);
  uint64_t Transfer(FBL_EmbededFile& file, void* buffer, uint64_t offset, uint64_t count,
                    bool write);
  void WriteZeros(FBL_EmbededFile& file, uint64_t from, uint64_t to);
  uint32_t SegmentLimit();
  // The lowest free segment; with extend the file grows to hold it.
  uint32_t TakeFreeSegment(bool extend);
  void GrowChain(FBL_EmbededFile& file, uint32_t count, bool zeroFill);

  friend class FBL_EmbededFile;
  FBL_VolumeHeader mHeader;
  bool mSwap = false;
  bool mWasOpen = false;
  std::unique_ptr<FBL_FilesTableEmb> mTable;
  std::vector<FBL_EmbededFile*> mOpenFiles;
  // Registered files that may have something to flush; a commit visits
  // these rather than every file of a large schema.
  std::vector<FBL_EmbededFile*> mToFlush;
  FBL_VolumeOwner* mOwner = nullptr;
  uint32_t mLowestFree = 0;
  // Every segment from this one to the end holds zeros: the file grew over
  // it and nothing was written there since (kLastSegment: none known).
  // Zeroing such a segment for a new file writes nothing.
  uint32_t mFreshFrom = kLastSegment;
  // Segments added beyond the one wanted when a new file needs the volume
  // to grow: a journaled volume then rarely changes length at a commit, and
  // bytes written below its committed length need no sync of their own.
  uint32_t GrowthSlack();
  // Bytes per table entry: 20 only for an older volume opened read-only.
  uint32_t mEntryBytes = kFileEntryBytes;  // no free segment lies below this one
  // The entry of each file id, so that a lookup does not read the whole
  // table: built by the first FindFile after the table is loaded, added to
  // by WriteEntry; a mapping found stale makes FindFile build it again.
  std::unordered_map<uint64_t, uint32_t> mEntryOfId;
  bool mEntryOfIdReady = false;
  void IndexEntries();
  // No free entry of the table of files lies below this one: AddFile need
  // not read the entries of every file made before.
  uint32_t mFirstFreeEntry = 1;
  void ForgetEntryIndex() {
    mEntryOfId.clear();
    mEntryOfIdReady = false;
    mFirstFreeEntry = 1;
  }
};
