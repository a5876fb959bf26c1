// fuzz_seeds DIR: writes the starting inputs of the fuzz targets into
// DIR/volume_scan (databases: plain, other byte order, keyed) and
// DIR/command_entry (a few command scripts).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include "fuzz/seed_database.h"
#include "kernel/storage/kernel_startup.h"
#include "platform/errors.h"

namespace {

namespace fs = std::filesystem;

const char* const kCommandSeeds[] = {
    "Version",
    "Init\t1000\nVersion\nShutDown",
    "SetDebugLevel\t2\nEscapeString\tit's (a).b\t1\nSetDebugLevel\t0",
    "MemBuffer_Allocate\t64\nMemBuffer_Free\t1\nMemBuffer_Allocate\t-1",
    "\x02\x05\x06"
    "a.b\t1",
    "\x02\x03\x01",
    "\x01\xFF\xFF\x00\x00"
    "abc",
};

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: fuzz_seeds DIR\n", stderr);
    return 2;
  }
  const fs::path root = argv[1];
  fs::create_directories(root / "volume_scan");
  fs::create_directories(root / "command_entry");
  for (size_t i = 0; i < std::size(kCommandSeeds); ++i)
    WriteText(root / "command_entry" / ("seed" + std::to_string(i)), kCommandSeeds[i]);

  const fs::path work = root / "work";
  fs::create_directories(work);
  zv::StartKernel(uint64_t{4} << 20);
  try {
    for (auto [name, order, keyed] :
         {std::tuple{"plain", 0, false}, std::tuple{"big_endian", 1, false},
          std::tuple{"keyed", 0, true}}) {
      const std::string base = (work / name).string();
      zfuzz::MakeSeedDatabase(base, uint8_t(order), keyed);
      fs::copy_file(base + ".vdb", root / "volume_scan" / (std::string(name) + ".vdb"),
                    fs::copy_options::overwrite_existing);
    }
  } catch (const xFBL_Exception& e) {
    std::fprintf(stderr, "fuzz_seeds: error %d\n", e.Code);
    return 1;
  }
  zv::StopKernel();
  fs::remove_all(work);
  return 0;
}
