// FBL_BaseField: a column of a table. It keeps one value per record in
// files of its own, holds the current record's value in its buffer, turns
// values into text and back, compares them, and owns the column's index.
//
// Lifecycle: made by the field factory (field_factory.h), handed to a table
// (FBL_Table::AddField, which attaches it and gives it its number), its
// files created or opened with the table's and closed with them. A cursor's
// copy shares the descriptor (InitFromField) and lives as long as the
// cursor; the column's files close when the last sharer goes.
//
// Buffers: a fixed type keeps its value in an 8-byte inline buffer in the
// machine's form (GetBufferSize() bytes: a Medium as a 4-byte integer).
// SetValue, GetValue, Compare and CompareValues work on that form.
//
// Schema: SetName, AddFlags, RemoveFlags, SetMethodText and the types' own
// setters (language, BLOB storage, target) take `persist`; with it set and
// the field attached, the table's OnSchemaChange follows the change.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "kernel/sets/bit_set.h"
#include "kernel/sets/rec_id.h"
#include "kernel/tables/field_descriptor.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/key_order.h"
#include "kernel/tables/schema_change.h"

class FBL_ArraySet;
class FBL_BitSet;
class FBL_BitSetFile;
class FBL_DataFile;
class FBL_Table;

class FBL_BaseField : public FBL_KeyOrder {
 public:
  ~FBL_BaseField() override;
  FBL_BaseField(const FBL_BaseField&) = delete;
  FBL_BaseField& operator=(const FBL_BaseField&) = delete;

  // ---- identity -----------------------------------------------------------
  // Records the owning table (not owned; it outlives the field), takes the
  // table position as field number when the field has none, compiles the
  // formula of a calculated field (an open table builds the field's files
  // and index with Rebuild).
  virtual void AttachToTable(FBL_Table& table, uint32_t position);
  // Shares other's descriptor; copies its name, table and declared length.
  virtual void InitFromField(const FBL_BaseField& other);
  // Records the cursor a copy belongs to (not owned).
  virtual void SetCursor(const void* owner) { mCursor = owner; }
  virtual void SetName(const std::string& name, bool persist);
  const std::string& GetName() const { return mName; }
  uint8_t GetType() const { return mDesc->mType; }
  uint16_t GetFlags() const { return mDesc->mFlags; }
  bool HasFlag(uint16_t flag) const { return (mDesc->mFlags & flag) != 0; }
  bool IsNullable() const { return HasFlag(kFieldNullable); }
  bool IsMethod() const { return HasFlag(kFieldMethod); }
  uint32_t GetFieldNumber() const { return mDesc->mFieldNumber; }
  FBL_Table* GetTable() const { return mTable; }
  long GetShareCount() const { return mDesc.use_count(); }
  // A field of the same type sharing this one's descriptor, with a buffer
  // of its own: it parses or reads values and leaves this field's current
  // record alone. Kept for the next call, brought up to date on each.
  FBL_BaseField& Twin() const;
  const std::string& GetMethodText() const { return mDesc->mMethodText; }
  // Makes the field calculated (text not empty) or stored again.
  void SetMethodText(const std::string& text, bool persist);
  FBL_MethodFormula* GetFormula() const { return mDesc->mFormula.get(); }
  REC_ID GetRecID() const { return mRecID; }
  bool IsDirty() const { return mDirty; }

