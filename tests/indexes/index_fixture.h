// The index tests' fixture: fields get real indexes
// (FBL_SecondaryIndexFactory); helpers for keys and text fields.
#pragma once

#include <stdexcept>
#include <string>

#include "kernel/indexes/index_factory.h"
#include "kernel/indexes/secondary_index.h"
#include "tests/indexes/index_text_field.h"
#include "tests/support/table_fixture.h"

namespace ztest {

class IndexTest : public TableFixture<FBL_SecondaryIndexFactory> {
 protected:
  FBL_SecondaryIndex& Index(uint32_t position) {
    auto* index = dynamic_cast<FBL_SecondaryIndex*>(F(position).GetIndex());
    if (index == nullptr) throw std::runtime_error("field has no index");
    return *index;
  }
  IndexTextField& Text(uint32_t position) { return static_cast<IndexTextField&>(F(position)); }

  static void AddLong(FBL_Table& t, const char* name, uint16_t flags) {
    t.AddField(zv::MakeField(kTypeLong, name, flags));
  }
  static IndexTextField& AddText(FBL_Table& t, const char* name, uint16_t flags) {
    return static_cast<IndexTextField&>(t.AddField(std::make_unique<IndexTextField>(name, flags)));
  }

  static std::string LongKey(int32_t v) { return std::string(reinterpret_cast<char*>(&v), 4); }
  static const uint8_t* K(const std::string& key) {
    return reinterpret_cast<const uint8_t*>(key.data());
  }
};

}  // namespace ztest
