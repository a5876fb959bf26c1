#include "kernel/tables/formula.h"

#include <algorithm>
#include <cstring>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/text_matcher.h"
#include "platform/errors.h"

FBL_Formula::~FBL_Formula() = default;

FBL_ConstFormula::FBL_ConstFormula(REC_ID size) : mResult(std::make_unique<FBL_BitSet>(size)) {}

FBL_ConstFormula::~FBL_ConstFormula() = default;

std::unique_ptr<FBL_BitSet> FBL_ConstFormula::TakeResult() {
  auto result = std::move(mResult);
  mResult = std::make_unique<FBL_BitSet>(result->GetSize());
  return result;
}

void FBL_ConstFormula::Include(REC_ID recID) {
  if (recID != 0 && recID <= mResult->GetSize()) mResult->Include(recID);
}

FBL_RegExprFormula::FBL_RegExprFormula(const std::string& pattern, bool caseSensitive,
                                       const FBL_Language& language, REC_ID size)
    : FBL_SearchByFormula(size) {
  FBL_TextMatcherEngine* engine = zv::GetTextMatcherEngine();
  if (engine == nullptr) throw xFBL_FieldError("No regular expression engine is installed");
  mMatcher = engine->Compile(pattern, caseSensitive, language);
}

FBL_RegExprFormula::~FBL_RegExprFormula() = default;

void FBL_RegExprFormula::Apply(REC_ID recID, void* value, bool& isNull) {
  if (isNull || value == nullptr) return;
  const char* text = static_cast<const char*>(value);
  if (mMatcher->Matches(text, std::strlen(text))) Include(recID);
}

void FBL_FindNullBlobsFormula::Apply(REC_ID recID, void* value, bool& isNull) {
  uint32_t reference = 0;
  if (!isNull && value != nullptr) std::memcpy(&reference, value, sizeof reference);
  if (reference == 0) Include(recID);
}

void FBL_GetPointedFormula::Apply(REC_ID /*recID*/, void* value, bool& isNull) {
  if (isNull || value == nullptr) return;
  REC_ID target = 0;
  std::memcpy(&target, value, sizeof target);
  Include(target);
}

FBL_ReplaceFormula::FBL_ReplaceFormula(const void* bytes, uint32_t length)
    : mBytes(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + length),
      mNull(false) {
  if (length > 0 && bytes == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
}

void FBL_ReplaceFormula::Apply(REC_ID /*recID*/, void* value, bool& isNull) {
  isNull = mNull;
  if (mNull || value == nullptr) return;
  std::memcpy(value, mBytes.data(), std::min<size_t>(mBytes.size(), mValueSize));
}