  // ---- the current value --------------------------------------------------
  virtual bool IsNull();
  // Only a nullable field becomes null; its value becomes 0. Sets dirty.
  virtual void SetNull(bool null);
  // Copies and converts other's current value (calculating it first).
  virtual void AssignFrom(FBL_BaseField& other);
  // Copies GetBufferSize() bytes in; null flag 0, dirty flag 1.
  virtual void SetValue(const void* bytes);
  virtual void GetValue(void* out);
  // The null map as a set of the table's MaxRecID (empty without a map).
  virtual std::unique_ptr<FBL_BitSet> SelectNulls();
  // The records of `among` whose value is not null and compares with
  // bound (in the buffer's form) as `orders` allows: kOrderLess,
  // kOrderEqual and kOrderGreater of CompareValues(value, bound). A stored
  // column whose slots hold the buffer's bytes is read slot by slot, its
  // nulls taken out in one pass; others record by record through the twin.
  static constexpr uint8_t kOrderLess = 1, kOrderEqual = 2, kOrderGreater = 4;
  // Whether orders keeps an order of -1, 0 or +1 (any sign).
  static bool OrderKept(uint8_t orders, int order) {
    return (orders >> ((order > 0) - (order < 0) + 1)) & 1;
  }
  std::unique_ptr<FBL_BitSet> SelectCompared(const FBL_BitSet& among, const void* bound,
                                             uint8_t orders);
  // Evaluates the formula for recID into the buffer and sets the null flag
  // from it; without a formula the value is null.
  virtual void CalculateMethod(REC_ID recID);
  // Stored width of one value.
  virtual uint32_t GetValueSize() const = 0;
  // Bytes of the buffer's machine form.
  virtual uint32_t GetBufferSize() const { return GetValueSize(); }
  virtual uint32_t GetMaxTextLength() const = 0;
  // At most maxChars characters; empty for null.
  virtual std::string GetString(uint32_t maxChars = UINT32_MAX);
  // Parses text (never fails); null flag 0, dirty flag 1.
  virtual void SetString(const char* text);
  void SetString(const std::string& text) { SetString(text.c_str()); }

  // ---- typed access (what an expression reads and writes) ------------------
  // How a value converts into another type's: integers (dates and times as
  // their packed words, object pointers as RecIDs), floating point, bytes
  // (binary and BLOB values), or text (strings and Text), which GetString
  // and SetString carry.
  enum class ValueClass { kSigned, kUnsigned, kFloating, kBinary, kOther };
  virtual ValueClass GetValueClass() const { return ValueClass::kOther; }
  // The current value (calculated first) widened to 64 bits, sign- or
  // zero-extended by its class; a floating value truncated toward zero.
  // 0 for null and for the byte and text classes.
  uint64_t GetAsBits();
  // 0 for null and for the byte and text classes.
  double GetAsDouble();
  // Converts as AssignFrom does (integers cut to the width, floating values
  // truncated toward zero, a text type takes the number's text); null flag
  // 0, dirty flag 1. A type that holds no numbers raises 303.
  void SetFromBits(uint64_t bits, bool isSigned);
  void SetFromDouble(double value);

  // ---- flags ----------------------------------------------------------------
  virtual void RemoveFlags(uint16_t flags, bool persist);
  virtual void AddFlags(uint16_t flags, bool persist);

  // ---- the index ------------------------------------------------------------
  // False for a null value of a nullable field; otherwise asks the index,
  // which is created first when the table can make one.
  virtual bool ValueExists();
  // Makes the field indexed for good when it is not, creates and opens its
  // index; null when the table cannot make one.
  FBL_FieldIndex* EnsureIndex();
  // Searches by values in the buffer's form (a null pointer leaves that side
  // open). The field becomes indexed for good first. The bit set has the
  // table's MaxRecID bits, the array set holds the RecIDs in index order;
  // both are empty when the field's type has no index.
  virtual std::unique_ptr<FBL_BitSet> FindValue(const void* value);
  virtual std::unique_ptr<FBL_ArraySet> FindValueAsSet(const void* value);
  virtual std::unique_ptr<FBL_BitSet> FindRange(const void* left, bool leftIncluded,
                                                const void* right, bool rightIncluded);
  virtual std::unique_ptr<FBL_ArraySet> FindRangeAsSet(const void* left, bool leftIncluded,
                                                       const void* right, bool rightIncluded);
  // FindRange over bounds parsed by SetString's rules (null: open side).
  // String, VarChar and Text search by their keys instead (a prefix search
  // for the same text on both sides, left included, right excluded); BLOB
  // and Picture columns raise 303.
  virtual std::unique_ptr<FBL_BitSet> FindRangeByText(const char* left, bool leftIncluded,
                                                      const char* right, bool rightIncluded);
  // The alive records whose text matches the regular expression (a null
  // value never does). Only String, VarChar and Text answer; others raise
  // 303.
  virtual std::unique_ptr<FBL_BitSet> FindByRegExpr(const std::string& pattern, bool caseSensitive);
  // The index's range searches over keys (MakeKey's form); a null key
  // leaves that side open. Null when the field has no index.
  // Whether value (buffer form) is a floating NaN; false for null.
  bool IsNaNValue(const void* value) const;
  std::unique_ptr<FBL_BitSet> SelectKeyRange(bool leftIncluded, const uint8_t* leftKey,
                                             const uint8_t* rightKey, bool rightIncluded);
  std::unique_ptr<FBL_ArraySet> SelectKeyRangeAsArray(bool leftIncluded, const uint8_t* leftKey,
                                                      const uint8_t* rightKey, bool rightIncluded);
  // An array, or a bit set of the table's MaxRecID past arrayLimit RecIDs.
  std::unique_ptr<FBL_Set> SelectKeyRangeAsSet(bool leftIncluded, const uint8_t* leftKey,
                                               const uint8_t* rightKey, bool rightIncluded,
                                               uint32_t arrayLimit);
  // Makes the index through the table's index factory (none without one).
  virtual void CreateIndex();
  // Closes the index and deletes its file.
  virtual void DropIndex();
  virtual void OpenIndex();
  FBL_FieldIndex* GetIndex() const { return mDesc->mIndex.get(); }
  // The keys of the current value under recID (MakeIndexKeys); nothing
  // without an index.
  virtual void AddToIndex(REC_ID recID);
  virtual void RemoveFromIndex(REC_ID recID);
  // Removes the keys of the value stored for recID (a calculated field's:
  // calculated for it); the buffer and the field's RecID stay.
  void RemoveStoredKeys(REC_ID recID);
  // The same for each record, the entries taken out in the index's order:
  // a large deletion then meets each index page once, not once per record.
  void RemoveStoredKeys(std::span<const REC_ID> records);

