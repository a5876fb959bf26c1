#include "kernel/tables/base_field.h"
#include "kernel/tables/column_files.h"
#include "kernel/tables/field_factory.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/volume.h"
#include "kernel/tables/record_map.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

static_assert(FBL_KeyOrder::kMaxKeySize == kMaxIndexKeySize);

namespace {

template <typename T>
T LoadAs(const uint8_t* bytes) {
  T v;
  std::memcpy(&v, bytes, sizeof v);
  return v;
}

const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

}  // namespace

// Holds a value in the buffer for a while (a search bound being turned into
// a key): a calculated field does not recompute it, and the value, null and
// dirty flags the buffer had come back at the end of the scope.
class FBL_BaseField::HeldValue {
 public:
  explicit HeldValue(FBL_BaseField& field)
      : mField(field), mKeep(field.GetBufferSize()), mNull(field.mNull), mDirty(field.mDirty) {
    field.GetValue(mKeep.data());
    field.mHoldValue = true;
  }
  ~HeldValue() {
    mField.mHoldValue = false;
    try {
      mField.SetValue(mKeep.data());
    } catch (const xFBL_Exception&) {
      // A constant field (RecID) refuses every value, the held one too.
    }
    mField.mNull = mNull;
    mField.mDirty = mDirty;
  }
  HeldValue(const HeldValue&) = delete;
  HeldValue& operator=(const HeldValue&) = delete;

 private:
  FBL_BaseField& mField;
  std::vector<uint8_t> mKeep;
  bool mNull;
  bool mDirty;
};

FBL_BaseField::FBL_BaseField(uint8_t type, const std::string& name, uint16_t flags)
    : mDesc(std::make_shared<FBL_FieldDescriptor>(
          type, (flags & kFieldUnique) ? flags | kFieldIndexed : flags)),
      mName(name) {}

FBL_BaseField::~FBL_BaseField() = default;

// ---- identity ---------------------------------------------------------------------

void FBL_BaseField::AttachToTable(FBL_Table& table, uint32_t position) {
  mTable = &table;
  if (mDesc->mFieldNumber == 0) mDesc->mFieldNumber = position;
  if (IsMethod()) SetMethodText(mDesc->mMethodText, false);
  // The index of a field joining an open table is built by Rebuild, once
  // the field's files hold its values.
}

void FBL_BaseField::InitFromField(const FBL_BaseField& other) {
  mDesc = other.mDesc;
  mName = other.mName;
  mTable = other.mTable;
}

FBL_BaseField& FBL_BaseField::Twin() const {
  if (!mTwin) mTwin = zv::MakeSameType(*this);
  mTwin->InitFromField(*this);
  return *mTwin;
}

void FBL_BaseField::SetName(const std::string& name, bool persist) {
  mName = name;
  NotifySchemaChange(FBL_SchemaChange::kFieldName, persist);
}

void FBL_BaseField::NotifySchemaChange(FBL_SchemaChange change, bool persist) {
  if (persist && mTable != nullptr) mTable->OnSchemaChange(change, this);
}

void FBL_BaseField::SetMethodText(const std::string& text, bool persist) {
  mDesc->mMethodText = text;
  mDesc->mFormula.reset();
  if (text.empty()) {
    mDesc->mFlags &= static_cast<uint16_t>(~kFieldMethod);
  } else {
    mDesc->mFlags |= kFieldMethod;
    mDesc->mPlainSlots = false;
    FBL_FormulaCompiler* compiler = mTable ? mTable->GetFormulaCompiler() : nullptr;
    if (compiler != nullptr) mDesc->mFormula = compiler->Compile(text, *mTable, *this);
  }
  NotifySchemaChange(FBL_SchemaChange::kFieldMethod, persist);
}

// ---- the current value ----------------------------------------------------------

void FBL_BaseField::Refresh() {
  if (IsMethod() && !mHoldValue) CalculateMethod(mRecID);
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
      PutBits(other.BufferBits(), true);
      break;
    case ValueClass::kUnsigned:
      PutBits(other.BufferBits(), false);
      break;
    case ValueClass::kFloating:
      PutDouble(other.BufferDouble());
      break;
    case ValueClass::kBinary:
      ClearBuffer();
      break;
    case ValueClass::kOther:
      ParseText(other.GetString().c_str());
      break;
  }
}

