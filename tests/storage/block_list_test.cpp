#include "kernel/storage/block_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>
#include <vector>

namespace {

// A node on two lists at once, as cache blocks are.
struct Node {
  FBL_BlockLinks mA;
  FBL_BlockLinks mB;
};
using ListA = FBL_BlockList<Node, &Node::mA>;
using ListB = FBL_BlockList<Node, &Node::mB>;

template <typename List>
std::vector<FBL_BlockHandle> Forward(const List& list, const std::vector<Node>& store) {
  std::vector<FBL_BlockHandle> out;
  for (FBL_BlockHandle h = list.Front(); h != kNoBlock; h = List::Next(store[h])) out.push_back(h);
  return out;
}

template <typename List>
std::vector<FBL_BlockHandle> Backward(const List& list, const std::vector<Node>& store) {
  std::vector<FBL_BlockHandle> out;
  for (FBL_BlockHandle h = list.Back(); h != kNoBlock; h = List::Prev(store[h])) out.push_back(h);
  std::reverse(out.begin(), out.end());
  return out;
}

// Random inserts (front, back, after a member) and removals on two lists
// threaded through the same nodes, against std::list; each list must read
// the same both ways and leave the other list's links alone.
TEST(BlockList, TwoListsThroughTheSameNodesMatchTheModel) {
  constexpr FBL_BlockHandle kNodes = 64;
  std::vector<Node> store(kNodes);
  ListA a;
  ListB b;
  std::list<FBL_BlockHandle> modelA, modelB;
  std::mt19937 rng(15);
  auto step = [&](auto& list, std::list<FBL_BlockHandle>& model) {
    const FBL_BlockHandle h = static_cast<FBL_BlockHandle>(rng() % kNodes);
    auto at = std::find(model.begin(), model.end(), h);
    if (at != model.end()) {
      list.Remove(store, h);
      model.erase(at);
      return;
    }
    switch (rng() % 3) {
      case 0:
        list.PushFront(store, h);
        model.push_front(h);
        break;
      case 1:
        list.PushBack(store, h);
        model.push_back(h);
        break;
      default: {
        if (model.empty()) return;
        auto after = std::next(model.begin(), static_cast<long>(rng() % model.size()));
        list.InsertAfter(store, h, *after);
        model.insert(std::next(after), h);
      }
    }
  };
  for (int i = 0; i < 5000; ++i) {
    if (rng() % 2 == 0) {
      step(a, modelA);
    } else {
      step(b, modelB);
    }
    const std::vector<FBL_BlockHandle> wantA(modelA.begin(), modelA.end());
    const std::vector<FBL_BlockHandle> wantB(modelB.begin(), modelB.end());
    ASSERT_EQ(Forward(a, store), wantA) << i;
    ASSERT_EQ(Backward(a, store), wantA) << i;
    ASSERT_EQ(Forward(b, store), wantB) << i;
    ASSERT_EQ(Backward(b, store), wantB) << i;
    ASSERT_EQ(a.IsEmpty(), modelA.empty());
  }
}

}  // namespace
