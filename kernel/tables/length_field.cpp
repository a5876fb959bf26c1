#include "kernel/tables/length_field.h"

#include <algorithm>
#include <cstring>

#include "kernel/storage/small_files.h"
#include "kernel/storage/varchar_file.h"
#include "kernel/storage/volume_format.h"
#include "kernel/tables/column_files.h"
#include "kernel/tables/mac_roman.h"
#include "kernel/tables/table.h"
#include "kernel/tables/text_keys.h"
#include "platform/errors.h"
#include "platform/scratch_bytes.h"

namespace {

// Widest slot kept in a column's window of value slots.
constexpr uint32_t kMaxWindowSlot = 256;

}  // namespace

FBL_LengthField::FBL_LengthField(uint8_t type, const std::string& name, uint16_t flags,
                                 uint16_t length, uint32_t bufferSize, bool varStorage)
    : FBL_BaseField(type, name, flags),
      mLength(length),
      mBufferSize(bufferSize),
      mVarStorage(varStorage),
      mBuffer(bufferSize + 1),
      mOld(bufferSize + 1) {}

FBL_LengthField::~FBL_LengthField() = default;

void FBL_LengthField::ClearValue() {
  std::fill(mBuffer.begin(), mBuffer.end(), 0);
}

std::string_view FBL_LengthField::GetContent() {
  Refresh();
  if (NullFlag()) return {};
  return ContentOf(mBuffer.data());
}

void FBL_LengthField::InitFromField(const FBL_BaseField& other) {
  FBL_BaseField::InitFromField(other);
  if (auto* same = dynamic_cast<const FBL_LengthField*>(&other)) {
    mLength = same->mLength;
    mBufferSize = same->mBufferSize;
    mVarStorage = same->mVarStorage;
    mBuffer.assign(mBufferSize + 1, 0);
    mOld.assign(mBufferSize + 1, 0);
  }
}

void FBL_LengthField::SetNull(bool null) {
  FBL_BaseField::SetNull(null);
  if (null && IsNullable()) ClearValue();
}

void FBL_LengthField::GetValue(void* out) {
  Refresh();
  std::memcpy(out, mBuffer.data(), mBufferSize);
}

void FBL_LengthField::CalculateMethod(REC_ID recID) {
  ClearValue();
  FBL_BaseField::CalculateMethod(recID);
  if (NullFlag()) ClearValue();
}

int FBL_LengthField::Compare(const void* value) {
  Refresh();
  return CompareValues(mBuffer.data(), value);
}

int FBL_LengthField::CompareValues(const void* left, const void* right) const {
  return CompareContent(ContentOf(static_cast<const uint8_t*>(left)),
                        ContentOf(static_cast<const uint8_t*>(right)));
}

std::string FBL_LengthField::FormText() const {
  return std::string(ContentOf(mBuffer.data()));
}

// ---- keys ------------------------------------------------------------------------------

uint32_t FBL_LengthField::MakeKey(uint8_t* out) {
  std::string_view content = GetContent();
  return zv::MakeTextKey(out, content.data(), content.size());
}

int FBL_LengthField::CompareKeys(const uint8_t* left, const uint8_t* right) const {
  return CompareContent(std::string_view(reinterpret_cast<const char*>(left + 1), left[0]),
                        std::string_view(reinterpret_cast<const char*>(right + 1), right[0]));
}

// ---- files -----------------------------------------------------------------------------

std::unique_ptr<FBL_EmbededFile> FBL_LengthField::MakeValueFile(FBL_DataFile& volume) {
  if (!mVarStorage) return FBL_BaseField::MakeValueFile(volume);
  return std::make_unique<FBL_ULongFile>(volume, GetTable()->GetTableId(), kKindValues,
                                         FileSubIndex());
}

void FBL_LengthField::MakeVarFile() {
  if (!mVarStorage || Desc().mSecondFile) return;
  MakeFileObjects();
  auto* ref = static_cast<FBL_ULongFile*>(Desc().mValueFile.get());
  if (ref == nullptr) return;  // a calculated column stores nothing
  auto file = std::make_unique<FBL_VarCharFile>(ref->GetVolume(), GetTable()->GetTableId(),
                                                kKindSecondFile, FileSubIndex(), mLength);
  file->SetRefFile(ref);
  Encipher(*file);
  Desc().mSecondFile = std::move(file);
}

FBL_VarCharFile* FBL_LengthField::VarFile() {
  auto* file = static_cast<FBL_VarCharFile*>(Desc().mSecondFile.get());
  if (file == nullptr || !file->IsOpen()) throw xFBL_FieldError("Field files are not open");
  return file;
}

void FBL_LengthField::CreateFiles() {
  MakeVarFile();
  FBL_BaseField::CreateFiles();
}

