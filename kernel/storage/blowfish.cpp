#include "kernel/storage/blowfish.h"

#include <algorithm>
#include <cstring>

#include "kernel/storage/blowfish_tables.h"
#include "kernel/storage/byte_order.h"
#include "platform/errors.h"

// The key schedule: the key bytes, cycled, are mixed into the subkeys, then
// every subkey is replaced by successive encryptions of a zero block.
FBL_Blowfish::FBL_Blowfish(FBL_EncryptionKeyRef key, bool forDecryption) : mKey(std::move(key)) {
  if (!mKey || mKey->Count() == 0) throw xFBL_Exception(ERR_WRONG_ENCRYPTION_KEY);
  std::memcpy(mP, kBlowfishInitialP, sizeof mP);
  std::memcpy(mS, kBlowfishInitialS, sizeof mS);
  const uint8_t* k = mKey->Bytes();
  const size_t n = mKey->Count();
  for (size_t i = 0; i < 18; ++i) {
    const size_t j = 4 * i;
    mP[i] ^= uint32_t(k[j % n]) << 24 | uint32_t(k[(j + 1) % n]) << 16 |
             uint32_t(k[(j + 2) % n]) << 8 | uint32_t(k[(j + 3) % n]);
  }
  uint32_t left = 0, right = 0;
  for (size_t i = 0; i < 18; i += 2) {
    Transform(left, right);
    mP[i] = left;
    mP[i + 1] = right;
  }
  for (auto& box : mS) {
    for (size_t i = 0; i < 256; i += 2) {
      Transform(left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
  if (forDecryption) std::reverse(std::begin(mP), std::end(mP));
}

namespace {

// The cipher's halves are big-endian words, whatever the volume's order.
constexpr bool kBig = true;

inline uint32_t F(const uint32_t (&s)[4][256], uint32_t x) {
  return ((s[0][x >> 24] + s[1][(x >> 16) & 255]) ^ s[2][(x >> 8) & 255]) + s[3][x & 255];
}

// The 16 rounds, written out so the compiler keeps both halves in registers.
inline void Rounds(const uint32_t (&p)[18], const uint32_t (&s)[4][256], uint32_t& left,
                   uint32_t& right) {
  uint32_t l = left ^ p[0], r = right;
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    r ^= F(s, l) ^ p[2 * i + 1];
    l ^= F(s, r) ^ p[2 * i + 2];
  }
  left = r ^ p[17];
  right = l;
}

}  // namespace

void FBL_Blowfish::Transform(uint32_t& left, uint32_t& right) const {
  Rounds(mP, mS, left, right);
}

// Four blocks at a time: their rounds are independent, so the table
// lookups of one block overlap the waits of the others.
void FBL_Blowfish::ProcessBlocks(uint8_t* buffer, size_t length) {
  constexpr size_t kLanes = 4;
  size_t i = 0;
  for (; i + 8 * kLanes <= length; i += 8 * kLanes) {
    uint32_t l[kLanes], r[kLanes];
    for (size_t k = 0; k < kLanes; ++k) {
      l[k] = zorder::LoadU32(buffer + i + 8 * k, kBig) ^ mP[0];
      r[k] = zorder::LoadU32(buffer + i + 8 * k + 4, kBig);
    }
#pragma GCC unroll 8
    for (int round = 0; round < 8; ++round) {
      for (size_t k = 0; k < kLanes; ++k) r[k] ^= F(mS, l[k]) ^ mP[2 * round + 1];
      for (size_t k = 0; k < kLanes; ++k) l[k] ^= F(mS, r[k]) ^ mP[2 * round + 2];
    }
    for (size_t k = 0; k < kLanes; ++k) {
      zorder::StoreU32(buffer + i + 8 * k, r[k] ^ mP[17], kBig);
      zorder::StoreU32(buffer + i + 8 * k + 4, l[k], kBig);
    }
  }
  for (; i + 8 <= length; i += 8) {
    uint32_t left = zorder::LoadU32(buffer + i, kBig);
    uint32_t right = zorder::LoadU32(buffer + i + 4, kBig);
    Rounds(mP, mS, left, right);
    zorder::StoreU32(buffer + i, left, kBig);
    zorder::StoreU32(buffer + i + 4, right, kBig);
  }
}

void FBL_Blowfish::Process(uint8_t* block) {
  ProcessTo(block, block);
}

void FBL_Blowfish::ProcessTo(const uint8_t* in, uint8_t* out) {
  uint32_t left = zorder::LoadU32(in, kBig);
  uint32_t right = zorder::LoadU32(in + 4, kBig);
  Transform(left, right);
  zorder::StoreU32(out, left, kBig);
  zorder::StoreU32(out + 4, right, kBig);
}

bool FBL_Blowfish::IsSameKey(const FBL_Encryption& other) const {
  const auto* cipher = dynamic_cast<const FBL_Blowfish*>(&other);
  return cipher != nullptr && std::memcmp(mP, cipher->mP, sizeof mP) == 0;
}
