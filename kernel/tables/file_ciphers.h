// FBL_FileCiphers: the cipher pair a table's or a column's files are
// enciphered with (both or neither). A table's files follow its database's
// key unless the table has ciphers of its own; a column's follow its
// table's unless it has its own (the object layer's per-table and
// per-field keys).
#pragma once

#include "kernel/storage/encryption.h"
#include "kernel/storage/encryption_key.h"

class FBL_EmbededFile;

struct FBL_FileCiphers {
  FBL_EncryptionRef mEncryptor;
  FBL_EncryptionRef mDecryptor;

  // The Blowfish pair of a key; none for a null key.
  static FBL_FileCiphers Of(const FBL_EncryptionKeyRef& key);
  bool IsSet() const { return mEncryptor != nullptr; }
  // Whether a file deciphered with decryptor holds these ciphers' bytes.
  bool Matches(const FBL_EncryptionRef& decryptor) const;
  // Gives the file these ciphers; its bytes are taken as they are.
  void ApplyTo(FBL_EmbededFile& file) const;
  // Re-enciphers the file's bytes from the ciphers it has to these
  // (nothing when they match); the file keeps these ciphers.
  void Convert(FBL_EmbededFile& file) const;
};
