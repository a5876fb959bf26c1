// The cipher interface of the storage kernel. Files carry an encryptor and
// a decryptor; the page cache transforms data in 1024-byte units as it
// leaves for and arrives from disk, so everything above sees plain bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class FBL_Encryption {
 public:
  virtual ~FBL_Encryption() = default;
  // True when other transforms with the same key.
  virtual bool IsSameKey(const FBL_Encryption& other) const = 0;
  // Transforms one block of GetBlockSize() bytes in place.
  virtual void Process(uint8_t* block) = 0;
  virtual void ProcessTo(const uint8_t* in, uint8_t* out) = 0;
  virtual uint32_t GetBlockSize() const = 0;

  // Transforms whole blocks of the buffer; a shorter tail stays as it is.
  // Large buffers of a cipher that allows it are split over two threads
  // (the threading model: kernel/storage/sync_objects.h).
  void Process(uint8_t* buffer, size_t length);

 protected:
  // Whether ProcessBlocks may run on two parts of a buffer at once (the
  // cipher keeps no state between blocks).
  virtual bool IsConcurrent() const { return false; }
  // A cipher may replace this loop with a faster one of its own.
  virtual void ProcessBlocks(uint8_t* buffer, size_t length) {
    const size_t step = GetBlockSize();
    if (step == 0) return;
    for (size_t i = 0; i + step <= length; i += step) Process(buffer + i);
  }
};

using FBL_EncryptionRef = std::shared_ptr<FBL_Encryption>;

// Files are encrypted in units of this many bytes.
inline constexpr uint32_t kEncryptionUnit = 1024;
