#include "kernel/storage/file_win.h"

#include <cerrno>

#include "kernel/storage/page_cache.h"
#include "platform/errors.h"

FBL_FileWin::FBL_FileWin(const std::string& path, platform::Env* env)
    : mEnv(env != nullptr ? env : platform::Env::Default()), mPath(FullPath(path, *mEnv)) {
  size_t slash = path.find_last_of('/');
  mName = slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FBL_FileWin::FullPath(const std::string& path, platform::Env& env) {
  if (path.find('/') != std::string::npos) return path;
  return env.CurrentDirectory() + "/" + path;
}

FBL_FileWin::~FBL_FileWin() {
  try {
    if (mHandle) {
      mOpenCount = 1;
      Close();
    }
  } catch (const xFBL_Exception&) {
    // A destructor cannot report; the data stays in the OS file as far as
    // it got.
  }
}

platform::EnvFile& FBL_FileWin::Handle() {
  if (!mHandle) throw xFBL_Exception(ERR_ASSERTION_FAIL, "File is not open");
  return *mHandle;
}

void FBL_FileWin::Open() {
  if (mOpenCount > 0) {
    ++mOpenCount;
    return;
  }
  mReadOnly = mForceReadOnly || mEnv->IsReadOnlyFile(mPath);
  mHandle = mEnv->OpenFile(
      mPath, mReadOnly ? platform::OpenMode::kReadOnly : platform::OpenMode::kReadWrite);
  mLength = mHandle->Size();
  mPosition = 0;
  mOpenCount = 1;
}

void FBL_FileWin::Close() {
  if (mOpenCount == 0) return;
  if (mOpenCount == 1) {
    if (!mReadOnly) Flush();
    std::unique_ptr<platform::EnvFile> handle = std::move(mHandle);
    mOpenCount = 0;
    handle->Close();
    return;
  }
  --mOpenCount;
}

void FBL_FileWin::Create() {
  Reset();
  if (Exists()) Remove();
  mHandle = mEnv->CreateFile(mPath);
  mReadOnly = false;
  mLength = 0;
  mOpenCount = 1;
  Close();
}

bool FBL_FileWin::Exists() {
  return mEnv->FileExists(mPath);
}

void FBL_FileWin::Remove() {
  if (mEnv->DeleteFile(mPath)) DropCachedBlocks();
}

uint64_t FBL_FileWin::GetLength() {
  if (mOpenCount > 0) return mLength;
  uint64_t size = 0;
  return mEnv->GetFileSize(mPath, &size) ? size : 0;
}

void FBL_FileWin::SetLength(uint64_t length) {
  uint64_t old = mLength;
  Handle().SetLength(length);
  if (length < old) {
    TruncateCachedBlocks(length);
  } else if (length > old && mCache != nullptr) {
    // Blocks across the old end must learn that the file grew: write them
    // and let them reload.
    mCache->FlushFile(*this, old);
    mCache->DropFile(*this, old);
  }
  mLength = length;
}

uint64_t FBL_FileWin::ReadAt(void* buffer, uint64_t offset, uint64_t count) {
  return Handle().ReadAt(offset, buffer, count);
}

uint64_t FBL_FileWin::WriteAt(const void* buffer, uint64_t offset, uint64_t count) {
  Handle().WriteAt(offset, buffer, count);
  if (offset + count > mLength) mLength = offset + count;
  return count;
}

uint64_t FBL_FileWin::Seek(int64_t offset, int method) {
  int64_t base = method == 2   ? static_cast<int64_t>(GetLength())
                 : method == 1 ? static_cast<int64_t>(mPosition)
                               : 0;
  if (offset < -base) throw xFBL_Exception(EINVAL);
  mPosition = static_cast<uint64_t>(base + offset);
  return mPosition;
}

void FBL_FileWin::Sync() {
  Handle().Sync();
}
