#include "tests/durability/crash_scenario.h"

#include <algorithm>
#include <memory>
#include <set>

#include "kernel/indexes/index_factory.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/database.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/indexed_table.h"
#include "kernel/tables/numeric_fields.h"
#include "platform/errors.h"
#include "tests/support/fault_env.h"

namespace ztest {

namespace {

constexpr uint32_t kNameLength = 20;

// The run's two tables with their fields, open.
struct Tables {
  Tables(FBL_DataBase& db, bool ageIndexed) {
    people = std::make_unique<FBL_IndexedTable>(db, 1);
    people->SetIndexFactory(&factory);
    id = &Add<BF_LONG>(*people, kTypeLong, "id", kFieldUnique);
    name = &Add<FBL_BaseField>(*people, kTypeString, "name", kFieldIndexed, kNameLength);
    note = &Add<FBL_BaseField>(*people, kTypeText, "note", 0);
    score = &Add<BF_DOUBLE>(*people, kTypeDouble, "score", 0);
    age = &Add<BF_SHORT>(*people, kTypeShort, "age", ageIndexed ? kFieldIndexed : 0);
    cities = std::make_unique<FBL_IndexedTable>(db, 2);
    cities->SetIndexFactory(&factory);
    code = &Add<BF_LONG>(*cities, kTypeLong, "code", kFieldIndexed);
    label = &Add<FBL_BaseField>(*cities, kTypeVarChar, "label", 0, 40);
    people->Open();
    cities->Open();
  }

  template <class Field>
  static Field& Add(FBL_Table& table, uint8_t type, const char* fieldName, uint16_t flags,
                    uint32_t length = 0) {
    return static_cast<Field&>(table.AddField(zv::MakeField(type, fieldName, flags, length)));
  }

  void SetPerson(int32_t personId, const PersonRow& row) {
    id->Set(personId);
    name->SetString(row.mName);
    note->SetString(row.mNote);
    score->Set(row.mScore);
    age->Set(row.mAge);
  }

