// FBL_FileWin: one operating-system file addressed by a path.
//
// Lifecycle: closed (no handle) -> Open -> open (handle, length from the
// OS) -> last Close -> closed. Create makes or truncates the file and leaves
// it closed. A file opened for writing holds an exclusive lock, a read-only
// one a shared lock (see platform/env.h).
#pragma once

#include <memory>
#include <string>

#include "kernel/storage/file.h"
#include "platform/env.h"

class FBL_FileWin : public FBL_File {
 public:
  // A path without a directory part is taken relative to the current
  // directory. A null env means the platform's default.
  explicit FBL_FileWin(const std::string& path, platform::Env* env = nullptr);
  ~FBL_FileWin() override;

  void Remove() override;
  void Open() override;
  // The last close writes back the file's dirty blocks while the file is
  // still locked, then closes it.
  void Close() override;
  uint64_t ReadAt(void* buffer, uint64_t offset, uint64_t count) override;
  uint64_t WriteAt(const void* buffer, uint64_t offset, uint64_t count) override;
  void SetLength(uint64_t length) override;
  uint64_t GetLength() override;

  virtual void Create();
  virtual bool Exists();
  virtual bool IsReadOnly() const { return mReadOnly; }
  virtual std::string GetName() const { return mName; }
  virtual const std::string& GetPath() const { return mPath; }
  // Moves the position: method 0 from the start, 1 from the position, 2 from
  // the end. Returns the new position.
  virtual uint64_t Seek(int64_t offset, int method);

  // Opens the file read-only even when it could be written (takes effect at
  // the next real open).
  void SetForceReadOnly(bool on) { mForceReadOnly = on; }
  // Forces written data to stable storage.
  void Sync();
  platform::Env& GetEnv() const { return *mEnv; }

  // The path a file of this name has: one without a directory part lies in
  // the current directory.
  static std::string FullPath(const std::string& path, platform::Env& env);

 protected:
  platform::EnvFile& Handle();

 private:
  platform::Env* mEnv;
  std::string mPath;
  std::string mName;
  std::unique_ptr<platform::EnvFile> mHandle;
  bool mReadOnly = false;
  bool mForceReadOnly = false;
};
