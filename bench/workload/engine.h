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

// T1, T8 and T9 run a second time through SQL statements as steps
// kStatements + 1, + 8 and + 9, compared with the peer's own step.
inline constexpr int kStatements = 100;

class Engine {
 public:
  virtual ~Engine() = default;
  virtual const char* Name() const = 0;
  // Creates the database in folder dir; false with a message on failure.
  virtual bool Open(const std::string& dir, std::string& error) = 0;
  // Untimed work before a step (T11 makes its table of trips).
  virtual void Prepare(int step, const Workload& w) {
    if (step == 11) MakeTrips(w);
  }
  // step is 1..11 or a statements step; a step the engine does not
  // override answers nothing.
  virtual std::optional<uint64_t> Run(int step, const Workload& w) {
    switch (step) {
      case 1:
        return Insert(w);
      case 2:
        return Lookups(w);
      case 3:
        return AgeCounts(w);
      case 4:
        return PrefixCounts(w);
      case 5:
        return ScoreCounts();
      case 6:
        return WalkByScore();
      case 7:
        return Groups();
      case 8:
        return MoveCities();
      case 9:
        return DeleteYoung();
      case 10:
        return CloseAndMeasure();
      case 11:
        return JoinTrips();
      case kStatements + 1:
        return InsertStatements(w);
      case kStatements + 8:
        return MoveCitiesStatements();
      case kStatements + 9:
        return DeleteYoungStatements();
      default:
        return std::nullopt;
    }
  }

 protected:
  using Answer = std::optional<uint64_t>;
  virtual Answer Insert(const Workload&) { return std::nullopt; }
  virtual Answer Lookups(const Workload&) { return std::nullopt; }
  virtual Answer AgeCounts(const Workload&) { return std::nullopt; }
  virtual Answer PrefixCounts(const Workload&) { return std::nullopt; }
  virtual Answer ScoreCounts() { return std::nullopt; }
  virtual Answer WalkByScore() { return std::nullopt; }
  virtual Answer Groups() { return std::nullopt; }
  virtual Answer MoveCities() { return std::nullopt; }
  virtual Answer DeleteYoung() { return std::nullopt; }
  virtual Answer CloseAndMeasure() { return std::nullopt; }
  virtual void MakeTrips(const Workload&) {}
  virtual Answer JoinTrips() { return std::nullopt; }
  virtual Answer InsertStatements(const Workload&) { return std::nullopt; }
  virtual Answer MoveCitiesStatements() { return std::nullopt; }
  virtual Answer DeleteYoungStatements() { return std::nullopt; }
};

// Each engine with a page cache of cacheBytes.
std::unique_ptr<Engine> MakeSqliteEngine(uint64_t cacheBytes);
std::unique_ptr<Engine> MakeZorvaneEngine(uint64_t cacheBytes);
// Every step through the Zorvane function, as a script makes its calls.
std::unique_ptr<Engine> MakeCommandsEngine(uint64_t cacheBytes);

// What T2 adds up for one row read, the same on both sides.
inline uint64_t RowChecksum(int64_t id, int64_t age, double score, const std::string& name,
                            const std::string& city) {
  return uint64_t(id) * 31 + uint64_t(age) * 7 + uint64_t(score * 1000000.0 + 0.5) +
         uint64_t(uint8_t(name.empty() ? 0 : name[0])) + city.size();
}

}  // namespace workload
