// The kinds of field index, by the page layout their entries take:
//   FBL_SXUnique     fixed-size keys of a unique field, duplicates refused
//   FBL_SXNotUnique  fixed-size keys, each key once with its RecIDs
//   FBL_SXString     length-prefixed text keys (unique when the field is)
//   FBL_SXOnBYTE     Byte values, pages of RecIDs per value
#pragma once

#include "kernel/indexes/secondary_index.h"

class FBL_SXUnique : public FBL_SecondaryIndex {
 public:
  FBL_SXUnique(FBL_BaseField& field, FBL_DataFile& volume, uint32_t ownerId,
               uint16_t kind = kKindFieldIndex);

 protected:
  std::unique_ptr<FBL_IndexPage> MakePage() override;
};

class FBL_SXNotUnique : public FBL_SecondaryIndex {
 public:
  FBL_SXNotUnique(FBL_BaseField& field, FBL_DataFile& volume, uint32_t ownerId,
                  uint16_t kind = kKindFieldIndex);

 protected:
  std::unique_ptr<FBL_IndexPage> MakePage() override;
};

class FBL_SXString : public FBL_SecondaryIndex {
 public:
  // unique: copied from the field's flag.
  FBL_SXString(FBL_BaseField& field, FBL_DataFile& volume, uint32_t ownerId, bool unique);

 protected:
  std::unique_ptr<FBL_IndexPage> MakePage() override;
};

// A unique Byte field refuses duplicates here too.
class FBL_SXOnBYTE : public FBL_SecondaryIndex {
 public:
  FBL_SXOnBYTE(FBL_BaseField& field, FBL_DataFile& volume, uint32_t ownerId, bool unique);

 protected:
  std::unique_ptr<FBL_IndexPage> MakePage() override;
};