void FBL_LengthField::OpenFiles() {
  MakeVarFile();
  FBL_BaseField::OpenFiles();
  // The RefFile is not a file of value slots, and a window of wide slots
  // would hold megabytes: those go to the file directly.
  if (mVarStorage || GetValueSize() > kMaxWindowSlot) Desc().mWindow.Attach(nullptr, 0);
}

void FBL_LengthField::DropFiles() {
  // The VarChar file goes before its RefFile, which it opens along.
  if (mVarStorage && Desc().mSecondFile) {
    Desc().mSecondFile->Close();
    RemoveFile(Desc().mSecondFile.get());
  }
  FBL_BaseField::DropFiles();
}

void FBL_LengthField::ChangeNumber(uint32_t newNumber) {
  FBL_EmbededFile* var = mVarStorage ? Desc().mSecondFile.get() : nullptr;
  bool reopen = var != nullptr && var->IsOpen();
  // Closed, the VarChar file holds its RefFile open no more, so each of the
  // two moves on its own.
  if (reopen) var->Close();
  FBL_BaseField::ChangeNumber(newNumber);
  if (reopen) var->Open();
}

void FBL_LengthField::TruncateValues(uint32_t count) {
  if (!mVarStorage) return FBL_BaseField::TruncateValues(count);
  auto* file = static_cast<FBL_VarCharFile*>(Desc().mSecondFile.get());
  if (file != nullptr && file->IsOpen() && file->GetRecordCount() > count) {
    file->SetRecordCount(count);
  }
}

// ---- records ---------------------------------------------------------------------------

void FBL_LengthField::ReadRecord(REC_ID recID) {
  ClearValue();
  FBL_BaseField::ReadRecord(recID);
}

void FBL_LengthField::ReadValue(REC_ID recID) {
  if (mVarStorage) return ReadVar(recID);
  ReadFixed(recID);
}

void FBL_LengthField::WriteValue(REC_ID recID) {
  if (mVarStorage) return WriteVar(recID);
  WriteFixed(recID);
}

void FBL_LengthField::DeleteRecord(REC_ID recID) {
  auto* file = static_cast<FBL_VarCharFile*>(Desc().mSecondFile.get());
  if (mVarStorage && recID != 0 && file != nullptr && file->IsOpen() &&
      recID <= file->GetRecordCount()) {
    file->WriteValue(recID, nullptr, 0);
  }
  FBL_BaseField::DeleteRecord(recID);
}

void FBL_LengthField::EncodeValue(uint8_t* out) const {
  std::memcpy(out, mBuffer.data(), mBufferSize);
}

void FBL_LengthField::DecodeValue(const uint8_t* in) {
  std::string_view content = ContentOf(in);
  ClearValue();
  PutContent(content.data(), content.size());
}

void FBL_LengthField::SwapBytes(uint8_t* value) const {
  if (!IsText()) std::swap(value[0], value[1]);
}

void FBL_LengthField::FromStored(uint8_t* slot) const {
  if (IsText()) {
    zv::FromMacRoman(reinterpret_cast<char*>(slot),
                     strnlen(reinterpret_cast<char*>(slot), mLength));
  } else {
    SwapBytes(slot);
  }
}

void FBL_LengthField::ToStored(uint8_t* slot) const {
  if (IsText()) {
    zv::ToMacRoman(reinterpret_cast<char*>(slot), strnlen(reinterpret_cast<char*>(slot), mLength));
  } else {
    SwapBytes(slot);
  }
}

void FBL_LengthField::ReadFixed(REC_ID recID) {
  const uint32_t width = GetValueSize();
  zv::ScratchBytes<512> slot(width);
  uint8_t* slotData = slot.data();
  std::memset(slotData, 0, width);
  const uint64_t offset = uint64_t{recID - 1} * width;
  FBL_EmbededFile* file = Desc().mValueFile.get();
  if (recID == 0) {
    // no record: the empty value
  } else if (Desc().mWindow.IsAttached()) {
    if (mReadAside) {
      Desc().mWindow.ReadAside(offset, slotData, width);
    } else {
      Desc().mWindow.Read(offset, slotData, width);
    }
  } else if (file != nullptr && file->IsOpen() && offset < file->GetLength()) {
    file->SetPosition(offset);
    file->Read(slotData, std::min<uint64_t>(width, file->GetLength() - offset));
  }
  if (Swapped()) FromStored(slotData);
  if (!IsText()) {
    uint16_t length;
    std::memcpy(&length, slotData, 2);
    if (length > mLength) throw xFBL_FieldError("Stored binary value is longer than its field");
  }
  // A text slot without its NUL ends at L bytes.
  ClearValue();
  std::string_view content = ContentOf(slotData);
  PutContent(content.data(), content.size());
}

