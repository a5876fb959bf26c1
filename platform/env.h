// The file layer of the platform: every file operation of the engine goes
// through an Env, so tests can swap in one that injects faults.
//
// Failures raise xFBL_Exception carrying the operating system's error number
// (errno). Files opened for writing hold an exclusive advisory lock for their
// whole life; read-only files hold a shared one, so a writer and another
// process never see the same volume at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// An open file. Closing happens on destruction; a failed close is reported
// by Close() when the caller wants to know.
class EnvFile {
 public:
  virtual ~EnvFile() = default;
  // Reads up to n bytes at offset; returns the bytes read (fewer only at the
  // end of the file).
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t n) = 0;
  // Writes all n bytes at offset, extending the file when needed.
  virtual void WriteAt(uint64_t offset, const void* buffer, size_t n) = 0;
  virtual void SetLength(uint64_t length) = 0;
  virtual uint64_t Size() = 0;
  // Forces the file's data (and its length) to stable storage.
  virtual void Sync() = 0;
  // Starts writing the file's changed data to the device without waiting:
  // Syncs of several files after it overlap their writes. Only a hint.
  virtual void StartSync() {}
  // Closes the descriptor; later calls fail with EBADF. Idempotent.
  virtual void Close() = 0;
};

enum class OpenMode { kReadOnly, kReadWrite };

class Env {
 public:
  virtual ~Env() = default;

  // The process-wide POSIX env. Never null; lives for the whole process.
  static Env* Default();

  // Opens an existing file. A read-write file is locked exclusively, a
  // read-only one shared; a file locked by someone else fails with
  // EWOULDBLOCK.
  virtual std::unique_ptr<EnvFile> OpenFile(const std::string& path, OpenMode mode) = 0;
  // Creates a file or truncates an existing one, open read-write and locked.
  virtual std::unique_ptr<EnvFile> CreateFile(const std::string& path) = 0;
  // Returns false when the file could not be deleted.
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Size by path; false when there is no such file.
  virtual bool GetFileSize(const std::string& path, uint64_t* size) = 0;
  // True when the file carries no write permission at all.
  virtual bool IsReadOnlyFile(const std::string& path) = 0;
  virtual std::string CurrentDirectory() = 0;
  // The system temporary directory, without a trailing separator.
  virtual std::string TempDirectory() = 0;
  // Creates a new empty file with a unique name starting with "zor" in the
  // temporary directory and returns its path.
  virtual std::string CreateTempFile() = 0;
  // Creates a new empty directory with a unique "zor" name in the temporary
  // directory and returns its path.
  virtual std::string CreateTempDirectory() = 0;
  // Removes an empty directory; false on failure.
  virtual bool DeleteDirectory(const std::string& path) = 0;
  // Forces the directory's entries to stable storage, so that files created
  // or deleted in it stay so after a power loss.
  virtual void SyncDirectory(const std::string& path) = 0;
};

// Forwards every call to another env, so a subclass overrides one
// operation. The target must outlive the wrapper.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : mTarget(target) {}
  Env* target() const { return mTarget; }

  std::unique_ptr<EnvFile> OpenFile(const std::string& path, OpenMode mode) override {
    return mTarget->OpenFile(path, mode);
  }
  std::unique_ptr<EnvFile> CreateFile(const std::string& path) override {
    return mTarget->CreateFile(path);
  }
  bool DeleteFile(const std::string& path) override { return mTarget->DeleteFile(path); }
  bool FileExists(const std::string& path) override { return mTarget->FileExists(path); }
  bool GetFileSize(const std::string& path, uint64_t* size) override {
    return mTarget->GetFileSize(path, size);
  }
  bool IsReadOnlyFile(const std::string& path) override { return mTarget->IsReadOnlyFile(path); }
  std::string CurrentDirectory() override { return mTarget->CurrentDirectory(); }
  std::string TempDirectory() override { return mTarget->TempDirectory(); }
  std::string CreateTempFile() override { return mTarget->CreateTempFile(); }
  std::string CreateTempDirectory() override { return mTarget->CreateTempDirectory(); }
  bool DeleteDirectory(const std::string& path) override { return mTarget->DeleteDirectory(path); }
  void SyncDirectory(const std::string& path) override { mTarget->SyncDirectory(path); }

 private:
  Env* mTarget;
};

// The same for an open file.
class EnvFileWrapper : public EnvFile {
 public:
  explicit EnvFileWrapper(std::unique_ptr<EnvFile> target) : mTarget(std::move(target)) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    return mTarget->ReadAt(offset, buffer, n);
  }
  void WriteAt(uint64_t offset, const void* buffer, size_t n) override {
    mTarget->WriteAt(offset, buffer, n);
  }
  void SetLength(uint64_t length) override { mTarget->SetLength(length); }
  uint64_t Size() override { return mTarget->Size(); }
  void Sync() override { mTarget->Sync(); }
  void StartSync() override { mTarget->StartSync(); }
  void Close() override { mTarget->Close(); }

 protected:
  EnvFile& target() { return *mTarget; }

 private:
  std::unique_ptr<EnvFile> mTarget;
};

}  // namespace platform
