// The record locks of a table: a temporary file (never part of the
// database) with one 32-bit lock word per RecID at (RecID - 1) * 4, in the
// machine's byte order:
//
//   bit 31        read-locked
//   bit 30        write-locked, or (with bit 31) read-locked by one owner
//   bits 29..0    the owner when one owner holds the lock; the number of
//                 readers when bit 31 is set alone
//
// 0 free; 0x40000000 + owner write-locked; 0xC0000000 + owner read-locked by
// that owner alone; 0x80000000 + n read-locked by n >= 2 owners.
//
// Lifecycle: made empty on the table's first lock request (words past the
// file's end read as 0, free, so it stands for MaxRecID free words); grows
// as words are set; cut with the record map; closed and deleted with the
// table's files.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kernel/sets/rec_id.h"

namespace platform {
class Env;
class EnvFile;
}  // namespace platform

// What a lock request asks for; the numbers are the ones callers pass.
enum class FBL_LockKind : uint32_t {
  kNone = 1,
  kRead = 2,
  kWrite = 3,
};

inline constexpr uint32_t kLockReadBit = 0x80000000u;
inline constexpr uint32_t kLockWriteBit = 0x40000000u;
inline constexpr uint32_t kLockOwnerMask = 0x3FFFFFFFu;

namespace zv {

// The transitions of one lock word. Each returns false (word unchanged)
// when the lock cannot be taken or released.
bool LockWordAcquire(uint32_t& word, FBL_LockKind kind, uint32_t owner);
bool LockWordRelease(uint32_t& word, uint32_t owner);

}  // namespace zv

class FBL_RecordLocks {
 public:
  // Creates the temporary file; all maxRecID words are free.
  FBL_RecordLocks(platform::Env& env, uint32_t maxRecID);
  // Closes and deletes the file.
  ~FBL_RecordLocks();
  FBL_RecordLocks(const FBL_RecordLocks&) = delete;
  FBL_RecordLocks& operator=(const FBL_RecordLocks&) = delete;

  // REQUIRES: recID >= 1.
  uint32_t GetWord(REC_ID recID);
  void SetWord(REC_ID recID, uint32_t word);
  // Keeps the words of RecIDs 1..n.
  void Truncate(uint32_t n);
  const std::string& GetPath() const { return mPath; }

 private:
  platform::Env& mEnv;
  std::string mPath;
  std::unique_ptr<platform::EnvFile> mFile;
};
