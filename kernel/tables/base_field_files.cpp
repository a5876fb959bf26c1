// The files of a column: its value slots, its null map and their upkeep.
//
// Value file: record r's value at (r - 1) * width, no header, each value in
// the database's byte order (SwapBytes reverses it for a database of the
// other order). A file shorter than a slot needs reads as zeros there.
// Null map: a bit file with no header, bit set = the value is null.
#include <algorithm>
#include <cstring>
#include <utility>

#include "kernel/storage/database.h"
#include "kernel/storage/page_file.h"
#include "kernel/storage/small_files.h"
#include "kernel/storage/volume.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/column_files.h"
#include "kernel/tables/record_map.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

// Field numbers start at 1: sub-index 0 belongs to the table's record map,
// whose kind a column's BLOB file shares.
uint16_t FBL_BaseField::FileSubIndexOf(uint32_t fieldNumber) {
  if (fieldNumber == 0) throw xFBL_FieldError("Field number 0 names no column's files");
  if (fieldNumber > UINT16_MAX) throw xFBL_FieldError("Field number too large to name its files");
  return static_cast<uint16_t>(fieldNumber);
}

FBL_DataFile& FBL_BaseField::Volume() const {
  if (mTable == nullptr) throw xFBL_DatabaseIsNotOpened();
  return mTable->GetVolume();
}

bool FBL_BaseField::Swapped() const {
  return mDesc->mSwapped;
}

std::unique_ptr<FBL_EmbededFile> FBL_BaseField::MakeValueFile(FBL_DataFile& volume) {
  return std::make_unique<FBL_EmbededFile>(volume, mTable->GetTableId(), kKindValues,
                                           FileSubIndex());
}

void FBL_BaseField::MakeFileObjects() {
  FBL_DataFile& volume = Volume();
  mDesc->mSwapped = volume.IsSwapped();
  if (HasValueFile() && !mDesc->mValueFile) {
    mDesc->mValueFile = MakeValueFile(volume);
    Encipher(*mDesc->mValueFile);
  }
  if (IsNullable() && !IsMethod() && !mDesc->mNullMap) {
    mDesc->mNullMap = std::make_unique<FBL_BitSetFile>(volume, mTable->GetTableId(), kKindNullMap,
                                                       FileSubIndex(), 0);
    Encipher(*mDesc->mNullMap);
  }
}

FBL_FileCiphers FBL_BaseField::GetFileCiphers() const {
  if (mDesc->mHasOwnCiphers) return mDesc->mOwnCiphers;
  return mTable != nullptr ? mTable->GetFileCiphers() : FBL_FileCiphers{};
}

void FBL_BaseField::SetOwnCiphers(FBL_FileCiphers ciphers) {
  mDesc->mOwnCiphers = std::move(ciphers);
  mDesc->mHasOwnCiphers = true;
}

void FBL_BaseField::ClearOwnCiphers() {
  mDesc->mOwnCiphers = {};
  mDesc->mHasOwnCiphers = false;
}

void FBL_BaseField::Encipher(FBL_EmbededFile& file) const {
  GetFileCiphers().ApplyTo(file);
}

void FBL_BaseField::ConvertFileCiphers() {
  const FBL_FileCiphers ciphers = GetFileCiphers();
  for (FBL_EmbededFile* file : {mDesc->mValueFile.get(), mDesc->mSecondFile.get(),
                                static_cast<FBL_EmbededFile*>(mDesc->mNullMap.get())}) {
    if (file != nullptr) ciphers.Convert(*file);
  }
}

void FBL_BaseField::CreateFiles() {
  MakeFileObjects();
  for (FBL_EmbededFile* file : {mDesc->mValueFile.get(), mDesc->mSecondFile.get(),
                                static_cast<FBL_EmbededFile*>(mDesc->mNullMap.get())}) {
    if (file != nullptr) file->Create();
  }
}

void FBL_BaseField::DropFiles() {
  DropIndex();
  mDesc->mWindow.Attach(nullptr, 0);
  RemoveFile(mDesc->mValueFile.get());
  RemoveFile(mDesc->mSecondFile.get());
  RemoveFile(mDesc->mNullMap.get());
}

bool FBL_BaseField::HasStoredFiles() {
  MakeFileObjects();
  for (FBL_EmbededFile* file : {mDesc->mValueFile.get(), mDesc->mSecondFile.get(),
                                static_cast<FBL_EmbededFile*>(mDesc->mNullMap.get())}) {
    if (file != nullptr && file->Exists()) return true;
  }
  return false;
}

