#include "bridge/bridge_commands.h"

#include <gtest/gtest.h>

#include "api/api_layer.h"
#include "api/handle_registry.h"
#include "bridge_test_support.h"
#include "kernel/storage/kernel_startup.h"
#include "platform/debug_output.h"

using bridge_test::Cmd;

TEST(InitCommand, CacheSizeIsRaisedToTheMinimumThenCappedByPhysicalMemory) {
  constexpr uint64_t kBig = uint64_t(64) << 30;
  constexpr uint64_t k512MB = uint64_t(512) << 20;
  EXPECT_EQ(bridge::InitCacheSize(false, 0, kBig), 3145728u);
  EXPECT_EQ(bridge::InitCacheSize(true, 1000, kBig), 102400u);
  EXPECT_EQ(bridge::InitCacheSize(true, 100000000, k512MB), 67108864u);
  EXPECT_EQ(bridge::InitCacheSize(true, 0xFFFFFFFFu, k512MB), 67108864u);
  EXPECT_EQ(bridge::InitCacheSize(true, 500000, 400000), 50000u);  // the cap wins
}

TEST(InitCommand, KeepsTheSizeForTheKernelUntilShutDown) {
  api::ZDK_Stop();
  EXPECT_EQ(Cmd({"Init"}), "");
  EXPECT_EQ(api::ZDK_CacheSize(), 3145728u);
  EXPECT_EQ(Cmd({"Init", "200000"}), "");  // already started: unchanged
  EXPECT_EQ(api::ZDK_CacheSize(), 3145728u);
  EXPECT_NE(FBL_MainCache(), nullptr);
  EXPECT_NE(FBL_VolumeCache(), nullptr);
  EXPECT_EQ(Cmd({"ShutDown"}), "");
  EXPECT_FALSE(api::ZDK_IsStarted());
  EXPECT_EQ(FBL_MainCache(), nullptr);
  EXPECT_EQ(Cmd({"init", "1000"}), "");
  EXPECT_EQ(api::ZDK_CacheSize(), 102400u);
  EXPECT_EQ(Cmd({"ShutDown"}), "");
}

TEST(BridgeCommands, VersionCreatorAndEscapes) {
  EXPECT_EQ(Cmd({"Version"}), "1.11");
  EXPECT_EQ(Cmd({"SetCreator", "anything", "at all"}), "");
  EXPECT_EQ(Cmd({"EscapeString", "it's (a).b"}), "it\\'s (a).b");
  EXPECT_EQ(Cmd({"EscapeString", "it's (a).b", "1"}), "it\\'s \\(a\\)\\.b");
  EXPECT_EQ(Cmd({"EscapeString", "a?[b]\\c", "-3"}), "a\\?\\[b\\]\\c");
  EXPECT_EQ(Cmd({"EscapeString", "a?[b]", "0"}), "a?[b]");
  EXPECT_EQ(Cmd({"EscapeString"}), "");
}

TEST(BridgeCommands, MemoryBlocksAreHandlesNotAddresses) {
  const std::string first = Cmd({"MemBuffer_Allocate", "64"});
  const int32_t handle = std::stoi(first);
  ASSERT_GT(handle, 0);
  auto bytes = api::HandleRegistry::Instance().Block(handle);
  ASSERT_EQ(bytes.size(), 64u);
  EXPECT_EQ(bytes[63], 0);
  EXPECT_EQ(Cmd({"MemBuffer_Free", first}), "");
  EXPECT_EQ(Cmd({"MemBuffer_Free", first}), "ERROR 310");
  EXPECT_EQ(Cmd({"MemBuffer_Free", "987654321"}), "ERROR 310");
  EXPECT_EQ(Cmd({"MemBuffer_Free"}), "ERROR 310");
  EXPECT_EQ(Cmd({"MemBuffer_Allocate", "-1"}), "ERROR 310");
  // Handles are never handed out twice.
  const int32_t second = std::stoi(Cmd({"MemBuffer_Allocate", "0"}));
  EXPECT_GT(second, handle);
  EXPECT_EQ(Cmd({"MemBuffer_Free", std::to_string(second)}), "");
}

