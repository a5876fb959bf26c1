// Items that read a column of the table: stored fields through a copy of
// the column (its own buffer over the shared files, so reading record r
// never disturbs the table's current record), calculated fields by
// evaluating their formula into a scratch field of their type (no shared
// state, so two calculated fields that read each other hold no cycle of
// owners; the formula's depth guard ends the recursion).
//
// RecID 0 reads the column's current buffer.
//
// Numbers read by their class: integers (dates and times as their packed
// words, object pointers as RecIDs) and floating point; every reader's
// text is the field's own text form (a Date field reads as its date text).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sql/expressions/item.h"

class FBL_BaseField;
class FBL_Language;

class OBL_Item_Field : public OBL_Item {
 public:
  // field: the table's column (not owned; it outlives the item).
  OBL_Item_Field(FBL_BaseField& field, OBL_ResultType type);
  ~OBL_Item_Field() override;

  int32_t GetInt(REC_ID recID) override { return zsql::Narrow(GetLongLong(recID)); }
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
  void GetString(REC_ID recID, std::string& out) override;
  bool DependsOn(const FBL_BaseField& field) const override;

  FBL_BaseField& GetField() const { return mOwn; }
  uint8_t GetFieldType() const;
  // The language of a String, VarChar or Text column; null for others.
  const FBL_Language* GetLanguage() const;
  bool IsTextField() const;

 protected:
  // The field that holds recID's value, with the null flag set.
  FBL_BaseField& Load(REC_ID recID);

 private:
  FBL_BaseField& mOwn;
  // A copy of a stored column, or a scratch field of a calculated one.
  std::unique_ptr<FBL_BaseField> mReader;
};

template <typename T>
class OBL_Item_TypeField : public OBL_Item_Field {
 public:
  explicit OBL_Item_TypeField(FBL_BaseField& field);
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
};

template <typename T>
class OBL_Item_TypeMethod : public OBL_Item_TypeField<T> {
 public:
  using OBL_Item_TypeField<T>::OBL_Item_TypeField;
};

// The 3-byte integers read as their 4-byte machine form.
class OBL_Item_MediumField : public OBL_Item_TypeField<int32_t> {
 public:
  using OBL_Item_TypeField<int32_t>::OBL_Item_TypeField;
};
class OBL_Item_UMediumField : public OBL_Item_TypeField<uint32_t> {
 public:
  using OBL_Item_TypeField<uint32_t>::OBL_Item_TypeField;
};
class OBL_Item_MediumMethod : public OBL_Item_MediumField {
 public:
  using OBL_Item_MediumField::OBL_Item_MediumField;
};
class OBL_Item_UMediumMethod : public OBL_Item_UMediumField {
 public:
  using OBL_Item_UMediumField::OBL_Item_UMediumField;
};

// Fixed and variable strings: the bytes of the value, without a copy.
class OBL_Item_StringField : public OBL_Item_Field {
 public:
  explicit OBL_Item_StringField(FBL_BaseField& field);
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
  void GetString(REC_ID recID, std::string& out) override;
  uint32_t GetLength(REC_ID recID) override;
};

// Text, and the byte types (binary, BLOB, Picture) by their text form.
class OBL_Item_TextField : public OBL_Item_Field {
 public:
  explicit OBL_Item_TextField(FBL_BaseField& field);
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
};

// A calculated String or VarChar field.
class OBL_Item_Method : public OBL_Item_StringField {
 public:
  using OBL_Item_StringField::OBL_Item_StringField;
};

namespace zsql {

// The reader of the field's type code.
std::unique_ptr<OBL_Item_Field> MakeFieldItem(FBL_BaseField& field);

}  // namespace zsql
