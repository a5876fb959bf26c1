// A text field double with variable index keys (a length byte, then the
// text), compared as unsigned bytes with the shorter text first, and word
// keys when the by-words flag is set. It stands alone: no table, no files.
#pragma once

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/tables/base_field.h"

namespace ztest {

class WordFieldDouble : public FBL_BaseField {
 public:
  // bytes: the field says its keys compare as bytes (they do either way).
  explicit WordFieldDouble(uint16_t flags = 0, bool bytes = false)
      : FBL_BaseField(kTypeString, "words", flags), mBytes(bytes) {}

  void SetText(const std::string& text) { mText = text.substr(0, 255); }

  void SetValue(const void* bytes) override { SetText(static_cast<const char*>(bytes)); }
  void GetValue(void* out) override { std::memcpy(out, mText.c_str(), mText.size() + 1); }
  uint32_t GetValueSize() const override { return 256; }
  uint32_t GetMaxTextLength() const override { return 255; }
  int CompareValues(const void* left, const void* right) const override {
    int c = std::strcmp(static_cast<const char*>(left), static_cast<const char*>(right));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  bool HasFixedKey() const override { return false; }
  uint32_t GetMaxKeySize() const override { return kMaxIndexKeySize; }
  uint32_t GetKeyLength(const uint8_t* key) const override { return key[0] + 1u; }
  uint32_t MakeKey(uint8_t* out) override { return KeyOf(mText, out); }
  bool KeysCompareAsBytes() const override { return mBytes; }
  int CompareKeys(const uint8_t* left, const uint8_t* right) const override {
    int c = std::memcmp(left + 1, right + 1, std::min(left[0], right[0]));
    if (c == 0) c = int(left[0]) - int(right[0]);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  void MakeWordKeys(std::vector<std::string>& keys) override {
    keys.clear();
    std::vector<std::string> words;
    if (HasFlag(kFieldByWords)) {
      std::istringstream in(mText);
      for (std::string w; in >> w;) words.push_back(w);
      std::sort(words.begin(), words.end());
      words.erase(std::unique(words.begin(), words.end()), words.end());
    } else {
      words.push_back(mText);
    }
    for (const std::string& w : words) {
      uint8_t key[kMaxIndexKeySize];
      uint32_t n = KeyOf(w, key);
      keys.emplace_back(reinterpret_cast<const char*>(key), n);
    }
  }

 protected:
  void EncodeValue(uint8_t*) const override {}
  void DecodeValue(const uint8_t*) override {}
  void ParseText(const char* text) override { SetText(text); }
  std::string FormText() const override { return mText; }

 private:
  static uint32_t KeyOf(const std::string& text, uint8_t* out) {
    out[0] = static_cast<uint8_t>(text.size());
    std::memcpy(out + 1, text.data(), text.size());
    return out[0] + 1u;
  }
  std::string mText;
  bool mBytes;
};

}  // namespace ztest
