#include "tests/mutation/mutation_case.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>

#include "fuzz/seed_database.h"
#include "kernel/indexes/index_factory.h"
#include "kernel/sets/array_set.h"
#include "kernel/storage/database.h"
#include "kernel/storage/encryption_key.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/indexed_table.h"
#include "platform/errors.h"

namespace zmut {

namespace {

namespace fs = std::filesystem;

// Fields 1..5 (integer, double, float, string, VarChar) are searched and
// their answers checked against a scan; 6 (Text by words) is searched only.
constexpr uint32_t kCheckedFields = 5;
constexpr uint32_t kSearchedFields = 6;
constexpr uint32_t kMaxWalk = 100000;

using Value = std::vector<uint8_t>;
// A record's values of the checked fields; empty for a null value.
using Row = std::vector<Value>;
using Rows = std::map<REC_ID, Row>;

// The pristine rows, by variant, filled by MakePristines.
Rows gPristineRows[kVariantCount];

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string Extension(const std::string& path) {
  return fs::path(path).extension().string();
}

// Damages one file of the copy; returns what it did.
std::string Damage(const std::string& path, std::mt19937_64& rng) {
  std::vector<uint8_t> b = ReadBytes(path);
  auto pick = [&](uint64_t n) { return n == 0 ? 0 : rng() % n; };
  const std::string name = Extension(path);
  std::string what;
  switch (pick(16)) {
    case 0:
    case 1:
    case 2:
    case 3: {  // flipped bytes
      const uint64_t n = 1 + pick(4);
      for (uint64_t i = 0; i < n && !b.empty(); ++i) {
        const uint64_t at = pick(b.size());
        b[at] ^= uint8_t(1 + pick(255));
        what += " flip@" + std::to_string(at);
      }
      break;
    }
    case 4:
    case 5:
    case 6:
    case 7:
    case 8: {  // a word set to 0, 0xFFFFFFFF or another value
      if (b.size() < 4) break;
      const uint64_t at = pick(b.size() / 4) * 4;
      const uint64_t kind = pick(4);
      const uint32_t word = kind == 0 ? 0 : kind == 1 ? 0xFFFFFFFFu
                                        : kind == 2 ? uint32_t(pick(4096))
                                                    : uint32_t(rng());
      std::memcpy(&b[at], &word, 4);
      what = " word@" + std::to_string(at) + "=" + std::to_string(word);
      break;
    }
    case 9:
    case 10: {  // cut short
      const uint64_t length = pick(b.size());
      b.resize(length);
      what = " cut to " + std::to_string(length);
      break;
    }
    case 11:
    case 12: {  // a zeroed page
      const uint64_t page = pick(2) == 0 ? 1024 : 4096;
      const uint64_t at = pick(b.size() / page + 1) * page;
      for (uint64_t i = at; i < std::min<uint64_t>(b.size(), at + page); ++i) b[i] = 0;
      what = " zero page@" + std::to_string(at) + "+" + std::to_string(page);
      break;
    }
    case 13:
    case 14: {  // garbage appended
      const uint64_t n = 1 + pick(8192);
      for (uint64_t i = 0; i < n; ++i) b.push_back(uint8_t(rng()));
      what = " append " + std::to_string(n);
      break;
    }
    default:  // the file is gone
      fs::remove(path);
      return name + " removed";
  }
  WriteBytes(path, b);
  return name + what;
}

FBL_EncryptionKeyRef KeyOf(Variant v) {
  return v == Variant::kEncrypted ? zv::MakeEncryptionKey(zfuzz::kSeedKey) : nullptr;
}

// The table of the seed, opened; its index factory lives beside it.
struct OpenTable {
  FBL_SecondaryIndexFactory indexes;
  std::unique_ptr<FBL_IndexedTable> table;
  explicit OpenTable(FBL_DataBase& db) {
    table = std::make_unique<FBL_IndexedTable>(db, zfuzz::kTableId);
    table->SetIndexFactory(&indexes);
    zfuzz::AddFields(*table);
    table->Open();
  }
};

// Every alive record by a walk; every field read. Records a finding when
// the walk and the record count disagree.
Rows Walk(FBL_Table& table, std::string& finding) {
  Rows rows;
  uint32_t steps = 0;
  for (bool on = table.FirstRecord(); on && steps < kMaxWalk; on = table.NextRecord(), ++steps) {
    Row& row = rows[table.GetCurrentRecID()];
    for (uint32_t f = 1; f <= table.FieldCount(); ++f) {
      FBL_BaseField& field = *table.GetField(f);
      const bool null = field.IsNull();
      if (!null) field.GetString(1024);
      if (f > kCheckedFields) continue;
      Value value;
      if (!null) {
        value.resize(field.GetBufferSize() + 1);
        field.GetValue(value.data());
      }
      row.push_back(std::move(value));
    }
  }
  if (rows.size() != table.GetRecordCount() && finding.empty()) {
    finding = "record count " + std::to_string(table.GetRecordCount()) + " but the walk found " +
              std::to_string(rows.size());
  }
  return rows;
}

std::set<REC_ID> Keys(const Rows& rows) {
  std::set<REC_ID> keys;
  for (const auto& [r, row] : rows) keys.insert(r);
  return keys;
}

// Whether every record the index and the scan disagree about has a value
// that differs from the pristine one: damage to a value slot, which the
// files carry no check for, explains the difference.
bool ExplainedByValueDamage(const std::set<REC_ID>& diff, const Rows& scan, const Rows& pristine,
                            uint32_t f) {
  for (REC_ID r : diff) {
    auto now = scan.find(r);
    auto was = pristine.find(r);
    if (now == scan.end() || was == pristine.end()) return false;
    if (now->second[f - 1] == was->second[f - 1]) return false;
  }
  return true;
}

// Compares an index answer with the scan's; records a finding unless the
// difference lies in damaged values only.
void CheckAnswer(const char* what, uint32_t f, const FBL_ArraySet& answer,
                 const std::set<REC_ID>& expected, const Rows& scan, const Rows& pristine,
                 Outcome& out) {
  std::set<REC_ID> got(answer.GetItems().begin(), answer.GetItems().end());
  if (got == expected || !out.finding.empty()) return;
  std::set<REC_ID> diff;
  std::set_symmetric_difference(got.begin(), got.end(), expected.begin(), expected.end(),
                                std::inserter(diff, diff.end()));
  if (ExplainedByValueDamage(diff, scan, pristine, f)) {
    out.lostRecords = true;
    return;
  }
  out.finding = std::string(what) + " on field " + std::to_string(f) + ": the index gives " +
                std::to_string(got.size()) + " records, the scan " +
                std::to_string(expected.size()) + " (first differing RecID " +
                std::to_string(*diff.begin()) + ")";
}

// Equality and range searches with values taken from the scan.
void Search(FBL_Table& table, const Rows& scan, const Rows& pristine, std::mt19937_64& rng,
            Outcome& out) {
  std::vector<REC_ID> ids;
  for (const auto& [r, row] : scan) ids.push_back(r);
  for (uint32_t f = 1; f <= kSearchedFields && f <= table.FieldCount(); ++f) {
    FBL_BaseField& field = *table.GetField(f);
    if (f > kCheckedFields) {
      Value blank(field.GetBufferSize() + 1);
      field.FindValueAsSet(blank.data());
      continue;
    }
    std::vector<const Value*> picks;
    for (int i = 0; i < 3 && !ids.empty(); ++i) {
      const Value& v = scan.at(ids[rng() % ids.size()])[f - 1];
      if (!v.empty()) picks.push_back(&v);
    }
    for (const Value* v : picks) {
      std::set<REC_ID> expected;
      for (const auto& [r, row] : scan) {
        if (!row[f - 1].empty() && field.CompareValues(row[f - 1].data(), v->data()) == 0)
          expected.insert(r);
      }
      CheckAnswer("FindValue", f, *field.FindValueAsSet(v->data()), expected, scan, pristine, out);
    }
    if (picks.size() >= 2) {
      const Value* lo = picks[0];
      const Value* hi = picks[1];
      if (field.CompareValues(lo->data(), hi->data()) > 0) std::swap(lo, hi);
      std::set<REC_ID> expected;
      for (const auto& [r, row] : scan) {
        if (row[f - 1].empty()) continue;
        if (field.CompareValues(row[f - 1].data(), lo->data()) >= 0 &&
            field.CompareValues(row[f - 1].data(), hi->data()) < 0)
          expected.insert(r);
      }
      CheckAnswer("FindRange", f, *field.FindRangeAsSet(lo->data(), true, hi->data(), false),
                  expected, scan, pristine, out);
    }
  }
}

// An added record, an update and a deletion.
void Change(FBL_Table& table, const Rows& scan, std::mt19937_64& rng) {
  table.GetField(1)->SetString(std::to_string(100000 + rng() % 100000));
  table.GetField(2)->SetString("2.5");
  table.GetField(4)->SetString("new");
  table.GetField(5)->SetString("a new name");
  table.GetField(6)->SetString("new words here");
  table.GetField(7)->SetString("new data");
  table.AddRecord();
  if (scan.empty()) return;
  auto it = scan.begin();
  std::advance(it, rng() % scan.size());
  if (table.GoToRecord(it->first)) {
    table.GetField(3)->SetString("7.75");
    table.GetField(5)->SetString("changed");
    table.UpdateRecord();
  }
  it = scan.begin();
  std::advance(it, rng() % scan.size());
  if (table.GoToRecord(it->first)) table.DeleteRecord();
  table.Flush();
}

void Operate(const Pristine& p, const std::string& work, std::mt19937_64& rng, Outcome& out) {
  const Rows& pristine = gPristineRows[int(p.variant)];
  FBL_DataBase db;
  db.Open(work, KeyOf(p.variant));
  {
    OpenTable t(db);
    FBL_Table& table = *t.table;
    if (table.GetRecordCount() == 0 && table.GetMaxRecID() == 0 && !p.alive.empty()) {
      out.finding = "the table opened empty";
      return;
    }
    Rows scan = Walk(table, out.finding);
    if (!out.finding.empty()) return;
    if (Keys(scan) != p.alive) out.lostRecords = true;
    Search(table, scan, pristine, rng, out);
    if (!out.finding.empty()) return;
    Change(table, scan, rng);
    Walk(table, out.finding);
    if (!out.finding.empty()) return;
  }
  db.Close();
  db.Open(work, KeyOf(p.variant));
  OpenTable t(db);
  Walk(*t.table, out.finding);
}

std::string CopyFiles(const Pristine& p, const std::string& work) {
  for (const char* ext : {".vdb", ".dat", ".ind", ".blb"}) fs::remove(work + ext);
  for (const std::string& file : p.files)
    fs::copy_file(p.base + Extension(file), work + Extension(file));
  return work;
}

}  // namespace

const char* VariantName(Variant v) {
  switch (v) {
    case Variant::kPlain:
      return "plain";
    case Variant::kEncrypted:
      return "encrypted";
    default:
      return "other-order";
  }
}

Variant VariantOf(uint64_t seed, uint64_t number) {
  return Variant(Mix(Mix(seed) ^ number) % kVariantCount);
}

std::vector<Pristine> MakePristines(const std::string& folder) {
  std::vector<Pristine> all;
  for (int v = 0; v < kVariantCount; ++v) {
    Pristine p;
    p.variant = Variant(v);
    p.base = folder + "/" + VariantName(p.variant);
    // Plain: every kind of data in its own file; encrypted: one volume;
    // other byte order: records and BLOBs in .dat, indexes in .ind.
    const uint32_t mode = v == 0 ? 4 : v == 1 ? 1 : 3;
    const bool big = std::endian::native == std::endian::little;
    zfuzz::MakeSeedDatabase(p.base, uint8_t(v == 2 ? big : !big), v == 1, mode);
    for (const char* ext : {".vdb", ".dat", ".ind", ".blb"}) {
      if (fs::exists(p.base + ext)) p.files.push_back(p.base + ext);
    }
    FBL_DataBase db;
    db.Open(p.base, KeyOf(p.variant));
    {
      OpenTable t(db);
      std::string finding;
      gPristineRows[v] = Walk(*t.table, finding);
      p.alive = Keys(gPristineRows[v]);
    }
    db.Close();
    all.push_back(std::move(p));
  }
  return all;
}

Outcome RunCase(const Pristine& p, const std::string& work, uint64_t seed, uint64_t number) {
  Outcome out;
  std::mt19937_64 rng(Mix(Mix(seed) + number));
  try {
    CopyFiles(p, work);
    const std::string& victim = p.files[rng() % p.files.size()];
    out.damage = Damage(work + Extension(victim), rng);
    Operate(p, work, rng, out);
  } catch (const xFBL_Exception& e) {
    out.code = e.Code;
    if (out.finding.empty()) out.result = Result::kEngineError;
  } catch (const std::exception& e) {
    out.finding = std::string("not an engine error: ") + e.what();
  } catch (...) {
    out.finding = "not an engine error";
  }
  if (!out.finding.empty()) out.result = Result::kFinding;
  return out;
}

}  // namespace zmut
