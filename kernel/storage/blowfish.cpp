#include "kernel/storage/blowfish.h"

#include <algorithm>
#include <cstring>

#include "kernel/storage/blowfish_tables.h"
#include "platform/errors.h"

namespace {

uint32_t LoadBigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void StoreBigEndian(uint32_t v, uint8_t* p) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

}  // namespace

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

uint32_t FBL_Blowfish::F(uint32_t x) const {
  return ((mS[0][x >> 24] + mS[1][(x >> 16) & 255]) ^ mS[2][(x >> 8) & 255]) + mS[3][x & 255];
}

void FBL_Blowfish::Transform(uint32_t& left, uint32_t& right) const {
  left ^= mP[0];
  for (int r = 0; r < 8; ++r) {
    right ^= F(left) ^ mP[2 * r + 1];
    left ^= F(right) ^ mP[2 * r + 2];
  }
  right ^= mP[17];
  std::swap(left, right);
}

void FBL_Blowfish::Process(uint8_t* block) {
  ProcessTo(block, block);
}

void FBL_Blowfish::ProcessTo(const uint8_t* in, uint8_t* out) {
  uint32_t left = LoadBigEndian(in);
  uint32_t right = LoadBigEndian(in + 4);
  Transform(left, right);
  StoreBigEndian(left, out);
  StoreBigEndian(right, out + 4);
}

bool FBL_Blowfish::IsSameKey(const FBL_Encryption& other) const {
  const auto* cipher = dynamic_cast<const FBL_Blowfish*>(&other);
  return cipher != nullptr && std::memcmp(mP, cipher->mP, sizeof mP) == 0;
}
