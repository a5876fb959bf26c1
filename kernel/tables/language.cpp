#include "kernel/tables/language.h"

#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/collation.h"

namespace {

struct LanguageInfo {
  std::string_view name;
  uint32_t localeId;
  const char* locale;    // collation locale
  const char* codePage;  // the 8-bit character set texts of the language use
};

// Languages without an 8-bit code page of their own keep the Western one.
constexpr LanguageInfo kLanguages[] = {
    {"Afrikaans", 0x36, "af", "windows-1252"},
    {"Albanian", 0x1C, "sq", "windows-1250"},
    {"Arabic", 0x01, "ar", "windows-1256"},
    {"Armenian", 0x2B, "hy", "windows-1252"},
    {"Bangladesh", 0x45, "bn", "windows-1252"},
    {"Basque", 0x2D, "eu", "windows-1252"},
    {"Byelorussian", 0x23, "be", "windows-1251"},
    {"Bulgarian", 0x02, "bg", "windows-1251"},
    {"Catalan", 0x03, "ca", "windows-1252"},
    {"Chinese", 0x04, "zh", "windows-936"},
    {"Croatian", 0x1A, "hr", "windows-1250"},
    {"Czech", 0x05, "cs", "windows-1250"},
    {"Danish", 0x06, "da", "windows-1252"},
    {"Dutch", 0x13, "nl", "windows-1252"},
    {"English", 0x09, "en", "windows-1252"},
    {"Estonian", 0x25, "et", "windows-1257"},
    {"Farsi", 0x29, "fa", "windows-1256"},
    {"Finnish", 0x0B, "fi", "windows-1252"},
    {"French", 0x0C, "fr", "windows-1252"},
    {"French Canadian", 0x3000C, "fr_CA", "windows-1252"},
    {"German", 0x07, "de", "windows-1252"},
    {"Greek", 0x08, "el", "windows-1253"},
    {"Hebrew", 0x0D, "he", "windows-1255"},
    {"Hindi", 0x39, "hi", "windows-1252"},
    {"Hungarian", 0x0E, "hu", "windows-1250"},
    {"Icelandic", 0x0F, "is", "windows-1252"},
    {"Indonesian", 0x21, "id", "windows-1252"},
    {"Italian", 0x10, "it", "windows-1252"},
    {"Japanese", 0x11, "ja", "windows-932"},
    {"Korean", 0x12, "ko", "windows-949"},
    {"Latvian", 0x26, "lv", "windows-1257"},
    {"Lithuanian", 0x27, "lt", "windows-1257"},
    {"Norwegian", 0x14, "nb", "windows-1252"},
    {"Polish", 0x15, "pl", "windows-1250"},
    {"Portuguese", 0x16, "pt", "windows-1252"},
    {"Romanian", 0x18, "ro", "windows-1250"},
    {"Russian", 0x19, "ru", "windows-1251"},
    {"Slovakian", 0x1B, "sk", "windows-1250"},
    {"Slovenian", 0x24, "sl", "windows-1250"},
    {"Spanish", 0x0A, "es", "windows-1252"},
    {"Swedish", 0x1D, "sv", "windows-1252"},
    {"Simplified Chinese", 0x20004, "zh_Hans", "windows-936"},
    {"Thai", 0x1E, "th", "windows-874"},
    {"Turkish", 0x1F, "tr", "windows-1254"},
    {"Traditional Chinese", 0x10004, "zh_Hant", "windows-950"},
    {"Ukrainian", 0x22, "uk", "windows-1251"},
    {"Vietnamese", 0x2A, "vi", "windows-1258"},
};

const LanguageInfo* FindInfo(const std::string& name) {
  for (const LanguageInfo& info : kLanguages) {
    if (info.name == name) return &info;
  }
  return nullptr;
}

class LanguageList {
 public:
  LanguageList() { mLanguages.push_back(std::make_unique<FBL_Language>("ASCII", 0, "", nullptr)); }

  const FBL_Language* Find(const std::string& name) {
    std::lock_guard lock(mMutex);
    for (const auto& language : mLanguages) {
      if (language->GetName() == name) return language.get();
    }
    const LanguageInfo* info = FindInfo(name);
    if (info == nullptr) return nullptr;
    auto collator = platform::Collator::Create(info->locale, info->codePage);
    if (!collator) collator = platform::Collator::Create("root", info->codePage);
    if (!collator) return nullptr;
    mLanguages.push_back(
        std::make_unique<FBL_Language>(name, info->localeId, info->codePage, std::move(collator)));
    return mLanguages.back().get();
  }

  const FBL_Language& Ascii() const { return *mLanguages.front(); }

 private:
  std::mutex mMutex;  // the threading model: kernel/storage/sync_objects.h
  std::vector<std::unique_ptr<FBL_Language>> mLanguages;
};

LanguageList& Languages() {
  static LanguageList list;
  return list;
}

}  // namespace

int zv::CompareAscii(const char* a, size_t aLength, const char* b, size_t bLength) {
  const int r = std::memcmp(a, b, aLength < bLength ? aLength : bLength);
  if (r != 0) return r < 0 ? -1 : 1;
  return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

FBL_Language::FBL_Language(std::string name, uint32_t localeId, std::string codePage,
                           std::unique_ptr<platform::Collator> collator)
    : mName(std::move(name)),
      mLocaleId(localeId),
      mCodePage(std::move(codePage)),
      mCollator(std::move(collator)) {
  mGreatestChar = 1;
  for (int c = 2; c < 256; ++c) {
    const char candidate = static_cast<char>(c);
    const char greatest = static_cast<char>(mGreatestChar);
    if (Compare(&candidate, 1, &greatest, 1) > 0) mGreatestChar = static_cast<uint8_t>(c);
  }
}

FBL_Language::~FBL_Language() = default;

int FBL_Language::Compare(const char* a, size_t aLength, const char* b, size_t bLength) const {
  if (!mCollator) return zv::CompareAscii(a, aLength, b, bLength);
  return mCollator->Compare(a, aLength, b, bLength);
}

const FBL_Language* zv::FindLanguage(const std::string& name) {
  return Languages().Find(name);
}

const FBL_Language& zv::AsciiLanguage() {
  return Languages().Ascii();
}

uint32_t zv::LanguageLocaleId(const std::string& name) {
  const LanguageInfo* info = FindInfo(name);
  return info == nullptr ? 0 : info->localeId;
}
