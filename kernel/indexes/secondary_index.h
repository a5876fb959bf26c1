// FBL_SecondaryIndex: the index of one field, an ordered sequence of
// (key, RecID) entries in the pages of its own index file, named by the
// table and the field's number in the database's index volume. Kinds
// (index_kinds.h) choose the page layout.
//
// Lifecycle: constructed closed. The first Open opens (or creates) the file
// and checks it: the entry count must equal the entries the table's records
// make, else the file is deleted and built again; three failures in a row
// raise xFBL_FailToBuild. A damaged index file (301, 370, 372) is deleted
// and built again the same way. Later Opens only count; the last Close
// closes the file, and deletes it when a search met damage (370) so that
// the next open builds it. Drop deletes the file.
//
// Entries: one per record holding a value; a null value of a nullable field
// holds no entry (it is never a duplicate nor found by a value). A by-words
// field holds one entry per distinct word of each record. Every operation
// holds the index's mutex, released on every path (what it guards: the
// threading model in kernel/storage/sync_objects.h).
#pragma once

#include <cstdint>
#include <memory>

#include "kernel/indexes/index_file.h"
#include "kernel/indexes/index_page.h"
#include "kernel/storage/encryption.h"
#include "kernel/storage/sync_objects.h"
#include "kernel/tables/field_descriptor.h"
#include "platform/errors.h"

class FBL_BaseField;
class FBL_BitSet;
class FBL_DataFile;
class FBL_KeyOrder;

class FBL_SecondaryIndex : public FBL_FieldIndex {
 public:
  ~FBL_SecondaryIndex() override;

  // Both ciphers, or neither; set before the first Open.
  void SetEncryption(FBL_EncryptionRef encryptor, FBL_EncryptionRef decryptor);

  void Open() override;
  void Close() override;
  void Insert(const uint8_t* key, REC_ID recID) override;
  void Remove(const uint8_t* key, REC_ID recID) override;
  bool FindFirst(const uint8_t* key, REC_ID& recID) override;
  // FindFirst of the field's current value (none for null).
  bool FindFirst(REC_ID& recID);
  bool IsUnique() const override { return mUnique; }
  void Flush() override;
  void Drop() override;
  void ChangeNumber(uint32_t newNumber) override;
  std::unique_ptr<FBL_BitSet> SelectRange(bool leftIncluded, const uint8_t* leftKey,
                                          const uint8_t* rightKey, bool rightIncluded) override;
  std::unique_ptr<FBL_ArraySet> SelectRangeAsArray(bool leftIncluded, const uint8_t* leftKey,
                                                   const uint8_t* rightKey,
                                                   bool rightIncluded) override;
  std::unique_ptr<FBL_Set> SelectRangeAsSet(bool leftIncluded, const uint8_t* leftKey,
                                            const uint8_t* rightKey, bool rightIncluded,
                                            uint32_t arrayLimit, REC_ID size) override;
  uint32_t GetEntryCount() override;
  void Build() override;
  void Clear() override;
  void AppendSorted(const uint8_t* key, REC_ID recID) override;
  // Defragments the index's page file (REQUIRES: open).
  void Defragment() override;

  // Empties the index and fills it again from the table (a damaged index
  // mends this way).
  void Rebuild();
  // Checks every page and their order; raises xFBL_SXCorrupted.
  void CheckPages();
  // The entries the table's records make: the check on open compares them
  // with the entry count.
  uint32_t ExpectedEntryCount();
  bool IsOpen() const { return mUseCount > 0; }
  FBL_IndexFile& GetFile() { return *mFile; }
  FBL_IndexPage& GetPage() { return *mPage; }
  FBL_BaseField& GetField() { return mField; }
  // The field's key order, for the index's pages.
  const FBL_KeyOrder& GetKeyOrder() const;

 protected:
  // REQUIRES: field outlives the index; volume is the database's index
  // volume.
  // kind: the file kind (a field's index unless given).
  FBL_SecondaryIndex(FBL_BaseField& field, FBL_DataFile& volume, uint32_t ownerId, bool unique,
                     bool byteValues, uint16_t kind = kKindFieldIndex);
  virtual std::unique_ptr<FBL_IndexPage> MakePage() = 0;
  // Called by the kinds' constructors.
  void Init();

 private:
  class Guard;

  void OpenChecked();
  // Marks the index for a build at its next open and raises 370.
  [[noreturn]] void MarkDamaged(const xFBL_SXCorrupted& e);
  // Raises 370 when an answer of taken entries holds a RecID that is not
  // alive, or names one twice where the index holds one entry per record;
  // may clear bits of a bit set answer that fails.
  void CheckAnswer(const FBL_ArraySet* array, FBL_BitSet* bits, uint64_t taken);
  // The RecIDs of the range in index order, unchecked; from and to are its
  // ends, taken the entries read. Past `limit` RecIDs they go into bits of
  // `size` instead (see FBL_IndexPage::CollectRange) and the array is empty.
  std::unique_ptr<FBL_ArraySet> CollectArray(bool leftIncluded, const uint8_t* leftKey,
                                             const uint8_t* rightKey, bool rightIncluded,
                                             FBL_IndexPosition& from, FBL_IndexPosition& to,
                                             uint64_t& taken, uint32_t limit, REC_ID size,
                                             std::unique_ptr<FBL_BitSet>& bits);
  // Raises 370 when an entry beside a search's bounds does not hold its
  // record's key. The field's current record and value stay.
  void CheckBounds(const FBL_IndexPosition& from, const FBL_IndexPosition& to);
  void CloseFile();
  void RemoveFile();
  bool HoldsNull();
  bool ByWords() const;
  // The keys of the field's current value (none for null).
  void CurrentKeys(std::vector<std::string>& keys);
  void RequireOpen() const;
  uint32_t RecordLimit() const;

  FBL_BaseField& mField;
  FBL_DataFile& mVolume;
  uint32_t mOwnerId;
  uint16_t mKind;
  uint16_t mSubIndex = 0;
  bool mUnique;
  bool mByteValues;
  std::unique_ptr<FBL_IndexFile> mFile;
  std::unique_ptr<FBL_IndexPage> mPage;
  FBL_EncryptionRef mEncryptor;
  FBL_EncryptionRef mDecryptor;
  FBL_Mutex mMutex;
  uint32_t mUseCount = 0;
  uint32_t mFailedBuilds = 0;
  // A search met damage: the last Close deletes the file.
  bool mDamaged = false;
  // While building: the records whose value is null.
  std::unique_ptr<FBL_BitSet> mBuildNulls;
};