  // ---- index keys (FBL_KeyOrder) ----------------------------------------------
  // A fixed type's key is its stored value in machine order (GetValueSize()
  // bytes, as the value file holds it before any byte reversal); a string
  // type's is a length byte and at most 255 bytes of text. Keys sort as
  // their values do.
  bool HasFixedKey() const override { return true; }
  uint32_t GetMaxKeySize() const override { return GetValueSize(); }
  uint32_t GetKeyLength(const uint8_t* /*key*/) const override { return GetValueSize(); }
  // Writes the key of the current value; returns its length.
  virtual uint32_t MakeKey(uint8_t* out);
  int CompareKeys(const uint8_t* left, const uint8_t* right) const override;
  // Texts of the "ASCII" language and byte strings compare as bytes.
  bool KeysCompareAsBytes() const override { return false; }
  // The current value against a key.
  int CompareWithKey(const uint8_t* key);
  // The key of a value in the buffer's form; the current value stays.
  uint32_t MakeKeyOf(const void* value, uint8_t* out);
  // Numbers and dates have order bits.
  bool HasKeyOrderBits() const override;
  uint64_t KeyOrderBits(const uint8_t* key) const override;
  bool HasIntegerKeys(uint32_t& width, bool& isSigned) const override;
  void SwapKeyBytes(uint8_t* key) const override;
  // The keys a by-words index holds for the current value: each distinct
  // word once, in key order (none for an empty text). Other fields give
  // their one key.
  virtual void MakeWordKeys(std::vector<std::string>& keys);
  // The keys the index holds for the current value: none for a null value
  // of a nullable field, else MakeWordKeys.
  void MakeIndexKeys(std::vector<std::string>& keys);

  // ---- comparison -----------------------------------------------------------
  // -1, 0 or +1; values in the buffer's machine form.
  virtual int Compare(const void* value);
  virtual int CompareValues(const void* left, const void* right) const = 0;