void FBL_BaseField::OpenFiles() {
  MakeFileObjects();
  // A missing file of a column is made empty: its values read as zeros.
  OpenOrCreate(mDesc->mValueFile.get());
  // Values are written at (RecID - 1) * width (a bit per record for
  // Booleans), never past MaxRecID's slot: a file longer than that, beyond
  // the page its growth may round to, means the record map lost records.
  if (mDesc->mValueFile && mTable != nullptr && mTable->IsOpened()) {
    constexpr uint64_t kGrowthSlack = 4096;
    const uint64_t max = mTable->GetMaxRecID();
    const uint64_t needed = GetType() == kTypeBoolean ? (max + 7) / 8 : max * GetValueSize();
    if (mDesc->mValueFile->GetLength() > (needed + kGrowthSlack - 1) / kGrowthSlack * kGrowthSlack)
      throw xFBL_TableCorrupted("A column holds values past the table's highest RecID");
  }
  if (mDesc->mValueFile && !mDesc->mWindow.IsAttached()) {
    mDesc->mWindow.Attach(mDesc->mValueFile.get(), GetValueSize());
    mDesc->mPlainSlots =
        IsRawCopy() && !mDesc->mSwapped && !mDesc->mNullMap && GetValueSize() == GetBufferSize();
  }
  OpenOrCreate(mDesc->mSecondFile.get());
  OpenOrCreate(mDesc->mNullMap.get());
  if (HasFlag(kFieldIndexed)) {
    CreateIndex();
    OpenIndex();
  }
}

void FBL_BaseField::CloseFiles() {
  mDesc->CloseAll();
}

void FBL_BaseField::Truncate(uint32_t count) {
  TruncateValues(count);
  if (mDesc->mNullMap && mDesc->mNullMap->IsOpen()) zv::CutBitFile(*mDesc->mNullMap, 0, count);
}

void FBL_BaseField::TruncateValues(uint32_t count) {
  FBL_EmbededFile* file = mDesc->mValueFile.get();
  mDesc->mWindow.Drop();
  if (file != nullptr && file->IsOpen()) file->SetLength(uint64_t{count} * GetValueSize());
}

void FBL_BaseField::Rebuild() {
  CreateFiles();
  OpenFiles();
  Truncate(mTable ? mTable->GetMaxRecID() : 0);
  if (HasFlag(kFieldIndexed)) {
    DropIndex();
    CreateIndex();
    OpenIndex();
  }
}

void FBL_BaseField::Flush() {
  mDesc->mWindow.Flush();
  for (FBL_EmbededFile* file : {mDesc->mValueFile.get(), mDesc->mSecondFile.get(),
                                static_cast<FBL_EmbededFile*>(mDesc->mNullMap.get())}) {
    if (file != nullptr && file->IsOpen()) file->Flush();
  }
  if (mDesc->mIndex && mDesc->mIndexOpen) mDesc->mIndex->Flush();
}

void FBL_BaseField::Defragment() {
  if (auto* pages = dynamic_cast<FBL_PageFile*>(mDesc->mSecondFile.get())) {
    if (pages->IsOpen()) pages->Defragment();
  }
  if (mDesc->mIndex && mDesc->mIndexOpen) mDesc->mIndex->Defragment();
}

// Moves a file's bytes to the identity of the new number: a file entry
// keeps its identity, so the bytes go to a new entry and the old one goes.
void FBL_BaseField::RenumberFile(FBL_EmbededFile* file, uint16_t kind, uint32_t number) {
  if (file == nullptr) return;
  uint32_t owner = mTable->GetTableId();
  bool wasOpen = file->IsOpen();
  if (wasOpen) {
    file->Flush();
    file->Close();
  }
  if (file->Exists()) {
    FBL_EmbededFile target(file->GetVolume(), owner, kind, FileSubIndexOf(number));
    // The copy is written through the same ciphers it is read with.
    target.SetEncryption(file->GetDecryptor(), true);
    target.SetEncryption(file->GetEncryptor(), false);
    target.Create();
    target.Open();
    file->Open();
    file->CopyBytesTo(target);
    target.Flush();
    target.Close();
    file->Close();
    file->Remove();
  }
  file->SetId(owner, kind, FileSubIndexOf(number));
  if (wasOpen) file->Open();
}

void FBL_BaseField::ChangeNumber(uint32_t newNumber) {
  FileSubIndexOf(newNumber);
  mDesc->mWindow.Drop();
  if (mTable != nullptr && newNumber != GetFieldNumber()) {
    // Another column's file under the new number must never be overwritten;
    // all are checked before any moves. Each file keeps its kind.
    FBL_EmbededFile* const files[] = {mDesc->mValueFile.get(), mDesc->mSecondFile.get(),
                                      mDesc->mNullMap.get()};
    for (FBL_EmbededFile* file : files) {
      if (file == nullptr) continue;
      FBL_EmbededFile target(file->GetVolume(), mTable->GetTableId(), file->GetKind(),
                             FileSubIndexOf(newNumber));
      if (target.Exists()) throw xFBL_FieldError("A file of the new field number exists already");
    }
    for (FBL_EmbededFile* file : files) {
      if (file != nullptr) RenumberFile(file, file->GetKind(), newNumber);
    }
  }
  if (mDesc->mIndex) mDesc->mIndex->ChangeNumber(newNumber);
  mDesc->mFieldNumber = newNumber;
}

