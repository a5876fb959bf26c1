// FBL_BlockList: a doubly linked list threaded through nodes that live in a
// store and are named by handles, as cache block descriptors are. The list
// keeps only its two ends; a node carries one FBL_BlockLinks member for each
// list it can be on, and the list names that member. The store is anything
// that maps a handle to its node with operator[].
#pragma once

#include "kernel/storage/block_locker.h"

struct FBL_BlockLinks {
  FBL_BlockHandle mNext = kNoBlock;  // towards the back
  FBL_BlockHandle mPrev = kNoBlock;  // towards the front
};

template <typename Node, FBL_BlockLinks Node::*Links>
class FBL_BlockList {
 public:
  FBL_BlockHandle Front() const { return mFront; }
  FBL_BlockHandle Back() const { return mBack; }
  bool IsEmpty() const { return mFront == kNoBlock; }
  static FBL_BlockHandle Next(const Node& node) { return (node.*Links).mNext; }
  static FBL_BlockHandle Prev(const Node& node) { return (node.*Links).mPrev; }

  // Links h in after `after`, or at the front when after is kNoBlock.
  // REQUIRES: h is on no list of this member.
  template <typename Store>
  void InsertAfter(Store& store, FBL_BlockHandle h, FBL_BlockHandle after) {
    const FBL_BlockHandle before = after == kNoBlock ? mFront : (store[after].*Links).mNext;
    FBL_BlockLinks& links = store[h].*Links;
    links.mPrev = after;
    links.mNext = before;
    (after == kNoBlock ? mFront : (store[after].*Links).mNext) = h;
    (before == kNoBlock ? mBack : (store[before].*Links).mPrev) = h;
  }
  template <typename Store>
  void PushFront(Store& store, FBL_BlockHandle h) {
    InsertAfter(store, h, kNoBlock);
  }
  template <typename Store>
  void PushBack(Store& store, FBL_BlockHandle h) {
    InsertAfter(store, h, mBack);
  }
  // REQUIRES: h is on this list.
  template <typename Store>
  void Remove(Store& store, FBL_BlockHandle h) {
    FBL_BlockLinks& links = store[h].*Links;
    (links.mPrev == kNoBlock ? mFront : (store[links.mPrev].*Links).mNext) = links.mNext;
    (links.mNext == kNoBlock ? mBack : (store[links.mNext].*Links).mPrev) = links.mPrev;
    links = FBL_BlockLinks{};
  }
  // Forgets every node without touching them (their store went away).
  void Clear() { mFront = mBack = kNoBlock; }

 private:
  FBL_BlockHandle mFront = kNoBlock;
  FBL_BlockHandle mBack = kNoBlock;
};
