#include "kernel/tables/text_matcher.h"

#include <atomic>
#include <string>
#include <string_view>

#include "kernel/sets/bit_set.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/length_field.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

namespace {

std::atomic<FBL_TextMatcherEngine*> gEngine{&zv::RegexTextMatcherEngine()};

}  // namespace

void zv::SetTextMatcherEngine(FBL_TextMatcherEngine* engine) {
  gEngine.store(engine);
}

FBL_TextMatcherEngine* zv::GetTextMatcherEngine() {
  return gEngine.load();
}

std::unique_ptr<FBL_BitSet> zv::SelectByRegExpr(FBL_BaseField& field, const std::string& pattern,
                                                bool caseSensitive, const FBL_Language& language) {
  FBL_TextMatcherEngine* engine = zv::GetTextMatcherEngine();
  if (engine == nullptr) throw xFBL_FieldError("No regular expression engine is installed");
  FBL_Table* table = field.GetTable();
  if (table == nullptr) throw xFBL_DatabaseIsNotOpened();
  std::unique_ptr<FBL_TextMatcher> matcher = engine->Compile(pattern, caseSensitive, language);
  std::unique_ptr<FBL_BitSet> alive = table->SelectAllRecords();
  auto found = std::make_unique<FBL_BitSet>(alive->GetSize());
  // String and VarChar values are searched in the field's buffer, not in
  // a copy.
  auto* inPlace = dynamic_cast<FBL_LengthField*>(&field);
  const REC_ID current = field.GetRecID();
  const bool keep = !field.IsDirty();
  auto backToCurrent = [&] {
    if (keep && current != 0 && table->IsRecordAlive(current)) field.ReadRecord(current);
  };
  try {
    for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
      field.ReadRecord(r);
      if (field.IsNull()) continue;
      bool matches = false;
      if (inPlace != nullptr) {
        const std::string_view text = inPlace->GetContent();
        matches = matcher->Matches(text.data(), text.size());
      } else {
        const std::string text = field.GetString();
        matches = matcher->Matches(text.data(), text.size());
      }
      if (matches) found->Include(r);
    }
  } catch (...) {
    backToCurrent();
    throw;
  }
  backToCurrent();
  return found;
}
