// A user's key: the bytes of the text the user gave, without a terminator.
// Keys are shared by the databases, files and ciphers made from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class FBL_EncryptionKey {
 public:
  // REQUIRES: count > 0.
  FBL_EncryptionKey(const void* bytes, size_t count);

  const uint8_t* Bytes() const { return mBytes.data(); }
  size_t Count() const { return mBytes.size(); }
  bool operator==(const FBL_EncryptionKey& other) const { return mBytes == other.mBytes; }

 private:
  std::vector<uint8_t> mBytes;
};

using FBL_EncryptionKeyRef = std::shared_ptr<const FBL_EncryptionKey>;

namespace zv {

// The key of a user text; null (no encryption) for an absent or empty text.
FBL_EncryptionKeyRef MakeEncryptionKey(const char* text);

}  // namespace zv
