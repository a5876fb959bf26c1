// Small steps on the embedded files of a column, shared by the field code.
#pragma once

#include "kernel/storage/embedded_file.h"

// Opens the file, placing an empty one first when it does not exist.
inline void OpenOrCreate(FBL_EmbededFile* file) {
  if (file == nullptr || file->IsOpen()) return;
  file->Create();
  file->Open();
}

// Closes and deletes the file when it exists.
inline void RemoveFile(FBL_EmbededFile* file) {
  if (file == nullptr) return;
  if (file->IsOpen()) file->Close();
  if (file->Exists()) file->Remove();
}
