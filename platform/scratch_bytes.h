// Bytes a call needs for a moment, sized at run time: on the stack up to
// N, on the heap past it. Field reads and search keys use it, whose sizes
// the field decides and are almost always small. The bytes start
// undefined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zv {

template <size_t N>
class ScratchBytes {
 public:
  explicit ScratchBytes(size_t size) : mHeap(size > N ? size : 0) {}
  ScratchBytes(const ScratchBytes&) = delete;
  ScratchBytes& operator=(const ScratchBytes&) = delete;

  uint8_t* data() { return mHeap.empty() ? mLocal : mHeap.data(); }

 private:
  uint8_t mLocal[N];
  std::vector<uint8_t> mHeap;
};

}  // namespace zv
