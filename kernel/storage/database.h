// FBL_DataBase: the set of volumes one database consists of.
//
// A database at path P is P.vdb (the structure, always there) and, by its
// storage mode, P.dat (records), P.ind (indexes) and P.blb (BLOBs); the
// mode, kept at offset 24 of every volume header, says which of the four
// files hold each kind of data:
//
//   mode  records  indexes  BLOBs          mode  records  indexes  BLOBs
//    1    .vdb     .vdb     .vdb            5    .vdb     .ind     .vdb
//    2    .dat     .dat     .dat            6    .vdb     .ind     .blb
//    3    .dat     .ind     .dat            7    .vdb     .vdb     .blb
//    4    .dat     .ind     .blb            8    .dat     .dat     .blb
//
// Lifecycle: closed -> Create or Open -> open -> Close -> closed. The .blb
// volume is made on the first BLOB write; a temporary index volume exists
// from the first index write into a read-only .ind until Close. The object
// layer derives from this class and fills in the hooks (open, structure
// load and save, ClearFiles).
//
// Durability: a writable database keeps a journal beside its volumes
// ("P.jnl", kernel/storage/journal.h). Create, Open, each Flush and Close
// end in a commit: after a crash, a power loss or an I/O error at any point,
// the next open finds the database as the last of them left it. Open first
// plays back what an interrupted run committed; a read-only open of such a
// database raises 301. A change that a file had to drop after a write error
// makes every later Flush and Close raise 301 without committing, so that
// the next open returns to the last flush.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/storage/date_settings.h"
#include "kernel/storage/encryption_key.h"
#include "kernel/storage/volume.h"

class FBL_DataBaseFile;
class FBL_Journal;
struct FBL_JournalPaths;

// Something that keeps changes in memory beyond the page cache (a table's
// record map header, its columns' windows) and writes them at a flush.
class FBL_FlushClient {
 public:
  virtual ~FBL_FlushClient() = default;
  virtual void FlushBuffers() = 0;
};

namespace platform {
class Env;
}

inline constexpr uint32_t kDefaultStorageMode = 4;
inline constexpr uint32_t kDefaultSegmentSize = 32768;
// The structure volume of modes that keep nothing else in it.
inline constexpr uint32_t kStructureOnlySegmentSize = 4096;

class FBL_DataBase : public FBL_VolumeOwner {
 public:
  // env: where the volumes live; null for the process's default.
  explicit FBL_DataBase(platform::Env* env = nullptr);
  ~FBL_DataBase() override;
  FBL_DataBase(const FBL_DataBase&) = delete;
  FBL_DataBase& operator=(const FBL_DataBase&) = delete;

  // The structure volume's file name and path; empty when closed.
  virtual std::string GetName() const;
  virtual const std::string& GetPath() const;
  // The user's schema version (0 when closed); setting it rewrites every
  // volume header.
  virtual uint16_t GetSchemaVersion() const;
  virtual void SetSchemaVersion(uint16_t version);
  // Raise 306 before kernel start-up. A mode of 0 or above 8 becomes 4.
  virtual void Create(const std::string& path, uint32_t segmentSize, uint32_t mode,
                      FBL_ByteOrder byteOrder);
  // A format too new raises 320, one that cannot be converted 321, an
  // encrypted structure without its cipher 328, a wrong key 325, a storage
  // mode above 8 301, a missing record volume 322: all before OnOpen runs.
  // A missing or damaged index volume is made anew (its indexes are built
  // when their tables open); a missing .blb stays missing until written.
  virtual void Open(const std::string& path, const FBL_EncryptionKeyRef& key);
  virtual void Close();
  virtual void ReservedHook() {}
  // Destroys the owned files; the object layer closes its own objects too.
  virtual void ClearFiles();
  // A structure of an older format goes through ConvertStructure.
  virtual void LoadStructure();
  // Writes every flush client's buffers, the structure and every dirty
  // block of the database's files, then commits them as one.
  virtual void Flush();

  FBL_DataFile* GetStructureVolume() const { return mStructure.get(); }
  FBL_DataFile* GetRecordVolume() const { return mRecord; }
  // Makes the .blb volume on first use.
  virtual FBL_DataFile* GetBlobVolume();
  FBL_DataFile* GetIndexVolume(bool forWriting) override;

  virtual void WriteStructureStream() {}
  virtual void ReadStructureStream() {}
  // Compacts each distinct volume once.
  virtual void CompactVolumes();
  virtual void CompactAll();

  bool IsOpen() const { return mStructure != nullptr; }
  bool IsReadOnly() const { return mReadOnly; }
  uint32_t GetStorageMode() const;
  // The format version of this database's structure (400 for a current
  // one, an older one until the object layer converts it); 0 when closed.
  uint16_t GetStructureVersion() const;

  // How this database's dates and times read and form as text; the object
  // layer loads and saves them with the schema. The defaults until set.
  const FBL_DateSettings& GetDateSettings() const { return mDateSettings; }
  void SetDateSettings(const FBL_DateSettings& settings) { mDateSettings = settings; }

  // True when the key's check words match every volume that keeps them.
  bool CheckKey(const FBL_EncryptionKeyRef& key);
  // Stores newKey's check words (0 and 0 for none) when oldKey checks;
  // re-encrypting the files is the caller's work.
  bool ChangeKey(const FBL_EncryptionKeyRef& oldKey, const FBL_EncryptionKeyRef& newKey);
  // Set by the object layer when the user gives a structure key.
  void SetStructureCipher(FBL_EncryptionRef cipher) { mStructureCipher = std::move(cipher); }
  const FBL_EncryptionRef& GetStructureCipher() const { return mStructureCipher; }
  // The key the database was opened with or last changed to (null: none);
  // files made later (indexes) are enciphered with it.
  const FBL_EncryptionKeyRef& GetEncryptionKey() const { return mKey; }

