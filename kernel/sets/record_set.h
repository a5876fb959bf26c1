// The abstract record set: a set of RecIDs of one table. Sets are never
// shared; whoever receives a new set owns it.
#pragma once

#include <cstdint>
#include <memory>

#include "kernel/sets/rec_id.h"

class FBL_SetIterator;

class FBL_Set {
 public:
  FBL_Set() = default;
  FBL_Set(const FBL_Set&) = delete;
  FBL_Set& operator=(const FBL_Set&) = delete;
  virtual ~FBL_Set();

  virtual bool IsEmpty() const { return Count() == 0; }
  virtual uint32_t Count() const = 0;
  // An iterator of the set's own kind, standing on no member. It refers to
  // this set, which must outlive it.
  virtual std::unique_ptr<FBL_SetIterator> MakeIterator() const = 0;
};