// The text forms are the Long Long, ULong Long and Double ones.
void FBL_BaseField::PutBits(uint64_t bits, bool isSigned) {
  char text[32];
  if (isSigned) {
    std::snprintf(text, sizeof text, "%" PRId64, static_cast<int64_t>(bits));
  } else {
    std::snprintf(text, sizeof text, "%" PRIu64, bits);
  }
  ParseText(text);
}

void FBL_BaseField::PutDouble(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.16G", value);
  ParseText(text);
}

uint64_t FBL_BaseField::GetAsBits() {
  return IsNull() ? 0 : BufferBits();  // IsNull calculates a calculated field
}

double FBL_BaseField::GetAsDouble() {
  return IsNull() ? 0 : BufferDouble();
}

void FBL_BaseField::SetFromBits(uint64_t bits, bool isSigned) {
  PutBits(bits, isSigned);
  MarkChanged();
}

void FBL_BaseField::SetFromDouble(double value) {
  PutDouble(value);
  MarkChanged();
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
  return LoadBitFile(mDesc->mNullMap.get(), mTable ? mTable->GetMaxRecID() : 0);
}

std::unique_ptr<FBL_BitSet> FBL_BaseField::SelectCompared(const FBL_BitSet& among,
                                                          const void* bound, uint8_t orders) {
  auto found = std::make_unique<FBL_BitSet>(among.GetSize());
  const bool slots = !IsMethod() && mDesc->mWindow.IsAttached() && IsRawCopy() &&
                     !mDesc->mSwapped && GetValueSize() == GetBufferSize() &&
                     GetValueSize() <= sizeof mValue;
  if (!slots) {
    FBL_BaseField& reader = Twin();
    among.ForEachMember([&](REC_ID r) {
      reader.ReadRecord(r);
      if (!reader.IsNull() && OrderKept(orders, reader.Compare(bound))) found->Include(r);
    });
    return found;
  }
  FBL_BitSet candidates(among.GetSize());
  candidates.Union(among);
  if (mDesc->mNullMap) candidates.Difference(*SelectNulls());
  CompareSlots(candidates, bound, orders, *found);
  return found;
}

void FBL_BaseField::CompareSlots(const FBL_BitSet& candidates, const void* bound, uint8_t orders,
                                 FBL_BitSet& found) {
  CompareSlotsWith(candidates, orders, found,
                   [&](const uint8_t* value) { return CompareValues(value, bound); });
}

