// Runs each test with the kernel started and a fresh temporary directory.
#pragma once

#include <gtest/gtest.h>

#include "kernel/storage/kernel_startup.h"
#include "tests/support/error_code.h"
#include "tests/support/test_dir.h"

namespace ztest {

class KernelTest : public ::testing::Test {
 protected:
  void SetUp() override { zv::StartKernel(8u << 20); }
  void TearDown() override { zv::StopKernel(); }
  TempDir mDir;
};

}  // namespace ztest
