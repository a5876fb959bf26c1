#include "kernel/tables/base_field.h"
#include "kernel/tables/column_files.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "kernel/indexes/array_set.h"
#include "kernel/indexes/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/volume.h"
#include "kernel/tables/record_map.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

FBL_BaseField::FBL_BaseField(uint8_t type, const std::string& name, uint16_t flags)
    : mDesc(std::make_shared<FBL_FieldDescriptor>(
          type, (flags & kFieldUnique) ? flags | kFieldIndexed : flags)),
      mName(name) {}

FBL_BaseField::~FBL_BaseField() = default;

// ---- identity ---------------------------------------------------------------------

void FBL_BaseField::AttachToTable(FBL_Table& table, uint32_t position) {
  mTable = &table;
  if (mDesc->mFieldNumber == 0) mDesc->mFieldNumber = position;
  if (IsMethod()) SetMethodText(mDesc->mMethodText);
  if (HasFlag(kFieldIndexed) && table.IsOpened()) {
    CreateIndex();
    OpenIndex();
  }
}

void FBL_BaseField::InitFromField(const FBL_BaseField& other) {
  mDesc = other.mDesc;
  mName = other.mName;
  mTable = other.mTable;
}

void FBL_BaseField::SetName(const std::string& name, bool /*persist*/) {
  mName = name;
}

void FBL_BaseField::SetMethodText(const std::string& text) {
  mDesc->mMethodText = text;
  mDesc->mFormula.reset();
  if (text.empty()) {
    mDesc->mFlags &= static_cast<uint16_t>(~kFieldMethod);
    return;
  }
  mDesc->mFlags |= kFieldMethod;
  mDesc->mPlainSlots = false;
  FBL_FormulaCompiler* compiler = mTable ? mTable->GetFormulaCompiler() : nullptr;
  if (compiler != nullptr) mDesc->mFormula = compiler->Compile(text, *mTable, *this);
}

// ---- the current value ----------------------------------------------------------

void FBL_BaseField::Refresh() {
  if (IsMethod()) CalculateMethod(mRecID);
}

void FBL_BaseField::ClearBuffer() {
  std::memset(mValue, 0, sizeof mValue);
}

bool FBL_BaseField::IsNull() {
  Refresh();
  return mNull;
}

void FBL_BaseField::SetNull(bool null) {
  mDirty = true;
  if (!null) {
    mNull = false;
    return;
  }
  if (!IsNullable()) return;
  ClearBuffer();
  mNull = true;
}

void FBL_BaseField::AssignFrom(FBL_BaseField& other) {
  bool otherNull = other.IsNull();  // calculates a calculated source
  mDirty = true;
  mNull = false;
  if (otherNull) {
    ClearBuffer();
    mNull = IsNullable();
    return;
  }
  switch (other.GetValueClass()) {
    case ValueClass::kSigned:
      SetFromBits(other.GetAsBits(), true);
      break;
    case ValueClass::kUnsigned:
      SetFromBits(other.GetAsBits(), false);
      break;
    case ValueClass::kFloating:
      SetFromDouble(other.GetAsDouble());
      break;
    case ValueClass::kBinary:
      ClearBuffer();
      break;
    case ValueClass::kOther:
      ParseText(other.GetString().c_str());
      break;
  }
}

void FBL_BaseField::SetFromBits(uint64_t bits, bool /*isSigned*/) {
  ParseText(std::to_string(bits).c_str());
}

void FBL_BaseField::SetFromDouble(double value) {
  ParseText(std::to_string(value).c_str());
}

void FBL_BaseField::SetValue(const void* bytes) {
  std::memcpy(mValue, bytes, GetBufferSize());
  MarkChanged();
}

void FBL_BaseField::GetValue(void* out) {
  Refresh();
  std::memcpy(out, mValue, GetBufferSize());
}

std::unique_ptr<FBL_BitSet> FBL_BaseField::SelectNulls() {
  uint32_t size = mTable ? mTable->GetMaxRecID() : 0;
  auto set = std::make_unique<FBL_BitSet>(size);
  FBL_BitSetFile* map = mDesc->mNullMap.get();
  if (map == nullptr || !map->IsOpen() || size == 0) return set;
  std::vector<uint8_t> bytes(std::min<uint64_t>(map->GetLength(), (uint64_t{size} + 7) / 8));
  if (!bytes.empty()) {
    map->SetPosition(0);
    map->Read(bytes.data(), bytes.size());
    set->LoadBytes(bytes);
  }
  return set;
}

void FBL_BaseField::CalculateMethod(REC_ID recID) {
  mRecID = recID;
  ClearBuffer();
  FBL_MethodFormula* formula = mDesc->mFormula.get();
  mNull = formula == nullptr || formula->Evaluate(recID, *this);
  if (mNull) ClearBuffer();
}

std::string FBL_BaseField::GetString(uint32_t maxChars) {
  Refresh();
  if (mNull) return {};
  std::string text = FormText();
  if (text.size() > maxChars) text.resize(maxChars);
  return text;
}

void FBL_BaseField::SetString(const char* text) {
  ParseText(text != nullptr ? text : "");
  MarkChanged();
}

// ---- flags ----------------------------------------------------------------------

