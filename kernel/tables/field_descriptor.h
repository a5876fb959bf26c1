// What describes a column, shared by every field object that stands for it
// (the table's own field and the copies cursors make), and the interfaces
// through which higher layers give a column its index and its formula.
//
// Lifecycle: a descriptor is made with its field by the factory; copies
// share it through std::shared_ptr (use_count is the reference count). When
// the last sharer goes, the descriptor flushes and closes its files and its
// index.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kernel/sets/rec_id.h"
#include "kernel/tables/file_ciphers.h"
#include "kernel/tables/slot_window.h"

class FBL_ArraySet;
class FBL_BaseField;
class FBL_BitSet;
class FBL_Set;
class FBL_BitSetFile;
class FBL_EmbededFile;
class FBL_Table;

// A column's index, as the table and the field use it. Implemented by the
// index layer. Keys are the field's (FBL_BaseField::MakeKey's form); a
// record holds one entry per key its value makes (MakeIndexKeys: none for
// null, one per distinct word by words).
class FBL_FieldIndex {
 public:
  virtual ~FBL_FieldIndex() = default;
  // Counted: the first Open loads the index, the last Close unloads it.
  virtual void Open() = 0;
  virtual void Close() = 0;
  // Inserts the entry (key, recID); a unique index holding an equal key
  // raises xFBL_FieldIsUnique and inserts nothing.
  virtual void Insert(const uint8_t* key, REC_ID recID) = 0;
  // Removes the entry (key, recID); nothing when there is none.
  virtual void Remove(const uint8_t* key, REC_ID recID) = 0;
  // Whether key is in the index; recID receives the first record holding
  // it (0 when none).
  virtual bool FindFirst(const uint8_t* key, REC_ID& recID) = 0;
  virtual bool IsUnique() const = 0;
  virtual void Flush() = 0;
  // Closes the index and deletes its file.
  virtual void Drop() = 0;
  // The column's files took a new field number.
  virtual void ChangeNumber(uint32_t newNumber) = 0;

  // Range searches over keys made by the field (FBL_BaseField::MakeKey); a
  // null bound leaves that side open. The bit set has the table's MaxRecID
  // bits; the array holds the RecIDs in index order.
  virtual std::unique_ptr<FBL_BitSet> SelectRange(bool leftIncluded, const uint8_t* leftKey,
                                                  const uint8_t* rightKey,
                                                  bool rightIncluded) = 0;
  virtual std::unique_ptr<FBL_ArraySet> SelectRangeAsArray(bool leftIncluded,
                                                           const uint8_t* leftKey,
                                                           const uint8_t* rightKey,
                                                           bool rightIncluded) = 0;
  // SelectRangeAsArray, but an answer of more than arrayLimit RecIDs comes
  // back as a bit set of `size` RecIDs.
  virtual std::unique_ptr<FBL_Set> SelectRangeAsSet(bool leftIncluded, const uint8_t* leftKey,
                                                    const uint8_t* rightKey, bool rightIncluded,
                                                    uint32_t arrayLimit, REC_ID size);
  // Entries inserted (one per record, one per distinct word of a by-words
  // index).
  virtual uint32_t GetEntryCount() = 0;
  // Fills an empty index from the table's records.
  virtual void Build() = 0;
  // Bulk building: Clear empties the index; AppendSorted then takes the
  // entries in ascending (key, RecID) order.
  virtual void Clear() = 0;
  virtual void AppendSorted(const uint8_t* key, REC_ID recID) = 0;
  // Rewrites the index's pages in order (nothing by default).
  virtual void Defragment() {}
};

// Makes the index a field's flags ask for (unique or not, by its type).
// Installed on a table by the layer that implements indexes.
class FBL_IndexFactory {
 public:
  virtual ~FBL_IndexFactory() = default;
  // A new index of the field, built from the table's records; null when
  // the field's type has no index.
  virtual std::unique_ptr<FBL_FieldIndex> MakeIndex(FBL_BaseField& field) = 0;
};

// The parsed formula of a calculated field.
class FBL_MethodFormula {
 public:
  virtual ~FBL_MethodFormula() = default;
  // Evaluates the formula for recID (0: for no record) into target's value
  // buffer; returns true when the result is null.
  virtual bool Evaluate(REC_ID recID, FBL_BaseField& target) = 0;
  // Whether the formula reads field.
  virtual bool Uses(const FBL_BaseField& field) const = 0;
};

// Turns a calculated field's text into its formula. Installed on a table by
// the expression layer; without one, calculated fields read as null.
class FBL_FormulaCompiler {
 public:
  virtual ~FBL_FormulaCompiler() = default;
  // Null when the text does not compile.
  virtual std::unique_ptr<FBL_MethodFormula> Compile(const std::string& text, FBL_Table& table,
                                                     FBL_BaseField& field) = 0;
};

struct FBL_FieldDescriptor {
  FBL_FieldDescriptor(uint8_t type, uint16_t flags);
  ~FBL_FieldDescriptor();
  FBL_FieldDescriptor(const FBL_FieldDescriptor&) = delete;
  FBL_FieldDescriptor& operator=(const FBL_FieldDescriptor&) = delete;

  // Flushes and closes every file the column keeps open, and the index.
  void CloseAll();

  uint8_t mType;
  uint16_t mFlags;
  // Names the column's files; 0 until the field joins a table.
  uint32_t mFieldNumber = 0;
  std::unique_ptr<FBL_FieldIndex> mIndex;
  bool mIndexOpen = false;
  // Record r's value at (r - 1) * width, no header (a bit file for Booleans).
  std::unique_ptr<FBL_EmbededFile> mValueFile;
  // The slots of the value file last used, while it is open.
  FBL_SlotWindow mWindow;
  // Values are stored byte-reversed (a database of the other byte order).
  bool mSwapped = false;
  // Stored bytes are the buffer's bytes (no null map, no reversal, a plain
  // copy): reading a record is one copy out of the window.
  bool mPlainSlots = false;
  // Storage of the variable-size types; none for fixed ones.
  std::unique_ptr<FBL_EmbededFile> mSecondFile;
  // One bit per record, no header; set = the value is null.
  std::unique_ptr<FBL_BitSetFile> mNullMap;
  std::unique_ptr<FBL_MethodFormula> mFormula;
  std::string mMethodText;
  // Ciphers of the column's own (its files and index); else its table's.
  bool mHasOwnCiphers = false;
  FBL_FileCiphers mOwnCiphers;
};
