#include "kernel/indexes/index_kinds.h"

#include "kernel/indexes/addressed_page.h"
#include "kernel/indexes/counted_page.h"
#include "kernel/indexes/string_page.h"
#include "kernel/indexes/unique_page.h"

FBL_SXUnique::FBL_SXUnique(FBL_BaseField& field, FBL_DataFile& volume, uint32_t ownerId,
                           uint16_t kind)
    : FBL_SecondaryIndex(field, volume, ownerId, true, false, kind) {
  Init();
}

std::unique_ptr<FBL_IndexPage> FBL_SXUnique::MakePage() {
  return std::make_unique<FBL_UniquePage>(GetFile(), GetKeyOrder());
}

FBL_SXNotUnique::FBL_SXNotUnique(FBL_BaseField& field, FBL_DataFile& volume, uint32_t ownerId,
                                 uint16_t kind)
    : FBL_SecondaryIndex(field, volume, ownerId, false, false, kind) {
  Init();
}

std::unique_ptr<FBL_IndexPage> FBL_SXNotUnique::MakePage() {
  return std::make_unique<FBL_CountedPage>(GetFile(), GetKeyOrder());
}

FBL_SXString::FBL_SXString(FBL_BaseField& field, FBL_DataFile& volume, uint32_t ownerId,
                           bool unique)
    : FBL_SecondaryIndex(field, volume, ownerId, unique, false) {
  Init();
}

std::unique_ptr<FBL_IndexPage> FBL_SXString::MakePage() {
  return std::make_unique<FBL_StringPage>(GetFile(), GetKeyOrder());
}

FBL_SXOnBYTE::FBL_SXOnBYTE(FBL_BaseField& field, FBL_DataFile& volume, uint32_t ownerId,
                           bool unique)
    : FBL_SecondaryIndex(field, volume, ownerId, unique, true) {
  Init();
}

std::unique_ptr<FBL_IndexPage> FBL_SXOnBYTE::MakePage() {
  return std::make_unique<FBL_AdressedPage>(GetFile(), GetKeyOrder());
}
