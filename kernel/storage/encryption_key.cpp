#include "kernel/storage/encryption_key.h"

#include <cstring>

#include "platform/errors.h"

FBL_EncryptionKey::FBL_EncryptionKey(const void* bytes, size_t count) {
  if (bytes == nullptr || count == 0) throw xFBL_Exception(ERR_WRONG_ENCRYPTION_KEY);
  const auto* b = static_cast<const uint8_t*>(bytes);
  mBytes.assign(b, b + count);
}

FBL_EncryptionKeyRef zv::MakeEncryptionKey(const char* text) {
  if (text == nullptr || *text == '\0') return nullptr;
  return std::make_shared<const FBL_EncryptionKey>(text, std::strlen(text));
}
