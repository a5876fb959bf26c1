// A fixed run over a database, and a model of the database as of each
// flush it completes: two tables (one with a unique and a plain index, a
// Text column and an index built over existing records; one with an index
// and a VarChar column), records added, updated and deleted (also from the
// end, which shortens the files), flushed several times, then closed.
//
// A crash test runs it through an env that records or fails, then opens
// what is on disk with a clean env and checks it against the states the
// run may have left: the last completed flush, or the one under way.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/env.h"

namespace ztest {

struct PersonRow {
  std::string mName;
  std::string mNote;
  double mScore = 0;
  int16_t mAge = 0;
  bool operator==(const PersonRow&) const = default;
};

struct ScenarioState {
  std::map<int32_t, PersonRow> mPeople;    // by id
  std::map<int32_t, std::string> mCities;  // by code
  bool mAgeIndexed = false;
  bool operator==(const ScenarioState&) const = default;
};

class CrashScenario {
 public:
  // Where a flush (or the close) lies on the clock; state is the index of
  // the state it makes.
  struct Flush {
    uint64_t mStart, mEnd;
    size_t mState;
  };

  // clock: the run's progress as the env counts it (changes recorded, say).
  explicit CrashScenario(std::function<uint64_t()> clock = [] { return 0; });

  // Runs every step on a new database at base through env. Returns the
  // error code of the step that failed, 0 when none did; a failed run calls
  // crash() before it lets go of the database, so nothing more reaches the
  // disk.
  int Run(platform::Env& env, const std::string& base, const std::function<void()>& crash);

  // states()[0] is the empty database; each flush adds one, and a flush
  // that failed adds the one it was making.
  const std::vector<ScenarioState>& states() const { return mStates; }
  const std::vector<Flush>& flushes() const { return mFlushes; }
  // The clock when Create returned (UINT64_MAX before) and when the close
  // began.
  uint64_t created() const { return mCreated; }
  uint64_t closing() const { return mClosing; }
  // The state the run's failed flush was making, or -1.
  int failedFlush() const { return mFailedFlush; }

  // The states a crash at clock c may leave: the last flush completed by
  // then, and the one under way.
  std::vector<size_t> StatesAt(uint64_t c) const;

 private:
  std::function<uint64_t()> mClock;
  std::vector<ScenarioState> mStates;
  std::vector<Flush> mFlushes;
  uint64_t mCreated = UINT64_MAX;
  uint64_t mClosing = UINT64_MAX;
  int mFailedFlush = -1;
};

// What a crash left: opens the database at base with a clean env and checks
// it holds exactly one of the candidate states (a full scan of both tables
// and a search of every index for every value). mayBeMissing: the database
// need not open (its creation may not have completed). unclean: 1 the open
// must see an unclean close, 0 a clean one, -1 either. Returns an empty text
// when all holds, else what does not.
std::string CheckDatabase(const std::string& base, const std::vector<ScenarioState>& states,
                          const std::vector<size_t>& candidates, bool mayBeMissing, int unclean);

}  // namespace ztest
