// A fresh temporary directory per test, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

#include "platform/env.h"

namespace ztest {

class TempDir {
 public:
  TempDir() : mPath(platform::Env::Default()->CreateTempDirectory()) {}
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(mPath, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return mPath; }
  std::string File(const std::string& name) const { return mPath + "/" + name; }

 private:
  std::string mPath;
};

}  // namespace ztest
