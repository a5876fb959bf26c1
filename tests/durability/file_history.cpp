#include "tests/durability/file_history.h"

#include <filesystem>
#include <fstream>

namespace ztest {

void FileHistory::Replay::Apply(FolderImage& image, const FileChange& c, size_t bytes) {
  switch (c.mKind) {
    case FileChange::kCreate:
      image[c.mName].clear();
      break;
    case FileChange::kWrite: {
      std::string& file = image[c.mName];
      if (file.size() < c.mOffset + bytes) file.resize(c.mOffset + bytes, '\0');
      file.replace(c.mOffset, bytes, c.mData, 0, bytes);
      break;
    }
    case FileChange::kSetLength:
      image[c.mName].resize(c.mOffset, '\0');
      break;
    case FileChange::kDelete:
      image.erase(c.mName);
      break;
    case FileChange::kSync:
    case FileChange::kSyncFolder:
      break;
  }
}

void FileHistory::Replay::Advance() {
  const FileChange& c = mHistory.mChanges[mNext++];
  Apply(mCurrent, c, c.mData.size());
  if (c.mKind == FileChange::kSync) {
    // A file's sync keeps its bytes; its entry in the folder needs the
    // folder's sync.
    auto it = mCurrent.find(c.mName);
    if (it == mCurrent.end()) return;
    if (mDurable.count(c.mName) != 0) {
      mDurable[c.mName] = it->second;
    } else {
      mSynced[c.mName] = it->second;
    }
  } else if (c.mKind == FileChange::kSyncFolder) {
    for (auto it = mDurable.begin(); it != mDurable.end();) {
      it = mCurrent.count(it->first) == 0 ? mDurable.erase(it) : std::next(it);
    }
    for (const auto& [name, bytes] : mCurrent) {
      if (mDurable.count(name) != 0) continue;
      auto synced = mSynced.find(name);
      mDurable[name] = synced != mSynced.end() ? synced->second : std::string();
    }
    mSynced.clear();
  }
}

FolderImage FileHistory::Replay::TornNext() const {
  FolderImage image = mCurrent;
  const FileChange& c = mHistory.mChanges[mNext];
  Apply(image, c, c.mData.size() / 2);
  return image;
}

// ---- recording ---------------------------------------------------------------------

namespace {

class RecordingFile : public platform::EnvFileWrapper {
 public:
  RecordingFile(std::unique_ptr<platform::EnvFile> target, FileHistory& history, std::string name)
      : EnvFileWrapper(std::move(target)), mHistory(history), mName(std::move(name)) {}

  void WriteAt(uint64_t offset, const void* buffer, size_t n) override {
    EnvFileWrapper::WriteAt(offset, buffer, n);
    mHistory.Add({FileChange::kWrite, mName, offset,
                  std::string(static_cast<const char*>(buffer), n)});
  }
  void SetLength(uint64_t length) override {
    EnvFileWrapper::SetLength(length);
    mHistory.Add({FileChange::kSetLength, mName, length, {}});
  }
  void Sync() override { mHistory.Add({FileChange::kSync, mName, 0, {}}); }

 private:
  FileHistory& mHistory;
  std::string mName;
};

}  // namespace

std::string RecordingEnv::NameOf(const std::string& path) const {
  if (path.size() <= mFolder.size() + 1 || path.compare(0, mFolder.size(), mFolder) != 0 ||
      path[mFolder.size()] != '/')
    return {};
  return path.substr(mFolder.size() + 1);
}

std::unique_ptr<platform::EnvFile> RecordingEnv::OpenFile(const std::string& path,
                                                          platform::OpenMode mode) {
  auto file = EnvWrapper::OpenFile(path, mode);
  const std::string name = NameOf(path);
  if (name.empty()) return file;
  return std::make_unique<RecordingFile>(std::move(file), mHistory, name);
}

std::unique_ptr<platform::EnvFile> RecordingEnv::CreateFile(const std::string& path) {
  auto file = EnvWrapper::CreateFile(path);
  const std::string name = NameOf(path);
  if (name.empty()) return file;
  mHistory.Add({FileChange::kCreate, name, 0, {}});
  return std::make_unique<RecordingFile>(std::move(file), mHistory, name);
}

bool RecordingEnv::DeleteFile(const std::string& path) {
  const bool deleted = EnvWrapper::DeleteFile(path);
  const std::string name = NameOf(path);
  if (deleted && !name.empty()) mHistory.Add({FileChange::kDelete, name, 0, {}});
  return deleted;
}

void RecordingEnv::SyncDirectory(const std::string& path) {
  if (path == mFolder) mHistory.Add({FileChange::kSyncFolder, {}, 0, {}});
}

void WriteImage(const std::string& folder, const FolderImage& image) {
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator(folder, ignored))
    std::filesystem::remove(e.path(), ignored);
  for (const auto& [name, bytes] : image) {
    std::ofstream out(folder + "/" + name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
}

}  // namespace ztest