TEST(BridgeCommands, MemoryBlocksStayUnderTheirCeilings) {
  auto& registry = api::HandleRegistry::Instance();
  const size_t before = registry.BlockBytes();
  // The default ceilings refuse before any memory is touched.
  EXPECT_EQ(Cmd({"MemBuffer_Allocate", "268435457"}), "ERROR 311");
  EXPECT_EQ(Cmd({"MemBuffer_Allocate", "2147483647"}), "ERROR 311");

  registry.SetBlockLimits(1000, before + 2500);
  struct Step {
    const char* size;  // null: free the oldest block still held
    bool granted;
  };
  const Step kSteps[] = {
      {"1001", false}, {"1000", true}, {"1000", true},  {"600", false},  // 3000 > 2500
      {"500", true},   {"1", false},   {nullptr, true}, {"1000", true},
  };
  std::vector<std::string> held;
  for (const Step& step : kSteps) {
    if (step.size == nullptr) {
      EXPECT_EQ(Cmd({"MemBuffer_Free", held.front()}), "");
      held.erase(held.begin());
      continue;
    }
    const std::string result = Cmd({"MemBuffer_Allocate", step.size});
    if (step.granted) {
      EXPECT_GT(std::stoi(result), 0) << step.size;
      held.push_back(result);
    } else {
      EXPECT_EQ(result, "ERROR 311") << step.size;
    }
  }
  EXPECT_EQ(registry.BlockBytes(), before + 2500);
  for (const std::string& handle : held) Cmd({"MemBuffer_Free", handle});
  EXPECT_EQ(registry.BlockBytes(), before);
  registry.SetBlockLimits(api::HandleRegistry::kDefaultBlockLimit,
                          api::HandleRegistry::kDefaultTotalLimit);
}

TEST(BridgeCommands, RegistryRefusesHandlesOfAnotherKind) {
  auto& registry = api::HandleRegistry::Instance();
  int object = 0;
  const int32_t handle = registry.Register(api::HandleKind::Cursor, &object);
  EXPECT_EQ(registry.Find(handle, api::HandleKind::Cursor), &object);
  EXPECT_EQ(registry.Find(handle, api::HandleKind::Database), nullptr);
  EXPECT_FALSE(registry.FreeBlock(handle));  // not a memory block
  EXPECT_EQ(Cmd({"MemBuffer_Free", std::to_string(handle)}), "ERROR 310");
  registry.Unregister(handle);
  EXPECT_EQ(registry.Find(handle, api::HandleKind::Cursor), nullptr);
}

namespace {

// Captures the debug output for one test.
struct TraceCapture {
  std::string text;
  TraceCapture() {
    platform::SetDebugSink([this](std::string_view line) { text += line; });
  }
  ~TraceCapture() {
    platform::SetDebugSink(nullptr);
    bridge::DebugLevel = 0;
  }
};

}  // namespace

TEST(Trace, LevelsSelectWhatIsTraced) {
  TraceCapture trace;
  Cmd({"Version"});
  EXPECT_EQ(trace.text, "");

  EXPECT_EQ(Cmd({"SetDebugLevel", "1"}), "");
  EXPECT_EQ(trace.text, "");  // the level command itself is not traced at 1
  Cmd({"Version"});
  EXPECT_EQ(trace.text, "");
  Cmd({"NoSuchCommand"});
  EXPECT_EQ(trace.text, "error  310\n");

  trace.text.clear();
  Cmd({"SetDebugLevel", "2"});
  EXPECT_EQ(trace.text, "Zorvane_SetDebugLevel...done\n");
  trace.text.clear();
  Cmd({"Version"});
  Cmd({"MemBuffer_Free", "-5"});
  EXPECT_EQ(trace.text, "Zorvane_Version...done\nMemBuffer_Free...error  310\n");
  Cmd({"SetDebugLevel", "65536"});  // low 16 bits: 0
  EXPECT_EQ(bridge::DebugLevel, 0);
}
