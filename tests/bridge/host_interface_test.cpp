// The exported interface as a separate program sees it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "bridge/result_buffer.h"
#include "zorvane/xcmd.h"

namespace {

std::set<std::string> DefinedDynamicSymbols(const char* path) {
  std::set<std::string> names;
  const std::string command = std::string("nm -D --defined-only ") + path;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  std::array<char, 512> line;
  while (std::fgets(line.data(), line.size(), pipe) != nullptr) {
    char name[512];
    char kind;
    unsigned long long address;
    if (std::sscanf(line.data(), "%llx %c %511s", &address, &kind, name) == 3) names.insert(name);
  }
  pclose(pipe);
  return names;
}

}  // namespace

TEST(HostInterface, LibraryExportsExactlyTheExternalInterface) {
  std::set<std::string> names = DefinedDynamicSymbols(ZORVANE_LIBRARY_PATH);
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer runtime adds its own registration symbols.
  std::erase_if(names, [](const std::string& n) { return n.rfind("__", 0) == 0 || n[0] == '_'; });
#endif
  const std::set<std::string> expected = {"Dispatch", "PrepareSpace",  "PrepareSpace_mc", "XCabort",
                                          "Zorvane",  "getXtable",     "pGetVariableEx",  "pMalloc",
                                          "pRealloc", "pSetVariableEx"};
  EXPECT_EQ(names, expected);
}

TEST(HostInterface, ZlibIsReachableThroughTheLibraryHandle) {
  void* handle = dlopen(ZORVANE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  EXPECT_NE(dlsym(handle, "deflate"), nullptr);
  EXPECT_NE(dlsym(handle, "inflate"), nullptr);
  EXPECT_NE(dlsym(handle, "getXtable"), nullptr);
  dlclose(handle);
}

namespace {

int gReleased = 0;
char* gLastReleased = nullptr;
std::string gStored;
const char kVariable[] = {'a', '\0', 'b'};

void HostRelease(char* text) {
  ++gReleased;
  gLastReleased = text;
  std::free(text);
}

char* HostRead(void* name, void*, void* block, void*) {
  if (std::strcmp(static_cast<const char*>(name), "bytes") != 0) return nullptr;
  auto* data = static_cast<HostDataBlock*>(block);
  data->data = static_cast<char*>(std::malloc(sizeof kVariable + 1));
  std::memcpy(data->data, kVariable, sizeof kVariable);
  data->data[sizeof kVariable] = '\0';
  data->length = sizeof kVariable;
  return data->data;
}

char* HostWrite(void*, void*, void* block, void*) {
  auto* data = static_cast<HostDataBlock*>(block);
  gStored.assign(data->data, size_t(data->length));
  return nullptr;
}

}  // namespace

TEST(HostInterface, RegistrationAndVariableCallbacks) {
  HostCallback callbacks[21] = {};
  callbacks[19] = HostRead;
  callbacks[20] = HostWrite;
  char* name = nullptr;
  XternalEntry* table = nullptr;
  ZorvaneReleaseFn release = nullptr;
  getXtable(callbacks, HostRelease, &name, &table, &release);
  EXPECT_STREQ(name, "Zorvane XCMD");
  EXPECT_STREQ(table[0].name, "Zorvane");
  EXPECT_STREQ(table[0].kind, "F");
  EXPECT_EQ(table[0].zero, 0);
  EXPECT_EQ(table[0].entry, reinterpret_cast<void*>(&Zorvane));
  EXPECT_EQ(table[0].abort, reinterpret_cast<void*>(&XCabort));
  EXPECT_STREQ(table[1].name, "");
  EXPECT_EQ(table[1].entry, nullptr);
  ASSERT_NE(release, nullptr);

  // Reading copies the bytes, zeros included, and hands the host's text back.
  HostDataBlock block{};
  char key[] = "";
  char* copy = pGetVariableEx(const_cast<char*>("bytes"), key, &block, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::memcmp(copy, kVariable, sizeof kVariable), 0);
  EXPECT_EQ(copy[sizeof kVariable], '\0');
  EXPECT_EQ(gReleased, 1);
  EXPECT_NE(gLastReleased, copy);
  release(copy);
  EXPECT_EQ(pGetVariableEx(const_cast<char*>("missing"), key, &block, nullptr), nullptr);
  EXPECT_EQ(gReleased, 1);

  char bytes[] = "x\0y";
  HostDataBlock out{bytes, 3};
  EXPECT_EQ(pSetVariableEx(const_cast<char*>("v"), key, &out, nullptr), nullptr);
  EXPECT_EQ(gStored, std::string("x\0y", 3));
  getXtable(nullptr, nullptr, nullptr, nullptr, nullptr);
}
