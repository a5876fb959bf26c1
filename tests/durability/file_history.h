// Every change a run makes to the files of one folder, in order, and the
// folder as a crash at any point of the run would have left it on disk:
//  - a process crash after n changes: the first n changes, the last one
//    possibly torn in half;
//  - a power loss: each file as its last sync left it, and the folder's
//    entries as its last sync left them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/env.h"

namespace ztest {

// File name -> content.
using FolderImage = std::map<std::string, std::string>;

struct FileChange {
  enum Kind { kCreate, kWrite, kSetLength, kDelete, kSync, kSyncFolder };
  Kind mKind;
  std::string mName;  // empty for kSyncFolder
  uint64_t mOffset = 0;
  std::string mData;  // the bytes of a write
};

class FileHistory {
 public:
  void Add(FileChange change) { mChanges.push_back(std::move(change)); }
  const std::vector<FileChange>& Changes() const { return mChanges; }
  size_t Size() const { return mChanges.size(); }
  bool IsSync(size_t i) const {
    return mChanges[i].mKind == FileChange::kSync || mChanges[i].mKind == FileChange::kSyncFolder;
  }

  // Builds images change by change: Advance applies the next change.
  class Replay {
   public:
    explicit Replay(const FileHistory& history) : mHistory(history) {}
    size_t Position() const { return mNext; }
    void Advance();
    // The files after every change applied so far.
    const FolderImage& Current() const { return mCurrent; }
    // Current() with the next change, a write, torn: half its bytes.
    FolderImage TornNext() const;
    // What a power loss now leaves.
    const FolderImage& Durable() const { return mDurable; }

   private:
    static void Apply(FolderImage& image, const FileChange& c, size_t bytes);
    const FileHistory& mHistory;
    size_t mNext = 0;
    FolderImage mCurrent;
    FolderImage mDurable;
    FolderImage mSynced;  // files synced before their folder entry was
  };

 private:
  std::vector<FileChange> mChanges;
};

// An env that records into a history the changes to files of one folder
// and passes them on. Syncs are recorded, not made: the crash is simulated.
class RecordingEnv : public platform::EnvWrapper {
 public:
  RecordingEnv(const std::string& folder, FileHistory& history,
               platform::Env* target = platform::Env::Default())
      : EnvWrapper(target), mFolder(folder), mHistory(history) {}

  std::unique_ptr<platform::EnvFile> OpenFile(const std::string& path,
                                              platform::OpenMode mode) override;
  std::unique_ptr<platform::EnvFile> CreateFile(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  void SyncDirectory(const std::string& path) override;

 private:
  // The name of a file in the folder, else empty.
  std::string NameOf(const std::string& path) const;

  std::string mFolder;
  FileHistory& mHistory;
};

// Writes an image as the only files of a folder.
void WriteImage(const std::string& folder, const FolderImage& image);

}  // namespace ztest
