// The mutation harness as a test program. Without options it runs a small
// seeded batch (what ctest runs); long runs pass options before GoogleTest's:
//   test_mutation --iterations 50000 --jobs 2 --seed 7 --gtest_filter='*Batch*'
// --first N starts at case N, --verbose prints a line per case. A case is
// reproduced alone with --first N --iterations 1 --seed S --verbose.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/storage/kernel_startup.h"
#include "tests/mutation/mutation_runner.h"
#include "tests/support/test_dir.h"

#if defined(__SANITIZE_ADDRESS__)
// One allocation above the memory goal is a finding, not a slow success.
extern "C" const char* __asan_default_options() {
  return "max_allocation_size_mb=256";
}
#endif

namespace {

zmut::RunOptions gOptions{.seed = 20240516, .first = 0, .iterations = 150, .jobs = 2};

class MutationHarness : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    zv::StartKernel(uint64_t{4} << 20);
    sFolder = new ztest::TempDir;
    sPristines = new std::vector<zmut::Pristine>(zmut::MakePristines(sFolder->path()));
  }
  static void TearDownTestSuite() {
    delete sPristines;
    delete sFolder;
    zv::StopKernel();
  }
  static zmut::Summary Run(const zmut::RunOptions& options) {
    return zmut::RunCases(*sPristines, sFolder->path(), options);
  }
  static ztest::TempDir* sFolder;
  static std::vector<zmut::Pristine>* sPristines;
};

ztest::TempDir* MutationHarness::sFolder = nullptr;
std::vector<zmut::Pristine>* MutationHarness::sPristines = nullptr;

TEST_F(MutationHarness, BatchEndsInAnswersOnly) {
  zmut::Summary s = Run(gOptions);
  std::printf("seed %llu, cases %llu..%llu\n%s", (unsigned long long)gOptions.seed,
              (unsigned long long)gOptions.first,
              (unsigned long long)(gOptions.first + gOptions.iterations - 1), s.Text().c_str());
  EXPECT_EQ(s.cases, gOptions.iterations);
  EXPECT_TRUE(s.Passed()) << s.Text();
  EXPECT_LT(s.peakKiB, 256u * 1024);
  // The batch must reach the engine's checks, not only fail at open.
  EXPECT_GT(s.clean, 0u);
  EXPECT_GT(s.engineErrors, 0u);
}

TEST_F(MutationHarness, SameCaseDamagesTheSameWay) {
  const std::string work = sFolder->File("again");
  for (uint64_t n : {3u, 17u, 29u}) {
    const zmut::Pristine& p = (*sPristines)[size_t(zmut::VariantOf(5, n))];
    zmut::Outcome a = zmut::RunCase(p, work, 5, n);
    zmut::Outcome b = zmut::RunCase(p, work, 5, n);
    EXPECT_EQ(a.damage, b.damage);
    EXPECT_EQ(a.result, b.result);
    EXPECT_EQ(a.code, b.code);
  }
}

// Cases that once ended wrongly, with the code they give now (0: clean).
// Run in this process: a crash fails the test program.
struct Fixed {
  uint64_t seed;
  uint64_t number;
  int32_t code;
  const char* was;
};
constexpr Fixed kFixed[] = {
    {20240516, 69, 0, "371: a cut .ind volume could not hold a rebuilt index"},
    {20240516, 73, 301, "371 for a cut single volume, not the volume's own error"},
    {20240516, 345, 38, "-3, zlib's code, for a damaged compressed BLOB"},
    {20240516, 533, 38, "-3, zlib's code, for a damaged compressed BLOB"},
    {20240516, 14, 322, "errno 2 for a missing .vdb"},
    {20240516, 3752, 370, "other byte order, a VarChar key's byte flipped in order: a record missed"},
    {13, 9150, 0, "an index file's length cut to its inventory page: every search empty"},
    {2027, 7868, 370, "a VarChar index entry's RecID flipped to another record's: one differs"},
    {2027, 16709, 370, "a Float index entry's RecID flipped to another's in the range: one lost"},
};

TEST_F(MutationHarness, FixedFindingsStayFixed) {
  const std::string work = sFolder->File("fixed");
  for (const Fixed& f : kFixed) {
    SCOPED_TRACE(f.was);
    const zmut::Pristine& p = (*sPristines)[size_t(zmut::VariantOf(f.seed, f.number))];
    zmut::Outcome o = zmut::RunCase(p, work, f.seed, f.number);
    EXPECT_EQ(o.finding, "");
    EXPECT_EQ(o.code, f.code) << "case " << f.number << " of seed " << f.seed << ": " << o.damage;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Our options first; GoogleTest takes the rest.
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    auto value = [&](const char* name) -> const char* {
      return std::strcmp(argv[i], name) == 0 && i + 1 < argc ? argv[++i] : nullptr;
    };
    if (const char* v = value("--iterations")) {
      gOptions.iterations = std::strtoull(v, nullptr, 10);
    } else if (const char* v2 = value("--seed")) {
      gOptions.seed = std::strtoull(v2, nullptr, 10);
    } else if (const char* v3 = value("--first")) {
      gOptions.first = std::strtoull(v3, nullptr, 10);
    } else if (const char* v4 = value("--jobs")) {
      gOptions.jobs = std::atoi(v4);
    } else if (std::strcmp(argv[i], "--verbose") == 0) {
      gOptions.verbose = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
