#include "kernel/tables/text_keys.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "kernel/tables/language.h"

uint32_t zv::MakeTextKey(uint8_t* out, const char* text, size_t length) {
  auto n = static_cast<uint32_t>(std::min<size_t>(length, kMaxKeyTextBytes));
  out[0] = static_cast<uint8_t>(n);
  if (n > 0) std::memcpy(out + 1, text, n);
  return n + 1;
}

int zv::CompareTextKeys(const FBL_Language* language, const uint8_t* left, const uint8_t* right) {
  const char* a = reinterpret_cast<const char*>(left + 1);
  const char* b = reinterpret_cast<const char*>(right + 1);
  if (language == nullptr) return zv::CompareAscii(a, left[0], b, right[0]);
  return language->Compare(a, left[0], b, right[0]);
}

void MakeWordKeysOf(const char* text, size_t length, const FBL_Language& language,
                    std::vector<std::string>& keys) {
  keys.clear();
  std::vector<std::string> words;
  for (size_t i = 0; i < length;) {
    while (i < length && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    size_t start = i;
    while (i < length && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i > start) words.emplace_back(text + start, std::min<size_t>(i - start, kMaxKeyTextBytes));
  }
  auto less = [&language](const std::string& a, const std::string& b) {
    int c = language.Compare(a.data(), a.size(), b.data(), b.size());
    if (c == 0) c = zv::CompareAscii(a.data(), a.size(), b.data(), b.size());
    return c < 0;
  };
  std::make_heap(words.begin(), words.end(), less);
  std::sort_heap(words.begin(), words.end(), less);
  words.erase(std::unique(words.begin(), words.end()), words.end());
  keys.reserve(words.size());
  for (const std::string& word : words) keys.push_back(zv::MakeTextKey(word.data(), word.size()));
}

FBL_TextRangeKeys MakeTextRangeKeys(const char* left, bool leftIncluded, const char* right,
                                    bool rightIncluded, size_t maxChars, uint8_t greatestChar) {
  FBL_TextRangeKeys keys;
  keys.leftIncluded = leftIncluded;
  keys.rightIncluded = rightIncluded;
  auto keyOf = [maxChars](const char* text) {
    size_t n = strnlen(text, std::min<size_t>(maxChars, kMaxKeyTextBytes));
    return zv::MakeTextKey(text, n);
  };
  if (left != nullptr) {
    keys.hasLeft = true;
    keys.left = keyOf(left);
  }
  if (right != nullptr) {
    keys.hasRight = true;
    keys.right = keyOf(right);
  }
  bool prefix = left != nullptr && right != nullptr && std::strcmp(left, right) == 0 &&
                leftIncluded && !rightIncluded;
  if (prefix) {
    if (keys.right.size() - 1 < kMaxKeyTextBytes) {
      keys.right.push_back(static_cast<char>(greatestChar));
      keys.right[0] = static_cast<char>(keys.right.size() - 1);
    } else {
      keys.right.back() = static_cast<char>(greatestChar);
    }
    keys.rightIncluded = true;
  }
  return keys;
}

std::string zv::ReadQuotedText(const char* text, size_t* consumed) {
  if (text == nullptr) text = "";
  auto isQuote = [](char c) { return c == '\'' || c == '"'; };
  if (!isQuote(text[0])) {
    if (consumed != nullptr) *consumed = std::strlen(text);
    return text;
  }
  size_t end = 1;
  while (text[end] != '\0' && !isQuote(text[end])) ++end;
  if (consumed != nullptr) *consumed = end + (text[end] != '\0' ? 1 : 0);
  return std::string(text + 1, end - 1);
}
