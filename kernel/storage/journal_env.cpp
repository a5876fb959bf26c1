#include "kernel/storage/journal_env.h"

#include <cerrno>

#include "kernel/storage/journal.h"
#include "platform/errors.h"

namespace {

// A volume's file as the journal shows it. Closing it leaves the volume's
// OS file open in the journal, which owns it.
class JournaledFile final : public platform::EnvFile {
 public:
  JournaledFile(FBL_Journal& journal, int slot) : mJournal(journal), mSlot(slot) {}

  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    RequireOpen();
    return mJournal.Read(mSlot, offset, buffer, n);
  }
  void WriteAt(uint64_t offset, const void* buffer, size_t n) override {
    RequireOpen();
    mJournal.Write(mSlot, offset, buffer, n);
  }
  void SetLength(uint64_t length) override {
    RequireOpen();
    mJournal.SetLength(mSlot, length);
  }
  uint64_t Size() override {
    RequireOpen();
    return mJournal.Length(mSlot);
  }
  void Sync() override {
    RequireOpen();
    mJournal.Sync(mSlot);
  }
  void Close() override { mOpen = false; }

 private:
  void RequireOpen() const {
    if (!mOpen) throw xFBL_Exception(EBADF);
  }

  FBL_Journal& mJournal;
  int mSlot;
  bool mOpen = true;
};

}  // namespace

int FBL_JournalEnv::Slot(const std::string& path) const {
  const int slot = mJournal.SlotOf(path);
  return slot >= 0 && mJournal.IsJournaled(slot) ? slot : -1;
}

std::unique_ptr<platform::EnvFile> FBL_JournalEnv::OpenFile(const std::string& path,
                                                            platform::OpenMode mode) {
  const int slot = Slot(path);
  if (slot < 0) return EnvWrapper::OpenFile(path, mode);
  mJournal.OpenSlot(slot, false);
  return std::make_unique<JournaledFile>(mJournal, slot);
}

std::unique_ptr<platform::EnvFile> FBL_JournalEnv::CreateFile(const std::string& path) {
  const int slot = Slot(path);
  if (slot < 0) return EnvWrapper::CreateFile(path);
  mJournal.OpenSlot(slot, true);
  return std::make_unique<JournaledFile>(mJournal, slot);
}

bool FBL_JournalEnv::DeleteFile(const std::string& path) {
  const int slot = Slot(path);
  return slot < 0 ? EnvWrapper::DeleteFile(path) : mJournal.DeleteSlot(slot);
}

bool FBL_JournalEnv::FileExists(const std::string& path) {
  const int slot = Slot(path);
  return slot < 0 ? EnvWrapper::FileExists(path) : mJournal.Exists(slot);
}

bool FBL_JournalEnv::GetFileSize(const std::string& path, uint64_t* size) {
  const int slot = Slot(path);
  if (slot < 0) return EnvWrapper::GetFileSize(path, size);
  if (!mJournal.Exists(slot)) return false;
  *size = mJournal.Length(slot);
  return true;
}
