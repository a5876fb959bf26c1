// OBL_Item: a node of a parsed expression, evaluated record by record.
//
// Every accessor takes the RecID of the record to evaluate (0: the fields'
// current buffers, as a check before a record is added uses them) and sets
// the item's null flag; an evaluation never raises. A null result reads as
// 0 or an empty text.
//
// Numbers: integers are 64-bit and wrap on overflow; floating point is a
// double. A floating value read as an integer is rounded half away from
// zero and clamped to the 64-bit range (NaN reads 0); a text read as a
// number takes its leading number (none: 0); a floating value as text has
// up to 15 significant digits ("%.15g").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "kernel/sets/rec_id.h"

class FBL_BaseField;

enum class OBL_ItemKind : uint8_t { kEmpty = 0, kNumber = 2, kString = 3, kFunction = 4 };
enum class OBL_ResultType : uint8_t { kInteger = 1, kDouble = 2, kString = 3 };
enum class OBL_ItemState : uint8_t { kNotAnalysed = 0, kConstant = 1, kDependsOnRecord = 2 };

class OBL_Item {
 public:
  OBL_Item(OBL_ItemKind kind, OBL_ResultType type) : mKind(kind), mType(type) {}
  virtual ~OBL_Item() = default;
  OBL_Item(const OBL_Item&) = delete;
  OBL_Item& operator=(const OBL_Item&) = delete;

  // The base sets the null flag and answers 0 or an empty text.
  virtual int32_t GetInt(REC_ID recID);
  virtual int64_t GetLongLong(REC_ID recID);
  virtual double GetDouble(REC_ID recID);
  virtual void GetString(REC_ID recID, std::string& out);
  // The text value cut to maxLength bytes.
  virtual std::string GetStringObject(REC_ID recID, uint32_t maxLength);
  // Aggregates (none in the expressions of calculated fields).
  virtual bool IsAggregate() const { return false; }
  // The length of the text value; the base answers the cached width.
  virtual uint32_t GetLength(REC_ID recID);
  // Sets the state; the base depends on the record.
  virtual void Analyse() { mState = OBL_ItemState::kDependsOnRecord; }
  // A function: whether an argument is an aggregate.
  virtual bool HasAggregate() const { return false; }
  // Whether the value reads field (a column of the table, by its number).
  virtual bool DependsOn(const FBL_BaseField& /*field*/) const { return false; }

  OBL_ItemKind GetKind() const { return mKind; }
  OBL_ResultType GetResultType() const { return mType; }
  OBL_ItemState GetState() const { return mState; }
  // Set by the last evaluation.
  bool IsNull() const { return mNull; }

 protected:
  OBL_ItemKind mKind;
  OBL_ResultType mType;
  OBL_ItemState mState = OBL_ItemState::kNotAnalysed;
  bool mNull = false;
  // The length of a constant text, or a width.
  uint32_t mValue32 = 0;
};

// An operand that is missing: reads as NULL.
class OBL_Item_Empty : public OBL_Item {
 public:
  OBL_Item_Empty() : OBL_Item(OBL_ItemKind::kEmpty, OBL_ResultType::kInteger) {}
  void Analyse() override { mState = OBL_ItemState::kConstant; }
};

class OBL_Item_Double : public OBL_Item {
 public:
  explicit OBL_Item_Double(double value)
      : OBL_Item(OBL_ItemKind::kNumber, OBL_ResultType::kDouble), mDouble(value) {}
  int32_t GetInt(REC_ID recID) override;
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
  void GetString(REC_ID recID, std::string& out) override;
  void Analyse() override { mState = OBL_ItemState::kConstant; }

 private:
  double mDouble;
};

class OBL_Item_Str : public OBL_Item {
 public:
  explicit OBL_Item_Str(std::string value);
  int32_t GetInt(REC_ID recID) override;
  int64_t GetLongLong(REC_ID recID) override;
  double GetDouble(REC_ID recID) override;
  void GetString(REC_ID recID, std::string& out) override;
  void Analyse() override { mState = OBL_ItemState::kConstant; }

 private:
  std::string mText;
};

namespace zsql {

// The conversions every item uses (see the top of the file).
int64_t DoubleToInt64(double value);
double TextToDouble(std::string_view text);
int64_t TextToInt64(std::string_view text);
std::string DoubleToText(double value);
inline int32_t Narrow(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

}  // namespace zsql
