// A trivial cipher for tests: XOR with a key byte that also depends on the
// byte's place in its 8-byte block, so misaligned units show up.
#pragma once

#include "kernel/storage/encryption.h"

namespace ztest {

class XorCipher : public FBL_Encryption {
 public:
  explicit XorCipher(uint8_t key) : mKey(key) {}
  bool IsSameKey(const FBL_Encryption& other) const override {
    auto* x = dynamic_cast<const XorCipher*>(&other);
    return x != nullptr && x->mKey == mKey;
  }
  void Process(uint8_t* block) override {
    for (int i = 0; i < 8; ++i) block[i] ^= static_cast<uint8_t>(mKey + i);
  }
  void ProcessTo(const uint8_t* in, uint8_t* out) override {
    for (int i = 0; i < 8; ++i) out[i] = in[i] ^ static_cast<uint8_t>(mKey + i);
  }
  uint32_t GetBlockSize() const override { return 8; }
  using FBL_Encryption::Process;

 private:
  uint8_t mKey;
};

}  // namespace ztest
