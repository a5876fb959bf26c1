// The text columns with a declared length L: BF_STRING keeps L + 1 bytes
// per record in place, BF_VarChar keeps the text in a VarChar file (see
// length_field.h for both forms).
//
// Texts compare by the field's language ("ASCII" unless set). A database
// of the other byte order stores texts in the Mac OS Roman character set:
// bytes 128-255 are translated on every write and read, through a copy, so
// the buffer always holds the machine's set.
//
// By words (flag 0x20): the index holds each distinct word of a text
// instead of the text. Adding or removing the flag drops the index (and
// builds it again when the column stays indexed); a by-words index is
// never unique.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kernel/tables/length_field.h"

class FBL_BitSet;
class FBL_Language;
struct FBL_TextRangeKeys;

class BF_STRING : public FBL_LengthField {
 public:
  static constexpr uint16_t kDefaultLength = 20;
  // length 0 takes the default.
  BF_STRING(const std::string& name, uint16_t flags, uint16_t length = 0);

  const FBL_Language& GetLanguage() const { return *mLanguage; }
  // An unknown name keeps the current language; returns whether known. A
  // new language orders the keys anew: the index is built again.
  bool SetLanguage(const std::string& name, bool persist);

  uint32_t GetValueSize() const override { return GetDeclaredLength() + 1u; }
  uint32_t GetMaxTextLength() const override { return GetDeclaredLength(); }
  void InitFromField(const FBL_BaseField& other) override;
  // The buffer's form, as GetValue gives it: a NUL-terminated text (cut to
  // L), so that a value goes out and back in whole.
  void SetValue(const void* bytes) override;
  // A key's form: one length byte, then that many bytes of text (cut to L).
  void SetPrefixedValue(const uint8_t* bytes);
  // Another string's text (cut to L), else the source's text form.
  void AssignFrom(FBL_BaseField& other) override;
  // Sets the value from a quoted text (text_keys.h, ReadQuotedText);
  // returns the characters read.
  size_t ReadQuotedValue(const char* text);

  void AddFlags(uint16_t flags, bool persist) override;
  void RemoveFlags(uint16_t flags, bool persist) override;
  void MakeWordKeys(std::vector<std::string>& keys) override;
  bool KeysCompareAsBytes() const override;

  // The keys a FindRangeByText search passes to the index.
  FBL_TextRangeKeys MakeRangeKeys(const char* left, bool leftIncluded, const char* right,
                                  bool rightIncluded) const;
  // The records whose text lies in the range (null: open side); the same
  // text on both sides, left included and right excluded, finds the texts
  // beginning with it. Makes the field indexed first; null when no index
  // can be made.
  std::unique_ptr<FBL_BitSet> FindRangeByText(const char* left, bool leftIncluded,
                                              const char* right, bool rightIncluded) override;
  // The alive records whose text matches the regular expression.
  std::unique_ptr<FBL_BitSet> FindByRegExpr(const std::string& pattern,
                                            bool caseSensitive) override;

 protected:
  BF_STRING(uint8_t type, const std::string& name, uint16_t flags, uint16_t length,
            bool varStorage);

  std::string_view ContentOf(const uint8_t* buffer) const override;
  void PutContent(const char* bytes, size_t length) override;
  int CompareContent(std::string_view left, std::string_view right) const override;
  bool IsText() const override { return true; }
  void ParseText(const char* text) override;

 private:
  const FBL_Language* mLanguage;
};

class BF_VarChar : public BF_STRING {
 public:
  static constexpr uint16_t kDefaultLength = 504;
  BF_VarChar(const std::string& name, uint16_t flags, uint16_t length = 0);
};

namespace zv {

// The flags a new text field keeps: a by-words index is never unique, so
// unique asks for an index only.
uint16_t ByWordsFlags(uint16_t flags);

// Flag rules of the columns that may be indexed by words (String, VarChar
// and Text): what AddFlags and RemoveFlags do before the common rules.
// Returns the flags to add.
uint16_t PrepareByWordsAdd(FBL_BaseField& field, uint16_t flags, bool persist);
// Returns whether the index was dropped for the flag.
bool PrepareByWordsRemove(FBL_BaseField& field, uint16_t flags);
// After the common rules: an indexed column whose index was dropped gets a
// new one.
void RestoreIndexAfterByWords(FBL_BaseField& field);
// A column whose language changed: its index goes and is made again.
void RebuildIndexForLanguage(FBL_BaseField& field);

}  // namespace zv