  // ---- files ------------------------------------------------------------------
  // The ciphers of the column's files and index: its own when given, else
  // its table's (none without a table).
  FBL_FileCiphers GetFileCiphers() const;
  // For files made or opened from now on; ClearOwnCiphers follows the
  // table's again.
  void SetOwnCiphers(FBL_FileCiphers ciphers);
  void ClearOwnCiphers();
  bool HasOwnCiphers() const { return mDesc->mHasOwnCiphers; }
  // Re-enciphers each file of the column to the ciphers in force.
  // REQUIRES: the column's files are closed (the index is not converted:
  // the table builds it anew).
  virtual void ConvertFileCiphers();
  virtual void CreateFiles();
  virtual void DropFiles();
  // Sets the value slots to count records (new ones zero) and cuts the
  // null map to count bits.
  virtual void Truncate(uint32_t count);
  virtual void OpenFiles();
  // Whether any file of the column exists (the table's open asks).
  bool HasStoredFiles();
  virtual void CloseFiles();
  virtual void Rebuild();
  virtual void Flush();
  // Rewrites the pages of the column's page files (VarChar texts, the
  // index) in order.
  virtual void Defragment();
  // Checks the column's own value files (VarChar pages, BLOB chains) and
  // appends what is wrong with them; true when all is right. Never raises.
  virtual bool DiagnoseFiles(std::string& /*report*/) { return true; }
  // Gives every file of the column (and the index) the new number.
  virtual void ChangeNumber(uint32_t newNumber);
  virtual void ReadRecord(REC_ID recID);
  // ReadRecord, with a single copy for plain stored slots (the table's walks).
  void LoadRecord(REC_ID recID) {
    if (!mDesc->mPlainSlots || recID == 0) return ReadRecord(recID);
    mRecID = recID;
    mDirty = false;
    mNull = false;
    mDesc->mWindow.ReadSlot(uint64_t{recID - 1} * mDesc->mWindow.GetWidth(), mValue);
  }
  // Whether a stored value is the buffer's bytes (in either byte order), so
  // that ReadRawValue can read it.
  bool HasRawValues() const {
    return !IsMethod() && IsRawCopy() && GetValueSize() == GetBufferSize() &&
           GetValueSize() <= sizeof mValue && mDesc->mWindow.IsAttached();
  }
  // A record's value in the buffer's form into `out` (8 bytes of room),
  // leaving the buffer and the current record alone; false, with `out`
  // cleared, when it is null.
  // REQUIRES: HasRawValues(), a RecID of the table.
  bool ReadRawValue(REC_ID recID, uint8_t* out);
  virtual void WriteRecord(REC_ID recID);
  virtual void DeleteRecord(REC_ID recID);
  // Reverses the stored bytes of one value for the other byte order.
  virtual void SwapBytes(uint8_t* value) const;

  // ---- the old value, for index upkeep on update ---------------------------
  virtual void SaveOldValue();
  // Reads the value and null flag stored for recID into the old-value
  // buffer (nothing for a calculated field or RecID 0).
  virtual void LoadOldValueOf(REC_ID recID);
  void LoadOldValue() { LoadOldValueOf(mRecID); }
  virtual bool IsChanged();
  virtual void SwapOldValue();
  virtual void RestoreOldValue();
  void FreeOldValue() { mOldLoaded = false; }
  bool HasOldValue() const { return mOldLoaded; }
  // Runs use() with the value stored for recID in the buffer, then puts
  // the buffer back, also when use() throws.
  template <class Use>
  void WithStoredValue(REC_ID recID, Use use) {
    LoadOldValueOf(recID);
    SwapOldValue();
    try {
      use();
    } catch (...) {
      RestoreOldValue();
      FreeOldValue();
      throw;
    }
    RestoreOldValue();
    FreeOldValue();
  }

 protected:
  FBL_BaseField(uint8_t type, const std::string& name, uint16_t flags);

  // The stored bytes of the buffer (GetValueSize(), machine order), and back.
  virtual void EncodeValue(uint8_t* out) const = 0;
  virtual void DecodeValue(const uint8_t* in) = 0;
  virtual void ParseText(const char* text) = 0;
  virtual std::string FormText() const = 0;
  // The typed access to the buffer, as it is (no calculation, no flags).
  virtual uint64_t BufferBits() const { return 0; }
  virtual double BufferDouble() const { return 0; }
  // By default through the number's text.
  virtual void PutBits(uint64_t bits, bool isSigned);
  virtual void PutDouble(double value);
  // Adds to found the records of candidates whose slot compares with bound
  // as orders allows. REQUIRES: the slots hold the buffer's bytes. A number
  // type answers with CompareSlotsWith and its own comparison, no call per
  // record.
  virtual void CompareSlots(const FBL_BitSet& candidates, const void* bound, uint8_t orders,
                            FBL_BitSet& found);
  template <typename Comparison>
  void CompareSlotsWith(const FBL_BitSet& candidates, uint8_t orders, FBL_BitSet& found,
                        Comparison compare);
  // The buffer form of a fixed key (GetBufferSize() bytes) for CompareValues;
  // only types whose stored form is not their buffer's need it.
  virtual void KeyToBuffer(const uint8_t* key, uint8_t* buffer) const;
  // The value file of the type; a byte file of slots unless overridden.
  virtual std::unique_ptr<FBL_EmbededFile> MakeValueFile(FBL_DataFile& volume);
  virtual bool HasValueFile() const { return !IsMethod(); }
  // Whether the stored bytes of a value are the buffer's bytes, in this
  // machine's order.
  virtual bool IsRawCopy() const { return false; }
  // Reads or writes the value of recID in the value file.
  virtual void ReadValue(REC_ID recID);
  virtual void WriteValue(REC_ID recID);
  virtual void TruncateValues(uint32_t count);

