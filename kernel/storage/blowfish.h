// The 16-round, 64-bit block cipher files are encrypted with, in ECB mode.
// Blocks are read as two big-endian 32-bit halves whatever the machine, so
// encrypted files move between machines of either byte order.
#pragma once

#include "kernel/storage/encryption.h"
#include "kernel/storage/encryption_key.h"

class FBL_Blowfish : public FBL_Encryption {
 public:
  using FBL_Encryption::Process;

  // True for another cipher of this kind with the same subkeys (so an
  // encryptor and a decryptor of one key are not the same).
  bool IsSameKey(const FBL_Encryption& other) const override;
  void Process(uint8_t* block) override;
  void ProcessTo(const uint8_t* in, uint8_t* out) override;
  uint32_t GetBlockSize() const override { return 8; }

  const FBL_EncryptionKeyRef& Key() const { return mKey; }

 protected:
  // REQUIRES: key is not null.
  FBL_Blowfish(FBL_EncryptionKeyRef key, bool forDecryption);
  void ProcessBlocks(uint8_t* buffer, size_t length) override;
  bool IsConcurrent() const override { return true; }

 private:
  void Transform(uint32_t& left, uint32_t& right) const;

  FBL_EncryptionKeyRef mKey;
  uint32_t mP[18];
  uint32_t mS[4][256];
};

class FBL_BlowfishEncryption : public FBL_Blowfish {
 public:
  explicit FBL_BlowfishEncryption(FBL_EncryptionKeyRef key) : FBL_Blowfish(std::move(key), false) {}
};

// Decrypts with the same block function over the reversed subkeys.
class FBL_BlowfishDecryption : public FBL_Blowfish {
 public:
  explicit FBL_BlowfishDecryption(FBL_EncryptionKeyRef key) : FBL_Blowfish(std::move(key), true) {}
};