void FBL_BaseField::RemoveFlags(uint16_t flags, bool /*persist*/) {
  uint16_t before = mDesc->mFlags;
  mDesc->mFlags = static_cast<uint16_t>(before & ~flags);
  if ((before & kFieldIndexed) && !(mDesc->mFlags & kFieldIndexed)) DropIndex();
  if ((before & kFieldNullable) && !(mDesc->mFlags & kFieldNullable)) {
    RemoveFile(mDesc->mNullMap.get());
    mDesc->mNullMap.reset();
    mNull = false;
  }
}

void FBL_BaseField::AddFlags(uint16_t flags, bool /*persist*/) {
  if (flags & kFieldUnique) flags |= kFieldIndexed;
  uint16_t before = mDesc->mFlags;
  mDesc->mFlags = static_cast<uint16_t>(before | flags);
  uint16_t added = static_cast<uint16_t>(mDesc->mFlags & ~before);
  bool open = mTable != nullptr && mTable->IsOpened();
  if (added & kFieldNullable) mDesc->mPlainSlots = false;
  if ((added & kFieldNullable) && open && !IsMethod()) {
    MakeFileObjects();
    OpenOrCreate(mDesc->mNullMap.get());
    mDesc->mNullMap->SetLength((uint64_t{mTable->GetMaxRecID()} + 7) / 8);
  }
  if (!(added & (kFieldIndexed | kFieldUnique))) return;
  if (mDesc->mIndex && (added & kFieldUnique)) DropIndex();
  if (open) {
    CreateIndex();
    OpenIndex();
  }
}

// ---- the index ------------------------------------------------------------------

FBL_FieldIndex* FBL_BaseField::EnsureIndex() {
  if (!HasFlag(kFieldIndexed)) AddFlags(kFieldIndexed, true);
  if (!mDesc->mIndex) CreateIndex();
  if (!mDesc->mIndex) return nullptr;
  OpenIndex();
  return mDesc->mIndex.get();
}

std::unique_ptr<FBL_BitSet> FBL_BaseField::SelectKeyRange(bool leftIncluded,
                                                          const uint8_t* leftKey,
                                                          const uint8_t* rightKey,
                                                          bool rightIncluded) {
  FBL_FieldIndex* index = EnsureIndex();
  if (index == nullptr) return nullptr;
  return index->SelectRange(leftIncluded, leftKey, rightKey, rightIncluded);
}

std::unique_ptr<FBL_ArraySet> FBL_BaseField::SelectKeyRangeAsArray(bool leftIncluded,
                                                                   const uint8_t* leftKey,
                                                                   const uint8_t* rightKey,
                                                                   bool rightIncluded) {
  FBL_FieldIndex* index = EnsureIndex();
  if (index == nullptr) return nullptr;
  return index->SelectRangeAsArray(leftIncluded, leftKey, rightKey, rightIncluded);
}

bool FBL_BaseField::ValueExists() {
  if (IsNullable() && IsNull()) return false;
  if (EnsureIndex() == nullptr) return false;
  Refresh();
  REC_ID first = 0;
  return mDesc->mIndex->FindFirst(first);
}

void FBL_BaseField::CreateIndex() {
  if (mDesc->mIndex || mTable == nullptr) return;
  FBL_IndexFactory* factory = mTable->GetIndexFactory();
  if (factory != nullptr) mDesc->mIndex = factory->MakeIndex(*this);
}

void FBL_BaseField::OpenIndex() {
  if (!mDesc->mIndex || mDesc->mIndexOpen) return;
  mDesc->mIndex->Open();
  mDesc->mIndexOpen = true;
}

void FBL_BaseField::DropIndex() {
  if (!mDesc->mIndex) return;
  std::unique_ptr<FBL_FieldIndex> index = std::move(mDesc->mIndex);
  mDesc->mIndexOpen = false;
  index->Drop();
}

void FBL_BaseField::AddToIndex(REC_ID recID) {
  if (!mDesc->mIndex) return;
  OpenIndex();
  mDesc->mIndex->Insert(recID);
}

void FBL_BaseField::RemoveFromIndex(REC_ID recID) {
  if (!mDesc->mIndex) return;
  OpenIndex();
  mDesc->mIndex->Remove(recID);
}

// ---- index keys ----------------------------------------------------------------

uint32_t FBL_BaseField::MakeKey(uint8_t* out) {
  Refresh();
  EncodeValue(out);
  return GetValueSize();
}

void FBL_BaseField::KeyToBuffer(const uint8_t* key, uint8_t* buffer) const {
  std::memcpy(buffer, key, GetValueSize());
}

int FBL_BaseField::CompareKeys(const uint8_t* left, const uint8_t* right) const {
  if (IsRawCopy()) return CompareValues(left, right);
  alignas(8) uint8_t a[8] = {}, b[8] = {};
  KeyToBuffer(left, a);
  KeyToBuffer(right, b);
  return CompareValues(a, b);
}

int FBL_BaseField::CompareWithKey(const uint8_t* key) {
  uint8_t own[kMaxIndexKeySize];
  MakeKey(own);
  return CompareKeys(own, key);
}

void FBL_BaseField::MakeWordKeys(std::vector<std::string>& keys) {
  uint8_t own[kMaxIndexKeySize];
  uint32_t n = MakeKey(own);
  keys.assign(1, std::string(reinterpret_cast<const char*>(own), n));
}

int FBL_BaseField::Compare(const void* value) {
  Refresh();
  return CompareValues(mValue, value);
}
