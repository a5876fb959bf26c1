// A text field for index tests: up to 7 characters stored in an 8-byte
// slot (a length byte, then the text), so tables keep it like a fixed
// field, with the key interface of string fields: a length byte and the
// text, compared as unsigned bytes, the shorter first. SetText takes up to
// 255 characters for tests of pages alone (those are not stored).
#pragma once

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/tables/base_field.h"

namespace ztest {

class IndexTextField : public FBL_BaseField {
 public:
  explicit IndexTextField(const std::string& name, uint16_t flags = 0)
      : FBL_BaseField(kTypeString, name, flags | kFieldKeepsOldValue) {}

  void SetText(const std::string& text) {
    mLong.clear();
    uint8_t* b = Buffer();
    std::memset(b, 0, 8);
    if (text.size() <= 7) {
      b[0] = static_cast<uint8_t>(text.size());
      std::memcpy(b + 1, text.data(), text.size());
    } else {
      mLong = text.substr(0, 255);
    }
    MarkChanged();
  }
  std::string Text() {
    if (!mLong.empty()) return mLong;
    const uint8_t* b = Buffer();
    return std::string(reinterpret_cast<const char*>(b + 1), std::min<uint8_t>(b[0], 7));
  }

  uint32_t GetValueSize() const override { return 8; }
  uint32_t GetMaxTextLength() const override { return 7; }
  int CompareValues(const void* left, const void* right) const override {
    return CompareKeys(static_cast<const uint8_t*>(left), static_cast<const uint8_t*>(right));
  }
  bool HasFixedKey() const override { return false; }
  uint32_t GetMaxKeySize() const override { return kMaxIndexKeySize; }
  uint32_t GetKeyLength(const uint8_t* key) const override { return key[0] + 1u; }
  uint32_t MakeKey(uint8_t* out) override { return KeyOf(Text(), out); }
  bool KeysCompareAsBytes() const override { return mBytes; }
  int CompareKeys(const uint8_t* left, const uint8_t* right) const override {
    int c = 0;
    for (uint32_t i = 1; c == 0 && i <= std::min(left[0], right[0]); ++i)
      c = Fold(left[i]) - Fold(right[i]);
    if (c == 0) c = int(left[0]) - int(right[0]);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  void MakeWordKeys(std::vector<std::string>& keys) override {
    keys.clear();
    if (mBrokenKeys) return;
    std::vector<std::string> words;
    if (HasFlag(kFieldByWords)) {
      std::istringstream in(Text());
      for (std::string w; in >> w;) words.push_back(w);
      std::sort(words.begin(), words.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
      });
      words.erase(std::unique(words.begin(), words.end()), words.end());
      std::sort(words.begin(), words.end());
    } else {
      words.push_back(Text());
    }
    for (const std::string& w : words) {
      uint8_t key[kMaxIndexKeySize];
      uint32_t n = KeyOf(w, key);
      keys.emplace_back(reinterpret_cast<const char*>(key), n);
    }
  }
  void SwapBytes(uint8_t*) const override {}

  static uint32_t KeyOf(const std::string& text, uint8_t* out) {
    out[0] = static_cast<uint8_t>(std::min<size_t>(text.size(), 255));
    std::memcpy(out + 1, text.data(), out[0]);
    return out[0] + 1u;
  }
  static std::string Key(const std::string& text) {
    uint8_t key[kMaxIndexKeySize];
    uint32_t n = KeyOf(text, key);
    return std::string(reinterpret_cast<const char*>(key), n);
  }

  // Makes every build of this field's index come out empty.
  bool mBrokenKeys = false;
  // Keys that differ in case only are one key (never with mBytes).
  bool mCaseless = false;
  // The field tells index builds that its keys compare as bytes.
  bool mBytes = false;

 protected:
  void EncodeValue(uint8_t* out) const override { std::memcpy(out, Buffer(), 8); }
  void DecodeValue(const uint8_t* in) override {
    mLong.clear();
    std::memcpy(Buffer(), in, 8);
    if (Buffer()[0] > 7) Buffer()[0] = 7;
  }
  void ParseText(const char* text) override { SetText(text); }
  std::string FormText() const override {
    const uint8_t* b = Buffer();
    return std::string(reinterpret_cast<const char*>(b + 1), std::min<uint8_t>(b[0], 7));
  }

 private:
  int Fold(uint8_t c) const { return mCaseless && c >= 'A' && c <= 'Z' ? c + 32 : c; }

  std::string mLong;
};

}  // namespace ztest