// ---- records ----------------------------------------------------------------------

void FBL_BaseField::ReadRecord(REC_ID recID) {
  mRecID = recID;
  mDirty = false;
  if (IsMethod()) return;
  mNull = StoredNull(recID);
  if (mNull) {
    ClearBuffer();
    return;
  }
  ReadValue(recID);
}

bool FBL_BaseField::StoredNull(REC_ID recID) const {
  FBL_BitSetFile* map = mDesc->mNullMap.get();
  return map != nullptr && map->IsOpen() && map->GetBit(recID);
}

void FBL_BaseField::ReadStoredBytes(REC_ID recID, uint8_t* raw) {
  const uint32_t width = GetValueSize();
  mDesc->mWindow.Read(uint64_t{recID - 1} * width, raw, width);
  if (Swapped()) SwapBytes(raw);
}

void FBL_BaseField::ReadValue(REC_ID recID) {
  uint8_t raw[8] = {};
  if (recID != 0 && mDesc->mWindow.IsAttached()) ReadStoredBytes(recID, raw);
  DecodeValue(raw);
}

bool FBL_BaseField::ReadRawValue(REC_ID recID, uint8_t* out) {
  // A null value reads as the cleared buffer, as ReadRecord leaves it.
  std::memset(out, 0, sizeof mValue);
  if (StoredNull(recID)) return false;
  ReadStoredBytes(recID, out);
  return true;
}

void FBL_BaseField::WriteRecord(REC_ID recID) {
  if (recID == 0) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  mRecID = recID;
  mDirty = false;
  if (IsMethod()) return;
  FBL_BitSetFile* map = mDesc->mNullMap.get();
  if (map != nullptr && map->IsOpen()) zv::SetFileBit(*map, 0, recID, mNull);
  WriteValue(recID);
}

void FBL_BaseField::WriteValue(REC_ID recID) {
  if (!mDesc->mWindow.IsAttached()) throw xFBL_FieldError("Field files are not open");
  uint32_t width = GetValueSize();
  uint8_t raw[8] = {};
  EncodeValue(raw);
  if (Swapped()) SwapBytes(raw);
  mDesc->mWindow.Write(uint64_t{recID - 1} * width, raw, width);
}

void FBL_BaseField::DeleteRecord(REC_ID recID) {
  FBL_BitSetFile* map = mDesc->mNullMap.get();
  if (map != nullptr && map->IsOpen() && recID != 0) map->SetBit(recID, false);
}

void FBL_BaseField::SwapBytes(uint8_t* value) const {
  uint32_t width = GetValueSize();
  if (width == 2 || width == 4 || width == 8) std::reverse(value, value + width);
}

// ---- the old value -------------------------------------------------------------------

void FBL_BaseField::SaveOldValue() {
  if (IsMethod()) return;
  std::memcpy(mOldValue, mValue, sizeof mValue);
  mOldNull = mNull;
  mOldLoaded = true;
}

void FBL_BaseField::LoadOldValueOf(REC_ID recID) {
  if (IsMethod() || recID == 0) return;
  mOldNull = StoredNull(recID);
  uint8_t keep[sizeof mValue];
  std::memcpy(keep, mValue, sizeof keep);
  ClearBuffer();
  try {
    if (!mOldNull) ReadValue(recID);
  } catch (...) {
    std::memcpy(mValue, keep, sizeof keep);
    throw;
  }
  std::memcpy(mOldValue, mValue, sizeof mValue);
  std::memcpy(mValue, keep, sizeof keep);
  mOldLoaded = true;
}

bool FBL_BaseField::IsChanged() {
  if (!mOldLoaded) return mDirty;
  if (mNull != mOldNull) return true;
  return !mNull && std::memcmp(mValue, mOldValue, GetBufferSize()) != 0;
}

void FBL_BaseField::SwapOldValue() {
  uint8_t tmp[sizeof mValue];
  std::memcpy(tmp, mValue, sizeof tmp);
  std::memcpy(mValue, mOldValue, sizeof tmp);
  std::memcpy(mOldValue, tmp, sizeof tmp);
  std::swap(mNull, mOldNull);
}

void FBL_BaseField::RestoreOldValue() {
  SwapOldValue();
}
