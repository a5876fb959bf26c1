#include "kernel/storage/journal_format.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "kernel/storage/byte_order.h"

namespace {

constexpr uint8_t kMagic[8] = {'Z', 'O', 'R', 'J', 'N', 'L', '0', '1'};
constexpr uint32_t kSlotBytes = 32;
constexpr uint32_t kSlotsAt = 32;
constexpr uint32_t kHeaderCrcAt = kJournalHeaderBytes - 4;

uint32_t U32(const uint8_t* p) {
  return zorder::LoadU32(p, false);
}
uint64_t U64(const uint8_t* p) {
  return zorder::LoadU64(p, false);
}
void Put32(uint8_t* p, uint32_t v) {
  zorder::StoreU32(p, v, false);
}
void Put64(uint8_t* p, uint64_t v) {
  zorder::StoreU64(p, v, false);
}

}  // namespace

uint32_t JournalCrc(uint32_t crc, const uint8_t* data, uint64_t n) {
  while (n > 0) {
    const uInt piece = static_cast<uInt>(std::min<uint64_t>(n, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, data, piece));
    data += piece;
    n -= piece;
  }
  return crc;
}

FBL_JournalVolumes FBL_JournalHeader::BaseVolumes() const {
  FBL_JournalVolumes volumes;
  for (uint32_t i = 0; i < kJournalSlots; ++i) volumes[i] = mSlots[i].mBase;
  return volumes;
}

void FBL_JournalHeader::Encode(uint8_t out[kJournalHeaderBytes]) const {
  std::memset(out, 0, kJournalHeaderBytes);
  std::memcpy(out, kMagic, sizeof kMagic);
  Put32(out + 8, kJournalHeaderBytes);
  Put64(out + 16, mSalt);
  Put64(out + 24, mGeneration);
  for (uint32_t i = 0; i < kJournalSlots; ++i) {
    uint8_t* s = out + kSlotsAt + i * kSlotBytes;
    Put32(s, mSlots[i].mBase.mExists ? 1 : 0);
    Put32(s + 4, mSlots[i].mFingerprintBytes);
    Put64(s + 8, mSlots[i].mBase.mLength);
    Put32(s + 16, mSlots[i].mFingerprint);
  }
  Put32(out + kHeaderCrcAt, JournalCrc(0, out, kHeaderCrcAt));
}

bool FBL_JournalHeader::Decode(const uint8_t in[kJournalHeaderBytes], FBL_JournalHeader& out) {
  if (std::memcmp(in, kMagic, sizeof kMagic) != 0) return false;
  if (U32(in + 8) != kJournalHeaderBytes) return false;
  if (U32(in + kHeaderCrcAt) != JournalCrc(0, in, kHeaderCrcAt)) return false;
  FBL_JournalHeader h;
  h.mSalt = U64(in + 16);
  h.mGeneration = U64(in + 24);
  for (uint32_t i = 0; i < kJournalSlots; ++i) {
    const uint8_t* s = in + kSlotsAt + i * kSlotBytes;
    const uint32_t state = U32(s);
    Slot& slot = h.mSlots[i];
    slot.mBase.mExists = state == 1;
    slot.mFingerprintBytes = U32(s + 4);
    slot.mBase.mLength = U64(s + 8);
    slot.mFingerprint = U32(s + 16);
    if (state > 1 || slot.mBase.mLength > kJournalMaxOffset) return false;
    if (slot.mFingerprintBytes > std::min<uint64_t>(kJournalFingerprintMax, slot.mBase.mLength))
      return false;
    if (!slot.mBase.mExists && (slot.mBase.mLength != 0 || slot.mFingerprintBytes != 0))
      return false;
  }
  out = h;
  return true;
}

uint32_t FBL_JournalRecord::Encode(uint8_t out[kJournalRecordHead], const uint8_t* payload,
                                   uint32_t previous) const {
  Put32(out, static_cast<uint32_t>(mKind));
  Put32(out + 4, mSlot);
  Put64(out + 8, mOffset);
  Put64(out + 16, mLength);
  Put32(out + 24, mPayloadBytes);
  const uint32_t check = Check(out, payload, previous);
  Put32(out + 28, check);
  return check;
}

uint32_t FBL_JournalRecord::Check(const uint8_t in[kJournalRecordHead], const uint8_t* payload,
                                  uint32_t previous) {
  uint32_t crc = JournalCrc(previous, in, 28);
  const uint32_t n = U32(in + 24);
  return n == 0 ? crc : JournalCrc(crc, payload, n);
}

uint32_t FBL_JournalRecord::StoredCheck(const uint8_t in[kJournalRecordHead]) {
  return U32(in + 28);
}

bool FBL_JournalRecord::DecodeHead(const uint8_t in[kJournalRecordHead], FBL_JournalRecord& out) {
  FBL_JournalRecord r;
  const uint32_t kind = U32(in);
  r.mSlot = U32(in + 4);
  r.mOffset = U64(in + 8);
  r.mLength = U64(in + 16);
  r.mPayloadBytes = U32(in + 24);
  if (r.mOffset > kJournalMaxOffset || r.mLength > kJournalMaxOffset - r.mOffset) return false;
  switch (kind) {
    case static_cast<uint32_t>(FBL_JournalKind::kData):
      if (r.mSlot >= kJournalSlots || r.mLength == 0 || r.mLength > kJournalMaxPayload ||
          r.mPayloadBytes != r.mLength)
        return false;
      break;
    case static_cast<uint32_t>(FBL_JournalKind::kZero):
      if (r.mSlot >= kJournalSlots || r.mLength == 0 || r.mPayloadBytes != 0) return false;
      break;
    case static_cast<uint32_t>(FBL_JournalKind::kCommit):
      if (r.mSlot != 0 || r.mOffset != 0 || r.mLength != 0 ||
          r.mPayloadBytes != kJournalCommitPayload)
        return false;
      break;
    case static_cast<uint32_t>(FBL_JournalKind::kCheckpoint):
      if (r.mSlot != 0 || r.mOffset != 0 || r.mLength != 0 || r.mPayloadBytes != 0) return false;
      break;
    default:
      return false;
  }
  r.mKind = static_cast<FBL_JournalKind>(kind);
  out = r;
  return true;
}

std::vector<uint8_t> EncodeCommitPayload(const FBL_JournalVolumes& volumes) {
  std::vector<uint8_t> payload(kJournalCommitPayload, 0);
  for (uint32_t i = 0; i < kJournalSlots; ++i) {
    Put32(payload.data() + 16 * i, volumes[i].mExists ? 1 : 0);
    Put64(payload.data() + 16 * i + 8, volumes[i].mExists ? volumes[i].mLength : 0);
  }
  return payload;
}

bool DecodeCommitPayload(const uint8_t* payload, FBL_JournalVolumes& out) {
  FBL_JournalVolumes volumes;
  for (uint32_t i = 0; i < kJournalSlots; ++i) {
    const uint32_t state = U32(payload + 16 * i);
    volumes[i].mExists = state == 1;
    volumes[i].mLength = U64(payload + 16 * i + 8);
    if (state > 1 || volumes[i].mLength > kJournalMaxOffset) return false;
    if (!volumes[i].mExists && volumes[i].mLength != 0) return false;
  }
  out = volumes;
  return true;
}
