// Runs each test with the kernel started and a fresh temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "kernel/storage/kernel_startup.h"
#include "platform/errors.h"
#include "tests/storage/test_dir.h"

namespace ztest {

class KernelTest : public ::testing::Test {
 protected:
  void SetUp() override { zv::StartKernel(8u << 20); }
  void TearDown() override { zv::StopKernel(); }
  TempDir mDir;
};

// The code of the xFBL_Exception f raises, or 0 when it raises none.
inline int ErrorCode(const std::function<void()>& f) {
  try {
    f();
  } catch (const xFBL_Exception& e) {
    return e.Code;
  }
  return 0;
}

}  // namespace ztest
