// The POSIX env: pread/pwrite on descriptors, flock for sharing.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/env.h"
#include "platform/errors.h"

namespace platform {
namespace {

[[noreturn]] void ThrowErrno(int error) {
  throw xFBL_Exception(error != 0 ? error : EIO);
}

class PosixFile final : public EnvFile {
 public:
  explicit PosixFile(int fd) : mFd(fd) {}
  ~PosixFile() override {
    if (mFd >= 0) ::close(mFd);  // the lock goes with the descriptor
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override {
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < n) {
      ssize_t got = ::pread(mFd, out + done, n - done, static_cast<off_t>(offset + done));
      if (got < 0) {
        if (errno == EINTR) continue;
        ThrowErrno(errno);
      }
      if (got == 0) break;  // end of file
      done += static_cast<size_t>(got);
    }
    return done;
  }

  void WriteAt(uint64_t offset, const void* buffer, size_t n) override {
    size_t done = 0;
    const auto* in = static_cast<const char*>(buffer);
    while (done < n) {
      ssize_t put = ::pwrite(mFd, in + done, n - done, static_cast<off_t>(offset + done));
      if (put < 0) {
        if (errno == EINTR) continue;
        ThrowErrno(errno);
      }
      if (put == 0) ThrowErrno(ENOSPC);
      done += static_cast<size_t>(put);
    }
  }

  void SetLength(uint64_t length) override {
    if (length > static_cast<uint64_t>(LLONG_MAX)) ThrowErrno(EFBIG);
    while (::ftruncate(mFd, static_cast<off_t>(length)) != 0) {
      if (errno != EINTR) ThrowErrno(errno);
    }
  }

  uint64_t Size() override {
    struct stat st;
    if (::fstat(mFd, &st) != 0) ThrowErrno(errno);
    return static_cast<uint64_t>(st.st_size);
  }

  void Sync() override {
    if (::fdatasync(mFd) != 0) ThrowErrno(errno);
  }

  void StartSync() override {
    // A failure here shows again in the Sync that must follow.
    (void)::sync_file_range(mFd, 0, 0, SYNC_FILE_RANGE_WRITE);
  }

  void Close() override {
    if (mFd < 0) return;
    int fd = mFd;
    mFd = -1;
    if (::close(fd) != 0 && errno != EINTR) ThrowErrno(errno);
  }

 private:
  int mFd;
};

std::unique_ptr<EnvFile> OpenLocked(const std::string& path, int flags, int lockKind) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) ThrowErrno(errno);
  while (::flock(fd, lockKind | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    int error = errno;
    ::close(fd);
    ThrowErrno(error);
  }
  return std::make_unique<PosixFile>(fd);
}

class PosixEnv final : public Env {
 public:
  std::unique_ptr<EnvFile> OpenFile(const std::string& path, OpenMode mode) override {
    if (mode == OpenMode::kReadOnly) return OpenLocked(path, O_RDONLY, LOCK_SH);
    return OpenLocked(path, O_RDWR, LOCK_EX);
  }

  std::unique_ptr<EnvFile> CreateFile(const std::string& path) override {
    // Lock before truncating so a file in use by someone else is not cut.
    auto file = OpenLocked(path, O_RDWR | O_CREAT, LOCK_EX);
    file->SetLength(0);
    return file;
  }

  bool DeleteFile(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  bool FileExists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  bool GetFileSize(const std::string& path, uint64_t* size) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
  }

  bool IsReadOnlyFile(const std::string& path) override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
    return ::access(path.c_str(), W_OK) != 0;
  }

  std::string CurrentDirectory() override {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE) ThrowErrno(errno);
      buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
  }

  std::string TempDirectory() override {
    const char* dir = std::getenv("TMPDIR");
    std::string result = (dir != nullptr && dir[0] != '\0') ? dir : "/tmp";
    while (result.size() > 1 && result.back() == '/') result.pop_back();
    return result;
  }

  std::string CreateTempFile() override {
    std::string pattern = TempDirectory() + "/zorXXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) ThrowErrno(errno);
    ::close(fd);
    return pattern;
  }

  std::string CreateTempDirectory() override {
    std::string pattern = TempDirectory() + "/zorXXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) ThrowErrno(errno);
    return pattern;
  }

  bool DeleteDirectory(const std::string& path) override { return ::rmdir(path.c_str()) == 0; }

  void SyncDirectory(const std::string& path) override {
    int fd;
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) ThrowErrno(errno);
    if (::fsync(fd) != 0) {
      int error = errno;
      ::close(fd);
      ThrowErrno(error);
    }
    ::close(fd);
  }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv env;
  return &env;
}

}  // namespace platform
