#include "kernel/tables/record_locks.h"

#include <cstring>

#include "platform/env.h"

namespace {

uint64_t OffsetOf(REC_ID recID) {
  return uint64_t{recID - 1} * 4;
}

}  // namespace

bool zv::LockWordAcquire(uint32_t& word, FBL_LockKind kind, uint32_t owner) {
  owner &= kLockOwnerMask;
  if (kind == FBL_LockKind::kNone) return true;
  bool read = (word & kLockReadBit) != 0;
  bool write = (word & kLockWriteBit) != 0;
  bool mine = (word & kLockOwnerMask) == owner;
  if (kind == FBL_LockKind::kRead) {
    if (word == 0) {
      word = kLockReadBit | kLockWriteBit | owner;
    } else if (read && write) {
      if (!mine) word = kLockReadBit | 2;
    } else if (read) {
      uint32_t readers = word & kLockOwnerMask;
      if (readers >= kLockOwnerMask) return false;  // the count would spill into bit 30
      word = kLockReadBit | (readers + 1);
    } else {
      return mine;
    }
    return true;
  }
  if (kind != FBL_LockKind::kWrite) return false;
  if (word == 0) {
    word = kLockWriteBit | owner;
    return true;
  }
  if (read && write) {
    if (!mine) return false;
    word = kLockWriteBit | owner;  // upgrade
    return true;
  }
  if (write) return mine;
  return false;  // several readers
}

bool zv::LockWordRelease(uint32_t& word, uint32_t owner) {
  owner &= kLockOwnerMask;
  if (word == 0) return true;
  bool read = (word & kLockReadBit) != 0;
  bool write = (word & kLockWriteBit) != 0;
  if (read && !write) {
    uint32_t readers = word & kLockOwnerMask;
    word = readers <= 1 ? 0 : kLockReadBit | (readers - 1);
    return true;
  }
  if ((word & kLockOwnerMask) != owner) return false;
  word = 0;
  return true;
}

FBL_RecordLocks::FBL_RecordLocks(platform::Env& env, uint32_t maxRecID)
    : mEnv(env), mPath(env.CreateTempFile()) {
  mFile = mEnv.OpenFile(mPath, platform::OpenMode::kReadWrite);
  // Words past the end read as free, so the file starts empty: its size
  // never depends on MaxRecID, a count read from disk.
  (void)maxRecID;
}

FBL_RecordLocks::~FBL_RecordLocks() {
  mFile.reset();
  mEnv.DeleteFile(mPath);
}

uint32_t FBL_RecordLocks::GetWord(REC_ID recID) {
  uint32_t word = 0;
  uint8_t raw[4] = {};
  if (mFile->ReadAt(OffsetOf(recID), raw, sizeof raw) == sizeof raw) {
    std::memcpy(&word, raw, sizeof word);
  }
  return word;
}

void FBL_RecordLocks::SetWord(REC_ID recID, uint32_t word) {
  uint8_t raw[4];
  std::memcpy(raw, &word, sizeof raw);
  mFile->WriteAt(OffsetOf(recID), raw, sizeof raw);
}

void FBL_RecordLocks::Truncate(uint32_t n) {
  if (mFile->Size() > uint64_t{n} * 4) mFile->SetLength(uint64_t{n} * 4);
}
