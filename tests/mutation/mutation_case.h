// One case of the mutation harness: a copy of a small database, damaged in
// one way chosen by a seeded generator, then opened, scanned, searched,
// changed, closed and opened again through the kernel's operations.
//
// A case is named by (seed, number): the same pair damages the same bytes
// the same way on every machine. What a case may end in:
//   clean or an engine error (xFBL_Exception): both fine;
//   a finding: another exception, a table or database that opened empty,
//   an index answer that disagrees with a scan, a record count that
//   disagrees with the walk of the records; crashes, sanitizer reports,
//   hangs and memory are the runner's to see (mutation_runner.h).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "kernel/sets/rec_id.h"

namespace zmut {

// The databases a case starts from.
enum class Variant : uint8_t { kPlain, kEncrypted, kOtherOrder };
inline constexpr int kVariantCount = 3;
const char* VariantName(Variant v);

// What the pristine database of a variant holds.
struct Pristine {
  Variant variant = Variant::kPlain;
  std::string base;                // path without extension
  std::vector<std::string> files;  // the files of the set that exist
  std::set<REC_ID> alive;
};

// Makes the three pristine databases in folder. REQUIRES: kernel started.
std::vector<Pristine> MakePristines(const std::string& folder);

enum class Result : uint8_t { kClean, kEngineError, kFinding };

struct Outcome {
  Result result = Result::kClean;
  int32_t code = 0;        // the engine error's code
  std::string damage;      // what the mutation did
  std::string finding;     // what went wrong, for a finding
  bool lostRecords = false;  // opened without error but other records alive
};

// Copies the pristine files to work (a base path), damages them as case
// (seed, number) says and runs the operations. Never throws.
Outcome RunCase(const Pristine& pristine, const std::string& work, uint64_t seed,
                uint64_t number);

// The variant case (seed, number) uses.
Variant VariantOf(uint64_t seed, uint64_t number);

}  // namespace zmut
