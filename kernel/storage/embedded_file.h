// FBL_EmbededFile: a logical file stored as a chain of segments inside a
// volume (FBL_DataFile), known by its 64-bit identity (owner id, kind,
// sub-index) and described by its entry in the volume's table of files.
//
// Lifecycle: constructed unplaced (index -1) and registered with its
// volume. Create places an entry (allocating one segment); Open opens the
// volume too and loads the entry, checking its chain; the last Close closes
// the volume again; Remove frees the segments and the entry. Destruction
// flushes and unregisters. While open, the in-memory length may run ahead
// of the entry's: cached writes reach the entry when they are written back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernel/storage/file.h"
#include "kernel/storage/volume_format.h"

class FBL_DataFile;

class FBL_EmbededFile : public FBL_File {
 public:
  // REQUIRES: volume outlives the file, or is destroyed first (the file is
  // then detached and raises 307 when used).
  FBL_EmbededFile(FBL_DataFile& volume, uint32_t ownerId, uint16_t kind, uint16_t subIndex);
  ~FBL_EmbededFile() override;

  void Remove() override;
  // Copies every byte of this file into to, which takes its length; both
  // are open.
  void CopyBytesTo(FBL_EmbededFile& to);
  // Opens nothing (and counts nothing) for a file without an entry.
  void Open() override;
  void Close() override;
  // Raw transfers through the segment chain; the file must be open (307).
  uint64_t ReadAt(void* buffer, uint64_t offset, uint64_t count) override;
  uint64_t WriteAt(const void* buffer, uint64_t offset, uint64_t count) override;
  // Grown bytes read as zeros. A file with an encryptor changes length in
  // whole 1024-byte units.
  void SetLength(uint64_t length) override;
  uint64_t GetLength() override;
  void Reset() override;

  virtual uint64_t GetId() const { return FBL_FileEntry::MakeId(mOwnerId, mKind, mSubIndex); }
  uint16_t GetKind() const { return mKind; }
  // Places a new entry; does nothing when the file exists.
  virtual void Create();
  virtual bool Exists();
  // Stores a shared cipher as decryptor (forDecryption) or encryptor. A file
  // with cached blocks is flushed and its blocks dropped first.
  virtual void SetEncryption(FBL_EncryptionRef cipher, bool forDecryption);
  // Re-encrypts the whole file: oldCipher must match the current decryptor
  // (or be null when there is none), else nothing happens and false is
  // returned.
  virtual bool ChangeEncryption(const FBL_Encryption* oldCipher, FBL_EncryptionRef newEncryptor,
                                FBL_EncryptionRef newDecryptor);

  FBL_DataFile& GetVolume() const;
  const FBL_File* GetContainer() const override;
  int32_t GetIndex() const { return mIndex; }
  const FBL_FileEntry& GetEntry() const { return mEntry; }
  // A file whose volume is read-only moves to the writable volume its
  // database offers for index files (when there is one). REQUIRES: closed.
  void Rehome();
  // Gives the file another identity (its entry follows when placed).
  void SetId(uint32_t ownerId, uint16_t kind, uint16_t subIndex);

 protected:
  // Files with a fixed place (the table of files) set their entry directly.
  void SetPlacement(const FBL_FileEntry& entry, int32_t index);
  void NoteUnflushed() override;

 private:
  friend class FBL_DataFile;

  uint32_t mOwnerId;
  uint16_t mKind;
  uint16_t mSubIndex;
  FBL_DataFile* mVolume;
  FBL_FileEntry mEntry;
  int32_t mIndex = -1;
  // On the volume's list of files to flush.
  bool mFlushListed = false;
  // Where the volume keeps this file in its list of registered files.
  size_t mRegistration = 0;
  // The chain's segments as far as they have been walked: mChain[k - 1] is
  // the k-th segment. Random access would otherwise follow the links from
  // the start of the chain for every transfer.
  std::vector<uint32_t> mChain;
  void ForgetSegments() { mChain.clear(); }
};

// The table of files of a volume: entry 0 describes the table itself. Its
// blocks live in the volume cache and are at most 1 KB.
class FBL_FilesTableEmb : public FBL_EmbededFile {
 public:
  explicit FBL_FilesTableEmb(FBL_DataFile& volume);
  void Open() override;
  void Close() override;
  void Flush() override;
  void Reset() override;

 private:
  friend class FBL_DataFile;
  // The volume opens the table with its entry 0 and closes it.
  void Load(const FBL_FileEntry& self);
  void Unload();
};