  FBL_SecondaryIndexFactory factory;
  std::unique_ptr<FBL_IndexedTable> people, cities;
  BF_LONG* id;
  FBL_BaseField* name;
  FBL_BaseField* note;
  BF_DOUBLE* score;
  BF_SHORT* age;
  BF_LONG* code;
  FBL_BaseField* label;
};

PersonRow Row(uint32_t seed, size_t noteBytes) {
  PersonRow row;
  row.mName = "name " + std::to_string(seed % 23);  // shared by several records
  for (size_t i = 0; i < noteBytes; ++i)
    row.mNote += static_cast<char>('a' + (seed * 7 + i * 13 + i / 97) % 26);
  row.mScore = seed * 0.25;
  row.mAge = static_cast<int16_t>(seed % 17);
  return row;
}

std::string Label(uint32_t seed) {
  return "city " + std::to_string(seed) + std::string(seed % 30, '*');
}

}  // namespace

CrashScenario::CrashScenario(std::function<uint64_t()> clock) : mClock(std::move(clock)) {}

std::vector<size_t> CrashScenario::StatesAt(uint64_t c) const {
  size_t last = 0;
  for (const Flush& f : mFlushes) {
    if (f.mEnd <= c) {
      last = f.mState;
      continue;
    }
    if (f.mStart < c) return {last, f.mState};
    break;
  }
  return {last};
}

int CrashScenario::Run(platform::Env& env, const std::string& base,
                       const std::function<void()>& crash) {
  mStates.assign(1, ScenarioState{});
  mFlushes.clear();
  mCreated = mClosing = UINT64_MAX;
  mFailedFlush = -1;
  ScenarioState model;
  std::map<int32_t, REC_ID> personRec, cityRec;
  std::unique_ptr<FBL_DataBase> db;
  std::unique_ptr<Tables> t;

  // The work changes the tables and the model; the commit makes it a state.
  auto flush = [&](const std::function<void()>& work, const std::function<void()>& commit) {
    const uint64_t start = mClock();
    work();
    mFailedFlush = static_cast<int>(mStates.size());
    commit();
    mFailedFlush = -1;
    mFlushes.push_back({start, mClock(), mStates.size()});
    mStates.push_back(model);
  };
  auto flushTables = [&] { t->people->Flush(); };
  auto add = [&](int32_t personId, const PersonRow& row) {
    t->SetPerson(personId, row);
    personRec[personId] = t->people->AddRecord();
    model.mPeople[personId] = row;
  };
  auto update = [&](int32_t personId, const PersonRow& row) {
    t->people->GoToRecord(personRec.at(personId));
    t->SetPerson(personId, row);
    t->people->UpdateRecord();
    model.mPeople[personId] = row;
  };
  auto remove = [&](int32_t personId) {
    t->people->GoToRecord(personRec.at(personId));
    t->people->DeleteRecord();
    personRec.erase(personId);
    model.mPeople.erase(personId);
  };
  auto putCity = [&](int32_t code, const std::string& label) {
    auto it = cityRec.find(code);
    if (it != cityRec.end()) t->cities->GoToRecord(it->second);
    t->code->Set(code);
    t->label->SetString(label);
    if (it != cityRec.end()) {
      t->cities->UpdateRecord();
    } else {
      cityRec[code] = t->cities->AddRecord();
    }
    model.mCities[code] = label;
  };

  try {
    db = std::make_unique<FBL_DataBase>(&env);
    db->Create(base, 4096, 4, FBL_ByteOrder::kDefault);
    mCreated = mClock();
    flush([&] { t = std::make_unique<Tables>(*db, false); }, [&] { db->Flush(); });
    flush(
        [&] {
          for (uint32_t i = 0; i < 30; ++i) add(1000 + 7 * i, Row(i, i % 3 == 0 ? 0 : 100 + 37 * i));
          for (uint32_t i = 0; i < 8; ++i) putCity(10 * i, Label(i));
        },
        flushTables);
    flush(
        [&] {  // updates, deletes in the middle, adds that reuse RecIDs
          for (uint32_t i = 2; i < 30; i += 4) update(1000 + 7 * i, Row(i + 500, 700 + i));
          for (uint32_t i = 3; i < 27; i += 5) remove(1000 + 7 * i);
          for (uint32_t i = 30; i < 36; ++i) add(1000 + 7 * i, Row(i, 50 * i));
          for (uint32_t i = 0; i < 8; i += 3) putCity(10 * i, Label(i + 40));
        },
        flushTables);
    flush(
        [&] {  // an index built over the existing records
          t->age->AddFlags(kFieldIndexed, true);
          if (!t->age->HasFlag(kFieldIndexed)) throw xFBL_IndexError("The index was not built");
          model.mAgeIndexed = true;
        },
        [&] { t->cities->Flush(); });
    flush(
        [&] {  // deletes from the end shorten the files; long notes
          for (uint32_t i = 35; i >= 31; --i) remove(1000 + 7 * i);
          for (uint32_t i = 36; i < 56; ++i) add(1000 + 7 * i, Row(i, 2000 + 211 * (i % 7)));
        },
        flushTables);
    flush(
        [&] {
          for (uint32_t i = 36; i < 56; i += 2) update(1000 + 7 * i, Row(i + 900, 6000 + i));
          for (uint32_t i = 0; i < 8; i += 2) putCity(10 * i + 5, Label(i + 80));
        },
        flushTables);
    mClosing = mClock();
    flush([] {},
          [&] {
            t.reset();
            db->Close();
          });
    db.reset();
  } catch (const xFBL_Exception& e) {
    if (crash) crash();
    // The flush under way may have committed: its state is a candidate.
    if (mFailedFlush >= 0) mStates.push_back(model);
    t.reset();
    db.reset();
    return e.Code;
  }
  return 0;
}

// ---- checking ---------------------------------------------------------------------

namespace {

std::vector<REC_ID> Members(const FBL_BitSet& set) {
  std::vector<REC_ID> out;
  for (REC_ID r = set.NextMember(0); r != 0; r = set.NextMember(r)) out.push_back(r);
  return out;
}

// Every value's index search finds exactly the records that hold it, and no
// index holds more entries than the table records.
std::string CheckIndexes(Tables& t, const std::map<int32_t, REC_ID>& people,
                         const std::map<int32_t, REC_ID>& cities, bool ageIndexed) {
  std::map<std::string, std::vector<REC_ID>> byName;
  std::map<int16_t, std::vector<REC_ID>> byAge;
  for (const auto& [personId, r] : people) {
    t.people->GoToRecord(r);
    byName[t.name->GetString()].push_back(r);
    byAge[t.age->Get()].push_back(r);
    REC_ID found = 0;
    // A Long's key is its 4 bytes in machine order.
    if (!t.id->GetIndex()->FindFirst(reinterpret_cast<const uint8_t*>(&personId), found) ||
        found != r)
      return "id index misses " + std::to_string(personId);
  }
  for (auto& [name, recs] : byName) {
    std::string buffer(kNameLength + 1, '\0');
    name.copy(buffer.data(), kNameLength);
    std::sort(recs.begin(), recs.end());
    if (Members(*t.name->FindValue(buffer.data())) != recs) return "name index: " + name;
  }
  for (auto& [age, recs] : byAge) {
    std::sort(recs.begin(), recs.end());
    if (Members(*t.age->FindValue(&age)) != recs) return "age search: " + std::to_string(age);
  }
  for (const auto& [code, r] : cities) {
    if (Members(*t.code->FindValue(&code)) != std::vector<REC_ID>{r})
      return "code index: " + std::to_string(code);
  }
  const size_t n = people.size();
  if (t.id->GetIndex()->GetEntryCount() != n || t.name->GetIndex()->GetEntryCount() != n ||
      (ageIndexed && t.age->GetIndex()->GetEntryCount() != n) ||
      t.code->GetIndex()->GetEntryCount() != cities.size())
    return "an index holds entries of no record";
  return {};
}

std::string Describe(const ScenarioState& s) {
  return std::to_string(s.mPeople.size()) + " people, " + std::to_string(s.mCities.size()) +
         " cities";
}

std::string CheckOpenDatabase(FBL_DataBase& db, const std::vector<ScenarioState>& states,
                              const std::vector<size_t>& candidates) {
  bool ageIndexed = true;
  for (size_t c : candidates) ageIndexed = ageIndexed && states[c].mAgeIndexed;
  Tables t(db, ageIndexed);
  ScenarioState found;
  std::map<int32_t, REC_ID> people, cities;
  for (bool on = t.people->FirstRecord(); on; on = t.people->NextRecord()) {
    const int32_t personId = t.id->Get();
    if (people.count(personId) != 0) return "two records of id " + std::to_string(personId);
    people[personId] = t.people->GetCurrentRecID();
    found.mPeople[personId] =
        PersonRow{t.name->GetString(), t.note->GetString(), t.score->Get(), t.age->Get()};
  }
  for (bool on = t.cities->FirstRecord(); on; on = t.cities->NextRecord()) {
    cities[t.code->Get()] = t.cities->GetCurrentRecID();
    found.mCities[t.code->Get()] = t.label->GetString();
  }
  if (t.people->GetRecordCount() != people.size() || t.cities->GetRecordCount() != cities.size())
    return "record counts differ from the records alive";
  for (size_t c : candidates) {
    if (found.mPeople == states[c].mPeople && found.mCities == states[c].mCities)
      return CheckIndexes(t, people, cities, ageIndexed);
  }
  std::string expected;
  for (size_t c : candidates) expected += " state " + std::to_string(c) + " (" + Describe(states[c]) + ")";
  return "found " + Describe(found) + ", expected" + expected;
}

}  // namespace

std::string CheckDatabase(const std::string& base, const std::vector<ScenarioState>& states,
                          const std::vector<size_t>& candidates, bool mayBeMissing, int unclean) {
  FaultEnv env;  // no faults; syncs stay in memory
  try {
    FBL_DataBase db(&env);
    try {
      db.Open(base, nullptr);
    } catch (const xFBL_Exception& e) {
      if (mayBeMissing) return {};
      return "open failed with " + std::to_string(e.Code) + ": " + e.what();
    }
    if (unclean >= 0 && db.GetStructureVolume()->WasOpen() != (unclean == 1))
      return unclean == 1 ? "the unclean close is not seen" : "a clean close is seen as unclean";
    std::string problem = CheckOpenDatabase(db, states, candidates);
    db.Close();
    return problem;
  } catch (const xFBL_Exception& e) {
    return "error " + std::to_string(e.Code) + ": " + e.what();
  }
}

}  // namespace ztest
