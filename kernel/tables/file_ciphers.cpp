#include "kernel/tables/file_ciphers.h"

#include "kernel/storage/blowfish.h"
#include "kernel/storage/embedded_file.h"
#include "platform/errors.h"

FBL_FileCiphers FBL_FileCiphers::Of(const FBL_EncryptionKeyRef& key) {
  if (!key) return {};
  return FBL_FileCiphers{std::make_shared<FBL_BlowfishEncryption>(key),
                         std::make_shared<FBL_BlowfishDecryption>(key)};
}

bool FBL_FileCiphers::Matches(const FBL_EncryptionRef& decryptor) const {
  if (!decryptor || !mDecryptor) return !decryptor && !mDecryptor;
  return mDecryptor->IsSameKey(*decryptor);
}

void FBL_FileCiphers::ApplyTo(FBL_EmbededFile& file) const {
  file.SetEncryption(mDecryptor, true);
  file.SetEncryption(mEncryptor, false);
}

void FBL_FileCiphers::Convert(FBL_EmbededFile& file) const {
  if (Matches(file.GetDecryptor())) {
    ApplyTo(file);
    return;
  }
  if (!file.ChangeEncryption(file.GetDecryptor().get(), mEncryptor, mDecryptor))
    throw xFBL_Exception(ERR_ASSERTION_FAIL, "A file refused its own cipher");
}