std::unique_ptr<FBL_BitSet> FBL_BaseField::LoadBitFile(FBL_BitSetFile* file, uint32_t size) {
  auto set = std::make_unique<FBL_BitSet>(size);
  if (file == nullptr || !file->IsOpen() || size == 0) return set;
  std::vector<uint8_t> bytes(std::min<uint64_t>(file->GetLength(), (uint64_t{size} + 7) / 8));
  if (!bytes.empty()) {
    file->SetPosition(0);
    file->Read(bytes.data(), bytes.size());
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

void FBL_BaseField::RemoveFlags(uint16_t flags, bool persist) {
  // Without an index nothing could keep values unique.
  if (flags & kFieldIndexed) flags |= kFieldUnique;
  uint16_t before = mDesc->mFlags;
  mDesc->mFlags = static_cast<uint16_t>(before & ~flags);
  if ((before & kFieldIndexed) && !(mDesc->mFlags & kFieldIndexed)) {
    DropIndex();
  } else if ((before & kFieldUnique) && !(mDesc->mFlags & kFieldUnique) && mDesc->mIndex) {
    // The index's kind follows the unique bit: a new one replaces it.
    DropIndex();
    if (mTable != nullptr && mTable->IsOpened()) {
      CreateIndex();
      OpenIndex();
    }
  }
  if ((before & kFieldNullable) && !(mDesc->mFlags & kFieldNullable)) {
    RemoveFile(mDesc->mNullMap.get());
    mDesc->mNullMap.reset();
    mNull = false;
  }
  if (mDesc->mFlags != before) NotifySchemaChange(FBL_SchemaChange::kFieldFlags, persist);
}

void FBL_BaseField::AddFlags(uint16_t flags, bool persist) {
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
  if ((added & (kFieldIndexed | kFieldUnique)) && open) RenewIndexForFlags(before, added);
  if (added != 0) NotifySchemaChange(FBL_SchemaChange::kFieldFlags, persist);
}

void FBL_BaseField::RenewIndexForFlags(uint16_t before, uint16_t added) {
  bool hadIndex = mDesc->mIndex != nullptr;
  if (hadIndex && (added & kFieldUnique)) DropIndex();
  try {
    CreateIndex();
    OpenIndex();
  } catch (const xFBL_Exception&) {
    // A unique index cannot be built over duplicates (344): the field keeps
    // its former index bits and an index like the one it had.
    DropIndex();
    constexpr uint16_t kIndexBits = kFieldIndexed | kFieldUnique;
    mDesc->mFlags = static_cast<uint16_t>((mDesc->mFlags & ~kIndexBits) | (before & kIndexBits));
    if (hadIndex) {
      CreateIndex();
      OpenIndex();
    }
    throw;
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

std::unique_ptr<FBL_BitSet> FBL_BaseField::FindValue(const void* value) {
  return FindRange(value, true, value, true);
}

std::unique_ptr<FBL_ArraySet> FBL_BaseField::FindValueAsSet(const void* value) {
  return FindRangeAsSet(value, true, value, true);
}

bool FBL_BaseField::IsNaNValue(const void* value) const {
  if (value == nullptr || GetValueClass() != ValueClass::kFloating) return false;
  return GetBufferSize() == 4 ? std::isnan(LoadAs<float>(static_cast<const uint8_t*>(value)))
                              : std::isnan(LoadAs<double>(static_cast<const uint8_t*>(value)));
}

// NaN keys sort after every number: a range of numbers (a right side open
// or NaN, a left side a number) ends at +infinity, so it never takes NaN.
const void* FBL_BaseField::RightBoundOfNumbers(const void* left, const void* right,
                                              bool& rightIncluded, uint8_t* infinity) const {
  if (GetValueClass() != ValueClass::kFloating || IsNaNValue(left)) return right;
  if (right != nullptr && !IsNaNValue(right)) return right;
  if (GetBufferSize() == 4) {
    const float f = std::numeric_limits<float>::infinity();
    std::memcpy(infinity, &f, sizeof f);
  } else {
    const double d = std::numeric_limits<double>::infinity();
    std::memcpy(infinity, &d, sizeof d);
  }
  rightIncluded = true;
  return infinity;
}

std::unique_ptr<FBL_BitSet> FBL_BaseField::FindRange(const void* left, bool leftIncluded,
                                                     const void* right, bool rightIncluded) {
  alignas(8) uint8_t infinity[8];
  right = RightBoundOfNumbers(left, right, rightIncluded, infinity);
  uint8_t leftKey[kMaxIndexKeySize], rightKey[kMaxIndexKeySize];
  if (left != nullptr) MakeKeyOf(left, leftKey);
  if (right != nullptr) MakeKeyOf(right, rightKey);
  std::unique_ptr<FBL_BitSet> set = SelectKeyRange(leftIncluded, left ? leftKey : nullptr,
                                                   right ? rightKey : nullptr, rightIncluded);
  if (!set) set = std::make_unique<FBL_BitSet>(mTable ? mTable->GetMaxRecID() : 0);
  return set;
}

std::unique_ptr<FBL_ArraySet> FBL_BaseField::FindRangeAsSet(const void* left, bool leftIncluded,
                                                            const void* right, bool rightIncluded) {
  alignas(8) uint8_t infinity[8];
  right = RightBoundOfNumbers(left, right, rightIncluded, infinity);
  uint8_t leftKey[kMaxIndexKeySize], rightKey[kMaxIndexKeySize];
  if (left != nullptr) MakeKeyOf(left, leftKey);
  if (right != nullptr) MakeKeyOf(right, rightKey);
  std::unique_ptr<FBL_ArraySet> set = SelectKeyRangeAsArray(
      leftIncluded, left ? leftKey : nullptr, right ? rightKey : nullptr, rightIncluded);
  if (!set) set = std::make_unique<FBL_ArraySet>();
  return set;
}

std::vector<uint8_t> FBL_BaseField::ParseBound(const char* text) {
  std::vector<uint8_t> bound(GetBufferSize());
  HeldValue held(*this);
  SetString(text);
  GetValue(bound.data());
  return bound;
}

std::unique_ptr<FBL_BitSet> FBL_BaseField::FindRangeByText(const char* left, bool leftIncluded,
                                                           const char* right, bool rightIncluded) {
  std::vector<uint8_t> from, to;
  if (left != nullptr) from = ParseBound(left);
  if (right != nullptr) to = ParseBound(right);
  return FindRange(left ? from.data() : nullptr, leftIncluded, right ? to.data() : nullptr,
                   rightIncluded);
}

std::unique_ptr<FBL_BitSet> FBL_BaseField::FindByRegExpr(const std::string& /*pattern*/,
                                                         bool /*caseSensitive*/) {
  throw xFBL_FieldError("Only String, VarChar and Text fields are searched by pattern");
}

std::unique_ptr<FBL_BitSet> FBL_BaseField::SelectKeyRange(bool leftIncluded, const uint8_t* leftKey,
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

std::unique_ptr<FBL_Set> FBL_BaseField::SelectKeyRangeAsSet(bool leftIncluded,
                                                            const uint8_t* leftKey,
                                                            const uint8_t* rightKey,
                                                            bool rightIncluded,
                                                            uint32_t arrayLimit) {
  FBL_FieldIndex* index = EnsureIndex();
  if (index == nullptr) return nullptr;
  return index->SelectRangeAsSet(leftIncluded, leftKey, rightKey, rightIncluded, arrayLimit,
                                 mTable ? mTable->GetMaxRecID() : 0);
}

bool FBL_BaseField::ValueExists() {
  if (IsNullable() && IsNull()) return false;
  FBL_FieldIndex* index = EnsureIndex();
  if (index == nullptr) return false;
  uint8_t key[kMaxIndexKeySize];
  MakeKey(key);
  REC_ID first = 0;
  return index->FindFirst(key, first);
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

// A unique index takes one key per record (a by-words index is never
// unique), so its check in Insert covers the record.
void FBL_BaseField::AddToIndex(REC_ID recID) {
  FBL_FieldIndex* index = mDesc->mIndex.get();
  if (index == nullptr) return;
  OpenIndex();
  if (IsNullable() && IsNull()) return;
  if (!HasFlag(kFieldByWords)) {
    uint8_t key[kMaxIndexKeySize];
    MakeKey(key);
    return index->Insert(key, recID);
  }
  std::vector<std::string> keys;
  MakeWordKeys(keys);
  for (const std::string& key : keys) index->Insert(Bytes(key), recID);
}

void FBL_BaseField::RemoveFromIndex(REC_ID recID) {
  FBL_FieldIndex* index = mDesc->mIndex.get();
  if (index == nullptr) return;
  OpenIndex();
  if (IsNullable() && IsNull()) return;
  if (!HasFlag(kFieldByWords)) {
    uint8_t key[kMaxIndexKeySize];
    MakeKey(key);
    return index->Remove(key, recID);
  }
  std::vector<std::string> keys;
  MakeWordKeys(keys);
  for (const std::string& key : keys) index->Remove(Bytes(key), recID);
}

void FBL_BaseField::RemoveStoredKeys(REC_ID recID) {
  if (!mDesc->mIndex) return;
  if (IsMethod()) {
    // The buffer is calculated again from the field's RecID when read.
    const REC_ID keep = mRecID;
    try {
      CalculateMethod(recID);
      RemoveFromIndex(recID);
    } catch (...) {
      mRecID = keep;
      throw;
    }
    mRecID = keep;
    return;
  }
  WithStoredValue(recID, [&] { RemoveFromIndex(recID); });
}

void FBL_BaseField::RemoveStoredKeys(std::span<const REC_ID> records) {
  FBL_FieldIndex* index = mDesc->mIndex.get();
  if (index == nullptr) return;
  if (records.size() < 2 || IsMethod() || HasFlag(kFieldByWords)) {
    for (REC_ID r : records) RemoveStoredKeys(r);
    return;
  }
  OpenIndex();
  // prefix: the key's order bits or first bytes, so that most comparisons
  // of the sort make no call.
  struct Entry {
    uint64_t prefix;
    size_t at;
    REC_ID recID;
  };
  const bool fixed = HasFixedKey();
  const bool bits = fixed && HasKeyOrderBits();
  const bool bytes = !fixed && KeysCompareAsBytes();
  std::vector<uint8_t> keys;
  std::vector<Entry> entries;
  entries.reserve(records.size());
  uint8_t key[kMaxIndexKeySize];
  for (REC_ID r : records) {
    uint32_t n = 0;
    WithStoredValue(r, [&] {
      if (!IsNullable() || !IsNull()) n = MakeKey(key);
    });
    if (n == 0) continue;
    entries.push_back({bits ? KeyOrderBits(key) : bytes ? BytesPrefix(key) : 0, keys.size(), r});
    keys.insert(keys.end(), key, key + n);
  }
  const uint8_t* base = keys.data();
  std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    int c;
    if (bits) {
      c = a.prefix < b.prefix ? -1 : a.prefix > b.prefix ? 1 : 0;
    } else if (bytes) {
      c = CompareAsBytes(base + a.at, a.prefix, base + b.at, b.prefix);
    } else {
      c = CompareKeys(base + a.at, base + b.at);
    }
    return c != 0 ? c < 0 : a.recID < b.recID;
  });
  for (const Entry& e : entries) index->Remove(base + e.at, e.recID);
}

// ---- index keys ----------------------------------------------------------------

uint32_t FBL_BaseField::MakeKey(uint8_t* out) {
  Refresh();
  EncodeValue(out);
  return GetValueSize();
}

uint32_t FBL_BaseField::MakeKeyOf(const void* value, uint8_t* out) {
  if (HasFixedKey() && GetBufferSize() <= sizeof mValue) {
    // Straight into the buffer: no setter runs (a RecID field refuses one).
    alignas(8) uint8_t keep[sizeof mValue];
    std::memcpy(keep, mValue, sizeof keep);
    std::memcpy(mValue, value, GetBufferSize());
    EncodeValue(out);
    std::memcpy(mValue, keep, sizeof keep);
    return GetValueSize();
  }
  HeldValue held(*this);
  SetValue(value);
  return MakeKey(out);
}

bool FBL_BaseField::HasKeyOrderBits() const {
  if (!HasFixedKey()) return false;
  uint32_t size = GetBufferSize();
  switch (GetValueClass()) {
    case ValueClass::kSigned:
    case ValueClass::kUnsigned:
      return size == 1 || size == 2 || size == 4 || size == 8;
    case ValueClass::kFloating:
      return size == 4 || size == 8;
    default:
      return false;
  }
}

bool FBL_BaseField::HasIntegerKeys(uint32_t& width, bool& isSigned) const {
  const ValueClass kind = GetValueClass();
  if (!IsRawCopy() || !HasFixedKey() ||
      (kind != ValueClass::kSigned && kind != ValueClass::kUnsigned))
    return false;
  width = GetValueSize();
  isSigned = kind == ValueClass::kSigned;
  return width == 1 || width == 2 || width == 4 || width == 8;
}

// Integers of the buffer's width, the sign bit flipped for signed ones;
// floating values by their IEEE bits, negative ones inverted.
uint64_t FBL_BaseField::KeyOrderBits(const uint8_t* key) const {
  alignas(8) uint8_t buffer[8] = {};
  KeyToBuffer(key, buffer);
  const uint32_t size = GetBufferSize();
  const ValueClass kind = GetValueClass();
  if (kind == ValueClass::kFloating) {
    double d = size == 4 ? double{LoadAs<float>(buffer)} : LoadAs<double>(buffer);
    if (std::isnan(d)) return UINT64_MAX;
    if (d == 0) d = 0;  // -0 equals 0
    uint64_t bits = std::bit_cast<uint64_t>(d);
    return (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
  }
  uint64_t bits = 0;
  switch (size) {
    case 1:
      bits = buffer[0];
      break;
    case 2:
      bits = LoadAs<uint16_t>(buffer);
      break;
    case 4:
      bits = LoadAs<uint32_t>(buffer);
      break;
    default:
      bits = LoadAs<uint64_t>(buffer);
      break;
  }
  if (kind == ValueClass::kSigned) bits ^= uint64_t{1} << (8 * size - 1);
  return bits;
}

void FBL_BaseField::SwapKeyBytes(uint8_t* key) const {
  if (HasFixedKey()) SwapBytes(key);
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

void FBL_BaseField::MakeIndexKeys(std::vector<std::string>& keys) {
  keys.clear();
  if (IsNullable() && IsNull()) return;
  MakeWordKeys(keys);
}

int FBL_BaseField::Compare(const void* value) {
  Refresh();
  return CompareValues(mValue, value);
}