  // Takes ownership of a kernel file that lives as long as the database is open.
  FBL_DataBaseFile& AdoptFile(std::unique_ptr<FBL_DataBaseFile> file);

  // Not owned; a client removes itself before it is destroyed.
  void AddFlushClient(FBL_FlushClient* client);
  void RemoveFlushClient(FBL_FlushClient* client);
  void NoteLostChanges() override { mLostChanges = true; }

  // While a hold is on, Flush and CommitWrites only note that they were
  // asked: a change made of several steps (a table and its fields) reaches
  // the disk as one commit, whole or absent across a crash. Holds nest;
  // the last release does what was asked meanwhile when commit is set.
  void HoldCommits() { ++mCommitHolds; }
  void ReleaseCommits(bool commit);

  // For bulk loads: commits without syncs (a process crash still finds the
  // last flush whole, a power loss may not). Off by default; turning it off
  // syncs everything at once.
  void SetBulkLoad(bool on);
  bool IsBulkLoad() const { return mBulkLoad; }
  // The journal of an open writable database, else null.
  FBL_Journal* GetJournal() const { return mJournal.get(); }

 protected:
  // Object-layer hooks: after the volumes are open (newDatabase on Create),
  // and the save of the structure that Flush performs.
  virtual void OnOpen(bool /*newDatabase*/) {}
  virtual void SaveStructure() {}
  // Converters for databases of older formats; none exist in the kernel.
  virtual void ConvertStructure(uint16_t formatVersion);

  // Rewrites the header of every volume with the format being written
  // (400 unless a converter of the layer above says otherwise while it
  // works) and the schema version.
  void RewriteHeaders();
  void SetWrittenFormat(uint16_t format) { mWrittenFormat = format; }
  uint16_t GetWrittenFormat() const { return mWrittenFormat; }
  // Writes back every dirty block of both caches, then flushes each
  // writable volume (nothing for a read-only database).
  void FlushEverything();
  // The commit point of what the caller has written: the volume headers,
  // every volume's files, then the journal's commit. Flush is the buffers
  // of every table and the structure, then this.
  void CommitWrites();

 private:
  struct Names {
    std::string vdb, dat, ind, blb, jnl;
  };
  Names MakeNames(const std::string& path) const;
  FBL_JournalPaths JournalPaths(const Names& names) const;
  void RequireKernel() const;
  // The env the database's volumes live in: the journal's while there is one.
  platform::Env& VolumeEnv() const;
  std::unique_ptr<FBL_DataFile> NewVolume(const std::string& path) const;
  void DeleteIfExists(const std::string& path) const;
  // Plays back or drops a journal an earlier run left.
  void ResolveJournal(const Names& names, bool writable);
  void StartJournal(const Names& names);
  // The volumes as they are now become the journal's committed base.
  void SettleJournal();
  // After a failed create or open: releases the volumes, and the journal
  // returns them to what they were.
  void AbandonJournal(const Names& names);
  void RequireWhole() const;
  void FinishVolumes();
  void AttachVolumes(const Names& names, uint32_t mode, bool create, uint32_t segmentSize,
                     FBL_ByteOrder byteOrder);
  void OpenIndexVolume(const std::string& path, uint32_t mode, FBL_ByteOrder order);
  void CheckKeyOrThrow(const FBL_EncryptionKeyRef& key);
  void CheckFormatVersion() const;
  // Every distinct volume, structure first.
  std::vector<FBL_DataFile*> Volumes() const;
  bool BlobFileExists() const;
  // Closes every volume and the journal; reports the first error when
  // report is set.
  void ReleaseVolumes(bool report = false);

  platform::Env* mEnv;
  std::unique_ptr<FBL_Journal> mJournal;
  std::vector<FBL_FlushClient*> mFlushClients;
  bool mLostChanges = false;
  bool mBulkLoad = false;
  uint32_t mCommitHolds = 0;
  bool mHeldFlush = false;
  bool mHeldCommit = false;
  std::vector<std::unique_ptr<FBL_DataBaseFile>> mFiles;
  std::unique_ptr<FBL_DataFile> mStructure;
  // Volumes the mode adds; the pointers below alias them or the structure.
  std::unique_ptr<FBL_DataFile> mDat, mInd, mBlb, mTempIndex;
  FBL_DataFile* mRecord = nullptr;
  FBL_DataFile* mBlob = nullptr;
  FBL_DataFile* mIndex = nullptr;
  bool mBlobReady = false;
  bool mReadOnly = false;
  FBL_DateSettings mDateSettings = FBL_DateSettings::Defaults();
  FBL_EncryptionRef mStructureCipher;
  FBL_EncryptionKeyRef mKey;
  uint16_t mWrittenFormat = 400;
};

// The file of the set (".vdb", ".dat", ".ind" or ".blb") that holds each
// kind of data in a storage mode (0 and modes above 8 read as 4).
struct FBL_StorageLayout {
  const char* records;
  const char* indexes;
  const char* blobs;
};
namespace zv {

FBL_StorageLayout StorageLayoutOf(uint32_t mode);

// The two 31-bit words that identify a key without revealing it; blanks and
// tabs in the key do not count. A null key gives 0 and 0.
void KeyCheckWords(const FBL_EncryptionKey* key, uint32_t& word1, uint32_t& word2);

}  // namespace zv
