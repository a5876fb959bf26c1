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
  std::set<std::string> expected = {"Dispatch", "PrepareSpace",  "PrepareSpace_mc", "XCabort",
                                          "Zorvane",  "getXtable",     "pGetVariableEx",  "pMalloc",
                                          "pRealloc", "pSetVariableEx"};
  for (const char* name :
       {"ZREVDB_Init", "ZREVDB_Shutdown", "ZREVDB_Connect", "ZREVDB_DBClose", "ZREVDB_SQLSelect",
        "ZREVDB_SQLExecute", "ZREVDB_RemoveCursor", "ZREVDB_GetRecordCount", "ZREVDB_GetPosition",
        "ZREVDB_GoToRecord", "ZREVDB_FirstRecord", "ZREVDB_LastRecord", "ZREVDB_NextRecord",
        "ZREVDB_PrevRecord", "ZREVDB_GetFieldCount", "ZREVDB_GetFieldName", "ZREVDB_GetFieldType",
        "ZREVDB_GetFieldLength", "ZREVDB_GetFieldFlag", "ZREVDB_FieldIsNull", "ZREVDB_GetData",
        "ZREVDB_GetTableRef", "ZREVDB_GetError", "newdbconnectionref", "releasedbconnectionref",
        "setidcounterref"})
    expected.insert(name);
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

// What the host's variable "v" holds and the length it reports for it; the
// host's text is exactly the bytes plus a zero, so reading past it is an
// over-read the sanitizer sees.
std::string gBytes;
int32_t gReportedLength = 0;
bool gReturnOtherPointer = false;

void HostRelease(char* text) {
  ++gReleased;
  gLastReleased = text;
  std::free(text);
}

char* HostRead(void* name, void*, void* block, void*) {
  if (std::strcmp(static_cast<const char*>(name), "v") != 0) return nullptr;
  auto* data = static_cast<HostDataBlock*>(block);
  char* text = static_cast<char*>(std::malloc(gBytes.size() + 1));
  std::memcpy(text, gBytes.data(), gBytes.size());
  text[gBytes.size()] = '\0';
  data->data = gReturnOtherPointer ? nullptr : text;
  data->length = gReportedLength;
  return text;
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

  // Reading copies the host's text and hands the host's own back; the
  // reported length is believed up to the text's first zero only.
  const struct {
    std::string bytes;
    int32_t reported;
    bool otherPointer;
    std::string copy;
  } kReads[] = {
      {"value", 5, false, "value"},
      {"value", 2, false, "va"},                // a shorter length cuts
      {"abc", 1 << 20, false, "abc"},           // a lying length
      {"abc", 1 << 20, true, "abc"},            // no length for this text
      {std::string("a\0b", 3), 3, false, "a"},  // nothing after a zero
      {"", 0, false, ""},
      {"neg", -7, false, "neg"},
  };
  HostDataBlock block{};
  char key[] = "";
  int released = gReleased;
  for (const auto& r : kReads) {
    gBytes = r.bytes;
    gReportedLength = r.reported;
    gReturnOtherPointer = r.otherPointer;
    char* copy = pGetVariableEx(const_cast<char*>("v"), key, &block, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, r.copy.c_str()) << r.bytes << " " << r.reported;
    EXPECT_EQ(gReleased, ++released);
    EXPECT_NE(gLastReleased, copy);
    release(copy);
  }
  EXPECT_EQ(pGetVariableEx(const_cast<char*>("missing"), key, &block, nullptr), nullptr);
  EXPECT_EQ(gReleased, released);

  char bytes[] = "x\0y";
  HostDataBlock out{bytes, 3};
  EXPECT_EQ(pSetVariableEx(const_cast<char*>("v"), key, &out, nullptr), nullptr);
  EXPECT_EQ(gStored, std::string("x\0y", 3));
  getXtable(nullptr, nullptr, nullptr, nullptr, nullptr);
}
