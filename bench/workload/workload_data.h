// The standard workload's data: one xorshift64 stream gives every row, then
// (not reseeded) the query arguments in the order of the steps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace workload {

// SQLite's side of the person table: the table and its three indexes, one
// text for sqlite3_exec.
inline constexpr const char* kSqlitePersonTable =
    "CREATE TABLE person (id INTEGER, age INTEGER, score REAL, name TEXT, city TEXT);"
    "CREATE UNIQUE INDEX person_id ON person(id);"
    "CREATE INDEX person_age ON person(age);"
    "CREATE INDEX person_name ON person(name);";

class XorShift64 {
 public:
  uint64_t Next() {
    mState ^= mState << 13;
    mState ^= mState >> 7;
    mState ^= mState << 17;
    return mState;
  }

 private:
  uint64_t mState = 88172645463325252ULL;
};

struct Person {
  int32_t id;
  int16_t age;
  double score;
  std::string name;  // 12 lower-case letters
  std::string city;  // "city" and 4 digits
};

Person MakePerson(uint32_t id, uint64_t r);
// The 12 letters the name of a row drawn as r would have.
std::string MakeName(uint64_t r);

struct Workload {
  uint32_t rows = 0;
  std::vector<Person> people;
  std::vector<int32_t> lookupIds;         // T2
  std::vector<int32_t> ageFrom;           // T3: age between a and a + 4
  std::vector<std::string> namePrefixes;  // T4: 3 letters
  std::vector<int32_t> tripOwners;        // T11: the person id of each trip
};

Workload MakeWorkload(uint32_t rows);

// The bound just above every name with the prefix: its last letter + 1.
std::string PrefixUpperBound(const std::string& prefix);

}  // namespace workload
