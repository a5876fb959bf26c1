// The journal's header and record heads: what decodes, and what a damaged
// byte turns into (never a value out of range).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "kernel/storage/byte_order.h"
#include "kernel/storage/journal_format.h"

namespace {

FBL_JournalHeader SampleHeader() {
  FBL_JournalHeader h;
  h.mSalt = 0x1122334455667788ull;
  h.mGeneration = 7;
  h.mSlots[0].mBase = {true, 9216};
  h.mSlots[0].mFingerprintBytes = 9216;
  h.mSlots[0].mFingerprint = 0xABCDEF01;
  h.mSlots[2].mBase = {true, 1u << 20};
  h.mSlots[2].mFingerprintBytes = 65536;
  return h;
}

TEST(JournalFormat, HeaderRoundTripsAndRejectsDamage) {
  uint8_t raw[kJournalHeaderBytes];
  SampleHeader().Encode(raw);
  FBL_JournalHeader back;
  ASSERT_TRUE(FBL_JournalHeader::Decode(raw, back));
  EXPECT_EQ(back.mSalt, 0x1122334455667788ull);
  EXPECT_EQ(back.mGeneration, 7u);
  EXPECT_TRUE(back.mSlots[0].mBase.mExists);
  EXPECT_EQ(back.mSlots[0].mBase.mLength, 9216u);
  EXPECT_EQ(back.mSlots[0].mFingerprint, 0xABCDEF01u);
  EXPECT_FALSE(back.mSlots[1].mBase.mExists);
  EXPECT_EQ(back.mSlots[2].mFingerprintBytes, 65536u);

  // Each damage, with the checksum made right again where it says so: the
  // checksum alone must not be what stands between a bad value and its use.
  struct Case {
    const char* what;
    std::function<void(uint8_t*)> damage;
    bool fixCrc;
  };
  const Case cases[] = {
      {"magic", [](uint8_t* p) { p[3] ^= 1; }, true},
      {"header size", [](uint8_t* p) { zorder::StoreU32(p + 8, 511, false); }, true},
      {"a byte anywhere", [](uint8_t* p) { p[200] ^= 0x40; }, false},
      {"slot state", [](uint8_t* p) { zorder::StoreU32(p + 32, 2, false); }, true},
      {"fingerprint past the length",
       [](uint8_t* p) { zorder::StoreU32(p + 32 + 4, 9217, false); }, true},
      {"fingerprint past 64 KB",
       [](uint8_t* p) { zorder::StoreU32(p + 64 + 32 + 4, 65537, false); }, true},
      {"length of a missing volume",
       [](uint8_t* p) { zorder::StoreU64(p + 32 + 32 + 8, 5, false); }, true},
      {"length beyond 2^48",
       [](uint8_t* p) { zorder::StoreU64(p + 32 + 8, uint64_t{1} << 50, false); }, true},
  };
  for (const Case& c : cases) {
    SampleHeader().Encode(raw);
    c.damage(raw);
    if (c.fixCrc) zorder::StoreU32(raw + 508, JournalCrc(0, raw, 508), false);
    EXPECT_FALSE(FBL_JournalHeader::Decode(raw, back)) << c.what;
  }
}

TEST(JournalFormat, RecordHeadsAreCheckedByKind) {
  struct Case {
    uint32_t kind, slot;
    uint64_t offset, length;
    uint32_t payload;
    bool valid;
  };
  const Case cases[] = {
      {1, 0, 4096, 100, 100, true},
      {1, 3, 0, kJournalMaxPayload, kJournalMaxPayload, true},
      {1, 4, 0, 100, 100, false},                                  // no such volume
      {1, 0, 0, 100, 99, false},                                   // payload differs
      {1, 0, 0, 0, 0, false},                                      // empty
      {1, 0, 0, kJournalMaxPayload + 1, kJournalMaxPayload + 1, false},
      {1, 0, kJournalMaxOffset, 1, 1, false},                      // past 2^48
      {2, 1, 1024, uint64_t{1} << 40, 0, true},
      {2, 1, 1024, 10, 10, false},                                 // zeros carry no payload
      {3, 0, 0, 0, kJournalCommitPayload, true},
      {3, 1, 0, 0, kJournalCommitPayload, false},
      {3, 0, 0, 0, 8, false},
      {4, 0, 0, 0, 0, true},
      {4, 0, 5, 0, 0, false},
      {0, 0, 0, 0, 0, false},
      {9, 0, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    uint8_t head[kJournalRecordHead] = {};
    zorder::StoreU32(head, c.kind, false);
    zorder::StoreU32(head + 4, c.slot, false);
    zorder::StoreU64(head + 8, c.offset, false);
    zorder::StoreU64(head + 16, c.length, false);
    zorder::StoreU32(head + 24, c.payload, false);
    FBL_JournalRecord r;
    EXPECT_EQ(FBL_JournalRecord::DecodeHead(head, r), c.valid)
        << c.kind << " " << c.slot << " " << c.offset << " " << c.length << " " << c.payload;
  }
}

TEST(JournalFormat, ChecksChainFromRecordToRecord) {
  FBL_JournalRecord r;
  r.mSlot = 1;
  r.mOffset = 2048;
  r.mLength = r.mPayloadBytes = 5;
  const uint8_t payload[5] = {1, 2, 3, 4, 5};
  uint8_t a[kJournalRecordHead], b[kJournalRecordHead];
  const uint32_t first = r.Encode(a, payload, 99);
  EXPECT_EQ(FBL_JournalRecord::StoredCheck(a), first);
  EXPECT_EQ(FBL_JournalRecord::Check(a, payload, 99), first);
  // The same record after another one checks differently.
  EXPECT_NE(r.Encode(b, payload, first), first);
  EXPECT_NE(FBL_JournalRecord::Check(a, payload, 98), first);
  const uint8_t other[5] = {1, 2, 3, 4, 6};
  EXPECT_NE(FBL_JournalRecord::Check(a, other, 99), first);

  FBL_JournalVolumes volumes;
  volumes[0] = {true, 9216};
  volumes[3] = {true, 66560};
  std::vector<uint8_t> commit = EncodeCommitPayload(volumes);
  FBL_JournalVolumes back;
  ASSERT_TRUE(DecodeCommitPayload(commit.data(), back));
  EXPECT_EQ(back[3].mLength, 66560u);
  EXPECT_FALSE(back[1].mExists);
  zorder::StoreU32(commit.data() + 16, 7, false);  // a state that is none
  EXPECT_FALSE(DecodeCommitPayload(commit.data(), back));
}

}  // namespace
