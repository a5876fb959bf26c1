// Known bytes of values and index keys in a database of the big-endian
// order (the other order on the machines we build on), written out by hand
// from the formats: a reversed word here opens every such file wrongly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "kernel/storage/volume_format.h"
#include "tests/indexes/index_fixture.h"
#include "tests/support/raw_file.h"

namespace {

using ztest::IndexTest;
using Bytes = std::vector<uint8_t>;

struct Known {
  uint8_t type;
  uint16_t flags;
  const char* text;
  Bytes value;  // the record's slot in its value file; empty: not compared
  Bytes entry;  // the run of index page bytes that holds its key
};

// Counted pages (non-unique fixed keys): u16 key count 1, u16 RecID count
// 1, the key, u32 count 1. Unique pages: u32 count 1, the key, RecID 1.
// String pages: u8 length, the text, u32 count 1.
Bytes Counted(const Bytes& key) {
  Bytes b = {0, 1, 0, 1};
  b.insert(b.end(), key.begin(), key.end());
  b.insert(b.end(), {0, 0, 0, 1});
  return b;
}
Bytes Unique(const Bytes& key) {
  Bytes b = {0, 0, 0, 1};
  b.insert(b.end(), key.begin(), key.end());
  b.insert(b.end(), {0, 0, 0, 1});
  return b;
}
Bytes StringKey(const char* text) {
  Bytes b = {uint8_t(std::char_traits<char>::length(text))};
  b.insert(b.end(), text, text + b[0]);
  b.insert(b.end(), {0, 0, 0, 1});
  return b;
}

constexpr uint16_t kIndexed = kFieldIndexed;
constexpr uint16_t kUnique = kFieldIndexed | kFieldUnique;

// Byte and Boolean values: a byte and a bit, no order to reverse; their
// index pages are addressed (the key is not stored).
const Known kKnown[] = {
    {kTypeShort, kIndexed, "-300", {0xFE, 0xD4}, Counted({0xFE, 0xD4})},
    {kTypeUShort, kIndexed, "60000", {0xEA, 0x60}, Counted({0xEA, 0x60})},
    // Medium values are 3 bytes, least significant first in either order:
    // 2^24 - 8000000 = 0x85EE00, 16000000 = 0xF42400.
    {kTypeMedium, kIndexed, "-8000000", {0x00, 0xEE, 0x85}, Counted({0x00, 0xEE, 0x85})},
    {kTypeUMedium, kIndexed, "16000000", {0x00, 0x24, 0xF4}, Counted({0x00, 0x24, 0xF4})},
    // 2^32 - 2000000000 = 0x88CA6C00
    {kTypeLong, kUnique, "-2000000000", {0x88, 0xCA, 0x6C, 0x00},
     Unique({0x88, 0xCA, 0x6C, 0x00})},
    {kTypeULong, kIndexed, "4000000000", {0xEE, 0x6B, 0x28, 0x00},
     Counted({0xEE, 0x6B, 0x28, 0x00})},
    // 2^64 - 9 * 10^18 = 0x831993AF1D7C0000
    {kTypeLLong, kIndexed, "-9000000000000000000", {0x83, 0x19, 0x93, 0xAF, 0x1D, 0x7C, 0, 0},
     Counted({0x83, 0x19, 0x93, 0xAF, 0x1D, 0x7C, 0, 0})},
    {kTypeULLong, kUnique, "18000000000000000000", {0xF9, 0xCC, 0xD8, 0xA1, 0xC5, 0x08, 0, 0},
     Unique({0xF9, 0xCC, 0xD8, 0xA1, 0xC5, 0x08, 0, 0})},
    // IEEE single 1.5: sign 0, exponent 127, fraction 0.5.
    {kTypeFloat, kIndexed, "1.5", {0x3F, 0xC0, 0, 0}, Counted({0x3F, 0xC0, 0, 0})},
    // IEEE double -2: sign 1, exponent 1024, fraction 0.
    {kTypeDouble, kIndexed, "-2", {0xC0, 0, 0, 0, 0, 0, 0, 0}, Counted({0xC0, 0, 0, 0, 0, 0, 0, 0})},
    // 2004 * 512 + 2 * 32 + 29 = 0x000FA85D
    {kTypeDate, kIndexed, "02/29/2004", {0x00, 0x0F, 0xA8, 0x5D}, Counted({0x00, 0x0F, 0xA8, 0x5D})},
    // 23 * 4096 + 59 * 64 + 58 = 0x00017EFA
    {kTypeTime, kIndexed, "23:59:58", {0x00, 0x01, 0x7E, 0xFA}, Counted({0x00, 0x01, 0x7E, 0xFA})},
    // The time word 1 * 4096 + 2 * 64 + 3, then the date word
    // 1999 * 512 + 12 * 32 + 31, each on its own.
    {kTypeDateTime, kIndexed, "12/31/1999 01:02:03", {0, 0, 0x10, 0x83, 0x00, 0x0F, 0x9F, 0x9F},
     Counted({0, 0, 0x10, 0x83, 0x00, 0x0F, 0x9F, 0x9F})},
    {kTypeString, kIndexed, "abc", {}, StringKey("abc")},
    {kTypeVarChar, kIndexed, "Zorv", {}, StringKey("Zorv")},
};

bool Holds(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

TEST_F(IndexTest, TheOtherByteOrderStoresKnownBytesOfValuesAndKeys) {
  for (const Known& k : kKnown) {
    SCOPED_TRACE(k.text);
    CreateDb(FBL_ByteOrder::kBigEndian);
    MakeTable({{k.type, k.flags}});
    F(1).SetString(k.text);
    mTable->AddRecord();
    mTable->Flush();
    if (!k.value.empty()) {
      FBL_EmbededFile file(*mDb->GetRecordVolume(), 1, kKindValues, 1);
      file.Open();
      Bytes slot(k.value.size());
      file.SetPosition(0);
      file.Read(slot.data(), uint32_t(slot.size()));
      file.Close();
      EXPECT_EQ(slot, k.value);
    }
    mTable.reset();
    mDb.reset();
    const ztest::RawFile ind(Path() + ".ind");
    EXPECT_TRUE(Holds(ind.Read(0, size_t(ind.Size())), k.entry));
    for (const char* ext : {".vdb", ".dat", ".ind", ".blb"}) std::remove((Path() + ext).c_str());
  }
}

}  // namespace
