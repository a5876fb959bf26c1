#include "kernel/tables/string_fields.h"

#include <algorithm>
#include <cstring>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/language.h"
#include "kernel/tables/table.h"
#include "kernel/tables/text_keys.h"
#include "kernel/tables/text_matcher.h"

// ---- by-words flag rules ------------------------------------------------------------

uint16_t zv::ByWordsFlags(uint16_t flags) {
  if ((flags & kFieldByWords) && (flags & kFieldUnique)) {
    flags = static_cast<uint16_t>((flags & ~kFieldUnique) | kFieldIndexed);
  }
  return flags;
}

uint16_t zv::PrepareByWordsAdd(FBL_BaseField& field, uint16_t flags, bool persist) {
  const bool byWords = field.HasFlag(kFieldByWords) || (flags & kFieldByWords);
  if (byWords && (flags & kFieldUnique)) {
    flags = static_cast<uint16_t>((flags & ~kFieldUnique) | kFieldIndexed);
  }
  if ((flags & kFieldByWords) && !field.HasFlag(kFieldByWords)) {
    field.DropIndex();
    if (field.HasFlag(kFieldUnique)) field.RemoveFlags(kFieldUnique, persist);
  }
  return flags;
}

bool zv::PrepareByWordsRemove(FBL_BaseField& field, uint16_t flags) {
  if (!(flags & kFieldByWords) || !field.HasFlag(kFieldByWords)) return false;
  field.DropIndex();
  return true;
}

void zv::RestoreIndexAfterByWords(FBL_BaseField& field) {
  FBL_Table* table = field.GetTable();
  if (!field.HasFlag(kFieldIndexed) || table == nullptr || !table->IsOpened()) return;
  field.CreateIndex();
  field.OpenIndex();
}

void zv::RebuildIndexForLanguage(FBL_BaseField& field) {
  if (field.GetIndex() == nullptr) return;
  field.DropIndex();
  zv::RestoreIndexAfterByWords(field);
}

// ---- String ---------------------------------------------------------------------------

BF_STRING::BF_STRING(const std::string& name, uint16_t flags, uint16_t length)
    : BF_STRING(kTypeString, name, flags, length ? length : kDefaultLength, false) {}

BF_STRING::BF_STRING(uint8_t type, const std::string& name, uint16_t flags, uint16_t length,
                     bool varStorage)
    : FBL_LengthField(type, name, zv::ByWordsFlags(flags), length, length + 1u, varStorage),
      mLanguage(&zv::AsciiLanguage()) {}

bool BF_STRING::SetLanguage(const std::string& name, bool persist) {
  const FBL_Language* language = zv::FindLanguage(name);
  if (language == nullptr) return false;
  const bool changed = language != mLanguage;
  mLanguage = language;
  if (changed) zv::RebuildIndexForLanguage(*this);
  NotifySchemaChange(FBL_SchemaChange::kFieldLanguage, persist);
  return true;
}

void BF_STRING::InitFromField(const FBL_BaseField& other) {
  FBL_LengthField::InitFromField(other);
  if (auto* same = dynamic_cast<const BF_STRING*>(&other)) mLanguage = same->mLanguage;
}

std::string_view BF_STRING::ContentOf(const uint8_t* buffer) const {
  const char* text = reinterpret_cast<const char*>(buffer);
  return std::string_view(text, strnlen(text, GetDeclaredLength()));
}

void BF_STRING::PutContent(const char* bytes, size_t length) {
  size_t n = std::min<size_t>(length, GetDeclaredLength());
  uint8_t* buffer = Data();
  if (n > 0) std::memmove(buffer, bytes, n);
  std::memset(buffer + n, 0, GetBufferSize() + 1 - n);
}

int BF_STRING::CompareContent(std::string_view left, std::string_view right) const {
  return mLanguage->Compare(left.data(), left.size(), right.data(), right.size());
}

void BF_STRING::ParseText(const char* text) {
  PutContent(text, strnlen(text, GetDeclaredLength()));
}

void BF_STRING::SetValue(const void* bytes) {
  const char* text = static_cast<const char*>(bytes);
  PutContent(text, strnlen(text, GetDeclaredLength()));
  MarkChanged();
}

void BF_STRING::SetPrefixedValue(const uint8_t* bytes) {
  const char* text = reinterpret_cast<const char*>(bytes + 1);
  PutContent(text, strnlen(text, bytes[0]));
  MarkChanged();
}

void BF_STRING::AssignFrom(FBL_BaseField& other) {
  if (other.IsNull()) {  // calculates a calculated source
    ClearValue();
    SetNull(true);
    if (!IsNullable()) MarkChanged();
    return;
  }
  if (auto* text = dynamic_cast<BF_STRING*>(&other)) {
    std::string_view content = text->GetContent();
    PutContent(content.data(), content.size());
  } else {
    std::string content = other.GetString();
    ParseText(content.c_str());
  }
  MarkChanged();
}

size_t BF_STRING::ReadQuotedValue(const char* text) {
  size_t consumed = 0;
  std::string value = zv::ReadQuotedText(text, &consumed);
  SetString(value.c_str());
  return consumed;
}

// ---- flags and keys --------------------------------------------------------------------

void BF_STRING::AddFlags(uint16_t flags, bool persist) {
  const bool had = HasFlag(kFieldByWords);
  FBL_LengthField::AddFlags(zv::PrepareByWordsAdd(*this, flags, persist), persist);
  if (!had && HasFlag(kFieldByWords)) zv::RestoreIndexAfterByWords(*this);
}

void BF_STRING::RemoveFlags(uint16_t flags, bool persist) {
  const bool dropped = zv::PrepareByWordsRemove(*this, flags);
  FBL_LengthField::RemoveFlags(flags, persist);
  if (dropped) zv::RestoreIndexAfterByWords(*this);
}

void BF_STRING::MakeWordKeys(std::vector<std::string>& keys) {
  if (!HasFlag(kFieldByWords)) return FBL_LengthField::MakeWordKeys(keys);
  std::string_view content = GetContent();
  MakeWordKeysOf(content.data(), content.size(), *mLanguage, keys);
}

bool BF_STRING::KeysCompareAsBytes() const {
  return mLanguage == &zv::AsciiLanguage();
}

FBL_TextRangeKeys BF_STRING::MakeRangeKeys(const char* left, bool leftIncluded, const char* right,
                                           bool rightIncluded) const {
  return MakeTextRangeKeys(left, leftIncluded, right, rightIncluded, GetDeclaredLength(),
                           mLanguage->GetGreatestChar());
}

std::unique_ptr<FBL_BitSet> BF_STRING::FindRangeByText(const char* left, bool leftIncluded,
                                                       const char* right, bool rightIncluded) {
  FBL_TextRangeKeys keys = MakeRangeKeys(left, leftIncluded, right, rightIncluded);
  return SelectKeyRange(keys.leftIncluded, keys.LeftKey(), keys.RightKey(), keys.rightIncluded);
}

std::unique_ptr<FBL_BitSet> BF_STRING::FindByRegExpr(const std::string& pattern,
                                                     bool caseSensitive) {
  return zv::SelectByRegExpr(*this, pattern, caseSensitive, *mLanguage);
}

// ---- VarChar ---------------------------------------------------------------------------

BF_VarChar::BF_VarChar(const std::string& name, uint16_t flags, uint16_t length)
    : BF_STRING(kTypeVarChar, name, flags, length ? length : kDefaultLength, true) {}
