#include "kernel/tables/field_descriptor.h"

#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/small_files.h"
#include "platform/errors.h"

namespace {

void CloseFile(FBL_EmbededFile* file) {
  if (file == nullptr || !file->IsOpen()) return;
  file->Flush();
  file->Close();
}

}  // namespace

FBL_FieldDescriptor::FBL_FieldDescriptor(uint8_t type, uint16_t flags)
    : mType(type), mFlags(flags) {}

FBL_FieldDescriptor::~FBL_FieldDescriptor() {
  try {
    CloseAll();
  } catch (const xFBL_Exception&) {
    // A destructor cannot report; the volume's close writes what remains.
  }
}

void FBL_FieldDescriptor::CloseAll() {
  if (mIndex && mIndexOpen) {
    mIndexOpen = false;
    mIndex->Close();
  }
  mWindow.Drop();
  mWindow.Attach(nullptr, 0);
  mPlainSlots = false;
  CloseFile(mValueFile.get());
  CloseFile(mSecondFile.get());
  CloseFile(mNullMap.get());
}

std::unique_ptr<FBL_Set> FBL_FieldIndex::SelectRangeAsSet(bool leftIncluded, const uint8_t* leftKey,
                                                          const uint8_t* rightKey,
                                                          bool rightIncluded, uint32_t arrayLimit,
                                                          REC_ID size) {
  std::unique_ptr<FBL_ArraySet> array =
      SelectRangeAsArray(leftIncluded, leftKey, rightKey, rightIncluded);
  if (!array || array->Count() <= arrayLimit) return array;
  return std::make_unique<FBL_BitSet>(size, *array);
}
