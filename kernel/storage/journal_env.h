// FBL_JournalEnv: the env a journalled database opens its volumes through.
// Files of the journal's volume paths read and write through the journal
// (FBL_Journal); sizes and existence by path are the journal's view; every
// other file passes to the env beneath.
#pragma once

#include <memory>
#include <string>

#include "platform/env.h"

class FBL_Journal;

class FBL_JournalEnv : public platform::EnvWrapper {
 public:
  // REQUIRES: journal and target outlive the env.
  FBL_JournalEnv(FBL_Journal& journal, platform::Env* target)
      : EnvWrapper(target), mJournal(journal) {}

  std::unique_ptr<platform::EnvFile> OpenFile(const std::string& path,
                                              platform::OpenMode mode) override;
  std::unique_ptr<platform::EnvFile> CreateFile(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  bool GetFileSize(const std::string& path, uint64_t* size) override;

 private:
  // The journalled slot of path, or -1.
  int Slot(const std::string& path) const;

  FBL_Journal& mJournal;
};