  // Refreshes a calculated field's buffer; a no-op for stored fields.
  void Refresh();
  // The table's OnSchemaChange, with persist, for an attached field.
  void NotifySchemaChange(FBL_SchemaChange change, bool persist);
  uint8_t* Buffer() { return mValue; }
  const uint8_t* Buffer() const { return mValue; }
  void ClearBuffer();
  void MarkChanged() {
    mNull = false;
    mDirty = true;
  }
  // The null flags as they are, without calculating (for types that keep
  // their value outside the inline buffer).
  bool NullFlag() const { return mNull; }
  bool OldNullFlag() const { return mOldNull; }
  // Fills the buffer of a stored field quickly when it is not calculated.
  void CopyBuffer(void* out, uint32_t n) {
    if (IsMethod()) Refresh();
    std::memcpy(out, mValue, n);
  }
  // The volume of the column's files; REQUIRES: attached.
  FBL_DataFile& Volume() const;
  bool Swapped() const;
  // Whether the null map marks the record's value null.
  bool StoredNull(REC_ID recID) const;
  // The record's stored bytes in machine order into raw (8 bytes, the rest
  // left as they are). REQUIRES: recID != 0, attached window.
  void ReadStoredBytes(REC_ID recID, uint8_t* raw);
  void MakeFileObjects();
  // Gives a file of the column the column's ciphers.
  void Encipher(FBL_EmbededFile& file) const;
  // A header-less bit file (null map, Boolean values) as a set of size bits.
  static std::unique_ptr<FBL_BitSet> LoadBitFile(FBL_BitSetFile* file, uint32_t size);
  FBL_FieldDescriptor& Desc() const { return *mDesc; }
  // The sub-index that names the column's files: its field number, which
  // must fit 16 bits.
  uint16_t FileSubIndex() const { return FileSubIndexOf(GetFieldNumber()); }
  static uint16_t FileSubIndexOf(uint32_t fieldNumber);

 private:
  // right, or +infinity (included) written to infinity when the range is
  // one of numbers whose right side is open or NaN.
  const void* RightBoundOfNumbers(const void* left, const void* right, bool& rightIncluded,
                                  uint8_t* infinity) const;
  class HeldValue;

  void RenumberFile(FBL_EmbededFile* file, uint16_t kind, uint32_t number);
  // AddFlags' index part: a new index for the added indexed or unique bit.
  void RenewIndexForFlags(uint16_t before, uint16_t added);
  // The buffer form of a bound parsed from text (SetString's rules).
  std::vector<uint8_t> ParseBound(const char* text);

  std::shared_ptr<FBL_FieldDescriptor> mDesc;
  mutable std::unique_ptr<FBL_BaseField> mTwin;
  FBL_Table* mTable = nullptr;
  const void* mCursor = nullptr;
  std::string mName;
  REC_ID mRecID = 0;
  alignas(8) uint8_t mValue[8] = {};
  alignas(8) uint8_t mOldValue[8] = {};
  bool mNull = false;
  bool mDirty = false;
  bool mOldNull = false;
  bool mOldLoaded = false;
  // The buffer holds a given value (a search bound): a calculated field
  // must not recompute it.
  bool mHoldValue = false;
};

template <typename Comparison>
void FBL_BaseField::CompareSlotsWith(const FBL_BitSet& candidates, uint8_t orders,
                                     FBL_BitSet& found, Comparison compare) {
  const uint64_t width = GetValueSize();
  FBL_SlotWindow& window = mDesc->mWindow;
  alignas(8) uint8_t value[sizeof mValue] = {};
  // A word of answers at a time, without a branch on each comparison: on
  // values in no order a branch misses every other record.
  candidates.ForEachWord([&](REC_ID first, uint64_t members) {
    uint64_t kept = 0;
    for (uint64_t w = members; w != 0; w &= w - 1) {
      const int j = std::countr_zero(w);
      window.ReadSlot((uint64_t{first} - 1 + j) * width, value);
      kept |= uint64_t{OrderKept(orders, compare(value))} << j;
    }
    if (kept != 0) found.IncludeWord(first, kept);
  });
}
