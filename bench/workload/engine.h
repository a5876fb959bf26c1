// One engine's side of the workload. Each step returns its answer (a count
// or a checksum both engines must agree on), or nothing when the engine
// cannot run the step yet.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "workload_data.h"

namespace workload {

class Engine {
 public:
  virtual ~Engine() = default;
  virtual const char* Name() const = 0;
  // Creates the database in folder dir; false with a message on failure.
  virtual bool Open(const std::string& dir, std::string& error) = 0;
  // step is 1..10.
  virtual std::optional<uint64_t> Run(int step, const Workload& w) = 0;
};

std::unique_ptr<Engine> MakeSqliteEngine();
std::unique_ptr<Engine> MakeZorvaneEngine();

// What T2 adds up for one row read, the same on both sides.
inline uint64_t RowChecksum(int64_t id, int64_t age, double score, const std::string& name,
                            const std::string& city) {
  return uint64_t(id) * 31 + uint64_t(age) * 7 + uint64_t(score * 1000000.0 + 0.5) +
         uint64_t(uint8_t(name.empty() ? 0 : name[0])) + city.size();
}

}  // namespace workload