void FBL_LengthField::WriteFixed(REC_ID recID) {
  FBL_EmbededFile* file = Desc().mValueFile.get();
  const bool window = Desc().mWindow.IsAttached();
  if (!window && (file == nullptr || !file->IsOpen())) {
    throw xFBL_FieldError("Field files are not open");
  }
  const uint32_t width = GetValueSize();
  const uint8_t* bytes = mBuffer.data();
  std::vector<uint8_t> slot;
  if (Swapped()) {
    // The buffer keeps the machine's form.
    slot.assign(mBuffer.begin(), mBuffer.begin() + width);
    ToStored(slot.data());
    bytes = slot.data();
  }
  const uint64_t offset = uint64_t{recID - 1} * width;
  if (window) return Desc().mWindow.Write(offset, bytes, width);
  if (offset > file->GetLength()) file->SetLength(offset);  // grown bytes are zeros
  file->SetPosition(offset);
  file->Write(bytes, width);
}

void FBL_LengthField::ReadVar(REC_ID recID) {
  FBL_VarCharFile* file = VarFile();
  const uint32_t room = uint32_t{mLength} + 1;
  zv::ScratchBytes<256> scratch(room);
  char* bytes = reinterpret_cast<char*>(scratch.data());
  uint32_t n = recID == 0 ? 0 : file->ReadValue(recID, bytes, room);
  if (n > mLength) throw xFBL_CorruptedVarChar("Stored value is longer than its field");
  if (IsText() && Swapped()) zv::FromMacRoman(bytes, n);
  ClearValue();
  PutContent(bytes, n);
}

void FBL_LengthField::WriteVar(REC_ID recID) {
  FBL_VarCharFile* file = VarFile();
  std::string_view content = ContentOf(mBuffer.data());
  if (IsText() && Swapped()) {
    std::string copy(content);
    zv::ToMacRoman(copy.data(), copy.size());
    file->WriteValue(recID, copy.data(), static_cast<uint32_t>(copy.size()));
    return;
  }
  file->WriteValue(recID, content.data(), static_cast<uint32_t>(content.size()));
}

// ---- the old value -------------------------------------------------------------------

void FBL_LengthField::SaveOldValue() {
  if (IsMethod()) return;
  FBL_BaseField::SaveOldValue();
  mOld = mBuffer;
}

void FBL_LengthField::LoadOldValueOf(REC_ID recID) {
  if (IsMethod() || recID == 0) return;
  // The current value waits in the old buffer while the stored one is read
  // into the buffer; then the two change places.
  mBuffer.swap(mOld);
  ClearValue();
  try {
    FBL_BaseField::LoadOldValueOf(recID);
  } catch (...) {
    mBuffer.swap(mOld);
    throw;
  }
  mOld.swap(mBuffer);
}

bool FBL_LengthField::IsChanged() {
  if (!HasOldValue()) return IsDirty();
  if (NullFlag() != OldNullFlag()) return true;
  return !NullFlag() && ContentOf(mBuffer.data()) != ContentOf(mOld.data());
}

void FBL_LengthField::SwapOldValue() {
  FBL_BaseField::SwapOldValue();
  mBuffer.swap(mOld);
}

bool FBL_LengthField::ReadStoredKey(REC_ID recID, uint8_t* out) {
  if (StoredNull(recID)) return false;
  // The stored value takes the buffer's form in the spare buffer, so that
  // the key is the one MakeKey would make of it.
  mSpare.resize(mBuffer.size());
  mBuffer.swap(mSpare);
  mReadAside = true;
  try {
    ReadValue(recID);
    std::string_view content = ContentOf(mBuffer.data());
    zv::MakeTextKey(out, content.data(), content.size());
  } catch (...) {
    mReadAside = false;
    mBuffer.swap(mSpare);
    throw;
  }
  mReadAside = false;
  mBuffer.swap(mSpare);
  return true;
}

FBL_VarCharFile* FBL_LengthField::GetVarCharFile() {
  return mVarStorage ? static_cast<FBL_VarCharFile*>(Desc().mSecondFile.get()) : nullptr;
}

bool FBL_LengthField::DiagnoseFiles(std::string& report) {
  FBL_VarCharFile* file = GetVarCharFile();
  FBL_Table* table = GetTable();
  if (file == nullptr || table == nullptr) return true;
  FBL_VarCharTableView view;
  std::string lines;
  try {
    // Records up to the highest RecID may be alive. A file without pages
    // holds no value yet (every record reads empty): nothing to check.
    if (file->IsOpen() && file->GetLogicalPageCount() == 0) return true;
    view.mRecordCount = table->GetMaxRecID();
    view.mIsAlive = [table](uint32_t recID) { return table->IsRecordAlive(recID); };
  } catch (const xFBL_Exception& e) {
    report += "(!) The record map cannot be read (error " + std::to_string(e.Code) + ").\n";
    return false;
  }
  if (file->Diagnose(lines, true, &view)) return true;
  report += "(!) The VarChar pages are damaged.\n" + lines;
  return false;
}
