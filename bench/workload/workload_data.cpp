#include "workload_data.h"

#include <cstdio>

namespace workload {

std::string MakeName(uint64_t r) {
  std::string name(12, 'a');
  uint64_t v = r;
  for (char& c : name) {
    c = char('a' + v % 26);
    v /= 26;
  }
  return name;
}

Person MakePerson(uint32_t id, uint64_t r) {
  char city[16];
  std::snprintf(city, sizeof city, "city%04u", unsigned((r >> 20) % 1000));
  return Person{int32_t(id), int16_t((r >> 8) % 100), double((r >> 30) % 1000000) / 1000000.0,
                MakeName(r), city};
}

Workload MakeWorkload(uint32_t rows) {
  Workload w;
  w.rows = rows;
  XorShift64 random;
  w.people.reserve(rows);
  for (uint32_t i = 1; i <= rows; ++i) w.people.push_back(MakePerson(i, random.Next()));
  for (int k = 0; k < 100000; ++k) w.lookupIds.push_back(int32_t(1 + random.Next() % rows));
  for (int k = 0; k < 1000; ++k) w.ageFrom.push_back(int32_t(random.Next() % 95));
  for (int k = 0; k < 1000; ++k) w.namePrefixes.push_back(MakeName(random.Next()).substr(0, 3));
  // One trip per ten people.
  for (uint32_t k = 0; k < rows / 10; ++k)
    w.tripOwners.push_back(int32_t(1 + random.Next() % rows));
  return w;
}

std::string PrefixUpperBound(const std::string& prefix) {
  std::string bound = prefix;
  if (!bound.empty()) bound.back() = char(bound.back() + 1);
  return bound;
}

}  // namespace workload
