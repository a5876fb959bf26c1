// FBL_Formula: an object called once per record by a formula task
// (formula_tasks.h), and the formulas of the kernel.
//
// Reading tasks (FBL_UseFormula) pass the record's value: the text, NUL
// terminated, of String, VarChar and Text fields; the buffer's bytes (a
// BLOB reference, an object pointer's RecID, a number) of other fields.
// Writing tasks (FBL_ApplyFormula) pass the field's buffer (GetBufferSize()
// bytes, zeroed; SetValueSize gave the size) for the formula to fill, and
// take isNull back.
//
// Collecting formulas (FBL_ConstFormula and below) gather RecIDs in a bit
// set that belongs to the formula until the caller takes it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/sets/rec_id.h"

class FBL_BitSet;
class FBL_Language;
class FBL_TextMatcher;

class FBL_Formula {
 public:
  virtual ~FBL_Formula();
  virtual void Apply(REC_ID recID, void* value, bool& isNull) = 0;
  // Bytes of the buffer a writing task passes.
  void SetValueSize(uint32_t size) { mValueSize = size; }

 protected:
  uint32_t mValueSize = 0;
};

class FBL_ConstFormula : public FBL_Formula {
 public:
  // size: the bits of the result set (the table's MaxRecID).
  explicit FBL_ConstFormula(REC_ID size);
  ~FBL_ConstFormula() override;
  const FBL_BitSet& GetResult() const { return *mResult; }
  // Hands the result to the caller; the formula keeps an empty set.
  std::unique_ptr<FBL_BitSet> TakeResult();

 protected:
  void Include(REC_ID recID);

 private:
  std::unique_ptr<FBL_BitSet> mResult;
};

class FBL_SearchByFormula : public FBL_ConstFormula {
 public:
  using FBL_ConstFormula::FBL_ConstFormula;
};

// The records whose text matches a regular expression anywhere.
class FBL_RegExprFormula : public FBL_SearchByFormula {
 public:
  // The pattern is compiled here, once (ignoring case when caseSensitive is
  // false), with the character classes of language; a bad pattern raises
  // 305, as a search beyond the matcher's limits does later.
  FBL_RegExprFormula(const std::string& pattern, bool caseSensitive, const FBL_Language& language,
                     REC_ID size);
  ~FBL_RegExprFormula() override;
  void Apply(REC_ID recID, void* value, bool& isNull) override;

 private:
  std::unique_ptr<FBL_TextMatcher> mMatcher;
};

// The records whose BLOB reference is 0.
class FBL_FindNullBlobsFormula : public FBL_ConstFormula {
 public:
  using FBL_ConstFormula::FBL_ConstFormula;
  void Apply(REC_ID recID, void* value, bool& isNull) override;
};

// The records an object pointer points to: a set of the target table.
class FBL_GetPointedFormula : public FBL_ConstFormula {
 public:
  // targetSize: the target table's MaxRecID.
  explicit FBL_GetPointedFormula(REC_ID targetSize) : FBL_ConstFormula(targetSize) {}
  void Apply(REC_ID recID, void* value, bool& isNull) override;
};

// Writes one constant value (or NULL) into every record.
class FBL_ReplaceFormula : public FBL_Formula {
 public:
  // NULL.
  FBL_ReplaceFormula() = default;
  // The bytes, in the field's buffer form, are copied.
  FBL_ReplaceFormula(const void* bytes, uint32_t length);
  void Apply(REC_ID recID, void* value, bool& isNull) override;

 private:
  std::vector<uint8_t> mBytes;
  bool mNull = true;
};
