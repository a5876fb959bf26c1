// Language-aware comparison of 8-bit texts. Texts are in the Windows ANSI
// code page of their language; both sides are converted to UTF-16 and
// compared by a collator for the language's locale.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

class Collator {
 public:
  // locale: a locale name ("fr_CA"); codePage: a converter name
  // ("windows-1252"). Null when either is unknown.
  static std::unique_ptr<Collator> Create(const std::string& locale, const std::string& codePage);
  virtual ~Collator() = default;

  // -1, 0 or +1. Safe to call from several threads (the threading model:
  // kernel/storage/sync_objects.h).
  virtual int Compare(const char* a, size_t aLength, const char* b, size_t bLength) const = 0;
  // The locale the collator's data was found for ("root" when none).
  virtual std::string ValidLocale() const = 0;
};

}  // namespace platform
