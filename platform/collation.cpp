#include "platform/collation.h"

#include <unicode/ucnv.h>
#include <unicode/ucol.h>

#include <array>
#include <mutex>
#include <vector>

namespace platform {

namespace {

struct CollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};
struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

class IcuCollator : public Collator {
 public:
  IcuCollator(std::unique_ptr<UCollator, CollatorCloser> collator,
              std::unique_ptr<UConverter, ConverterCloser> converter)
      : mCollator(std::move(collator)), mConverter(std::move(converter)) {
    mSingleByte = ucnv_getMaxCharSize(mConverter.get()) == 1;
    if (mSingleByte) BuildByteTable();
  }

  int Compare(const char* a, size_t aLength, const char* b, size_t bLength) const override {
    std::vector<UChar> ua, ub;
    ToUtf16(a, aLength, ua);
    ToUtf16(b, bLength, ub);
    const UCollationResult r =
        ucol_strcoll(mCollator.get(), ua.data(), int32_t(ua.size()), ub.data(), int32_t(ub.size()));
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
  }

  std::string ValidLocale() const override {
    UErrorCode status = U_ZERO_ERROR;
    const char* name = ucol_getLocaleByType(mCollator.get(), ULOC_VALID_LOCALE, &status);
    return U_SUCCESS(status) && name != nullptr ? name : "";
  }

 private:
  // Single-byte code pages convert through a table: no converter state, so
  // comparisons need no lock.
  void BuildByteTable() {
    for (int byte = 0; byte < 256; ++byte) {
      const char in = static_cast<char>(byte);
      UChar out[4] = {0};
      UErrorCode status = U_ZERO_ERROR;
      const int32_t n = ucnv_toUChars(mConverter.get(), out, 4, &in, 1, &status);
      mByteTable[byte] = (U_SUCCESS(status) && n >= 1) ? out[0] : UChar(0xFFFD);
    }
  }

  void ToUtf16(const char* text, size_t length, std::vector<UChar>& out) const {
    if (mSingleByte) {
      out.resize(length);
      for (size_t i = 0; i < length; ++i) out[i] = mByteTable[static_cast<unsigned char>(text[i])];
      return;
    }
    out.resize(length * 2 + 2);
    std::lock_guard lock(mConverterLock);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(mConverter.get(), out.data(), int32_t(out.size()), text,
                                    int32_t(length), &status);
    out.resize(U_SUCCESS(status) && n >= 0 ? size_t(n) : 0);
  }

  std::unique_ptr<UCollator, CollatorCloser> mCollator;
  std::unique_ptr<UConverter, ConverterCloser> mConverter;
  // Multi-byte converters keep state (the threading model:
  // kernel/storage/sync_objects.h).
  mutable std::mutex mConverterLock;
  bool mSingleByte = false;
  std::array<UChar, 256> mByteTable{};
};

}  // namespace

std::unique_ptr<Collator> Collator::Create(const std::string& locale, const std::string& codePage) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, ConverterCloser> converter(ucnv_open(codePage.c_str(), &status));
  if (U_FAILURE(status) || !converter) return nullptr;
  status = U_ZERO_ERROR;
  std::unique_ptr<UCollator, CollatorCloser> collator(ucol_open(locale.c_str(), &status));
  // A warning only says the locale uses the common rules, which many do.
  if (U_FAILURE(status) || !collator) return nullptr;
  return std::make_unique<IcuCollator>(std::move(collator), std::move(converter));
}

}  // namespace platform
