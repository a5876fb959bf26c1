// Writes and reads by RecID against a model: random deletes (one by one
// and in sets), updates and reads by RecID through a cursor's field
// copies, interleaved with adds, updates and deletes of the current
// record, on a table with a unique nullable Long, an indexed Short, a
// String indexed by words and an indexed VarChar (real indexes). Checked
// against a map of the alive records: the values, every index against a
// scan of the records, the current record and its buffers, which the
// RecID forms leave alone.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/tables/numeric_fields.h"
#include "kernel/tables/string_fields.h"
#include "tests/indexes/index_fixture.h"

namespace {

using ztest::ErrorCode;
using ztest::IndexTest;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kSteps = 1500;
#else
constexpr int kSteps = 6000;
#endif
constexpr int kCheckEvery = 150;

constexpr int32_t kIdRange = 1500;
const char* const kWords[] = {"ant", "bee", "cat", "dog", "eel"};
const char* const kNotes[] = {"", "north", "south", "east side", "west side"};

struct Row {
  std::optional<int32_t> id;
  int16_t age = 0;
  std::string name;
  double score = 0;
  std::string note;
  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
  return out << (row.id ? std::to_string(*row.id) : "null") << "/" << row.age << "/" << row.name
             << "/" << row.score << "/" << row.note;
}

// The fields of the table, by position.
enum Column { kId = 1, kAge, kName, kScore, kNote, kColumns = kNote };

class RecordWritesModelTest : public IndexTest {
 protected:
  void SetUp() override {
    IndexTest::SetUp();
    CreateDb();
    MakeTable([](FBL_Table& t) {
      t.AddField(zv::MakeField(kTypeLong, "id", kFieldUnique | kFieldNullable));
      t.AddField(zv::MakeField(kTypeShort, "age", kFieldIndexed));
      t.AddField(zv::MakeField(kTypeString, "name", kFieldIndexed | kFieldByWords, 12));
      t.AddField(zv::MakeField(kTypeDouble, "score", 0));
      t.AddField(zv::MakeField(kTypeVarChar, "note", kFieldIndexed, 30));
    });
    MakeCopies();
  }
  // The copies share the columns' files: they go before the table does.
  void TearDown() override {
    mCopies.clear();
    IndexTest::TearDown();
  }
  // A cursor's copies: their own buffers over the table's columns.
  void MakeCopies() {
    mCopies.clear();
    for (uint32_t c = 1; c <= kColumns; ++c) {
      FBL_BaseField& own = F(c);
      auto copy = zv::MakeField(own.GetType(), own.GetName(), 0, c == kName ? 12 : 30);
      copy->InitFromField(own);
      copy->SetCursor(this);
      mCopies.push_back(std::move(copy));
    }
  }
  FBL_BaseField& Copy(uint32_t c) { return *mCopies[c - 1]; }

  Row RandomRow() {
    Row row;
    if (mRandom() % 6 != 0) row.id = static_cast<int32_t>(mRandom() % kIdRange);
    row.age = static_cast<int16_t>(mRandom() % 20);
    int words = static_cast<int>(mRandom() % 3);
    for (int i = 0; i < words; ++i) {
      if (i > 0) row.name += ' ';
      row.name += kWords[mRandom() % 5];
    }
    row.score = static_cast<double>(mRandom() % 1000) / 8;
    row.note = kNotes[mRandom() % 5];
    return row;
  }

  // Puts one column of row into field (the table's own or a copy).
  static void Put(FBL_BaseField& field, uint32_t c, const Row& row) {
    switch (c) {
      case kId:
        if (row.id) {
          static_cast<BF_LONG&>(field).Set(*row.id);
        } else {
          field.SetNull(true);
        }
        break;
      case kAge:
        static_cast<BF_SHORT&>(field).Set(row.age);
        break;
      case kName:
        field.SetString(row.name);
        break;
      case kScore:
        static_cast<BF_DOUBLE&>(field).Set(row.score);
        break;
      default:
        field.SetString(row.note);
        break;
    }
  }
  static void Take(FBL_BaseField& field, uint32_t c, Row& row) {
    switch (c) {
      case kId:
        row.id.reset();
        if (!field.IsNull()) row.id = static_cast<BF_LONG&>(field).Get();
        break;
      case kAge:
        row.age = static_cast<BF_SHORT&>(field).Get();
        break;
      case kName:
        row.name = field.GetString();
        break;
      case kScore:
        row.score = static_cast<BF_DOUBLE&>(field).Get();
        break;
      default:
        row.note = field.GetString();
        break;
    }
  }
  Row TableBuffers() {
    Row row;
    for (uint32_t c = 1; c <= kColumns; ++c) Take(F(c), c, row);
    return row;
  }

  // Whether id is held by a record other than except.
  bool IdTaken(const std::optional<int32_t>& id, REC_ID except) const {
    if (!id) return false;
    for (const auto& [r, row] : mRows) {
      if (r != except && row.id == id) return true;
    }
    return false;
  }
  REC_ID LowestFree() const {
    REC_ID r = 1;
    while (mRows.count(r) != 0) ++r;
    return r;
  }
  // Mostly alive, sometimes free or past the last record.
  REC_ID AnyRecID() {
    REC_ID max = mRows.empty() ? 0 : mRows.rbegin()->first;
    return static_cast<REC_ID>(mRandom() % (max + 4)) + 1;
  }
  std::vector<uint32_t> SomeColumns() {
    std::vector<uint32_t> columns;
    for (uint32_t c = 1; c <= kColumns; ++c) {
      if (mRandom() % 2 == 0) columns.push_back(c);
    }
    return columns;
  }
  std::vector<FBL_BaseField*> CopiesOf(const std::vector<uint32_t>& columns) {
    std::vector<FBL_BaseField*> fields;
    for (uint32_t c : columns) fields.push_back(&Copy(c));
    return fields;
  }

  // ---- the steps ----
  void AddCurrent() {
    Row row = RandomRow();
    for (uint32_t c = 1; c <= kColumns; ++c) Put(F(c), c, row);
    if (IdTaken(row.id, 0)) {
      ASSERT_EQ(ErrorCode([&] { mTable->AddRecord(); }), 344);
      // The current record stays; its buffers now hold the refused row.
      mBuffersKnown = false;
      return;
    }
    REC_ID r = mTable->AddRecord();
    ASSERT_EQ(r, LowestFree());
    mRows[r] = row;
    mCurrent = r;
    mBuffersKnown = true;
  }
  void UpdateCurrent() {
    REC_ID r = AnyRecID();
    if (!mTable->GoToRecord(r)) return;
    mCurrent = r;
    Row row = mRows[r];
    Row next = RandomRow();
    for (uint32_t c : SomeColumns()) {
      Put(F(c), c, next);
      Take(F(c), c, row);
    }
    if (IdTaken(row.id, r)) {
      ASSERT_EQ(ErrorCode([&] { mTable->UpdateRecord(); }), 344);
      ASSERT_TRUE(mTable->GoToRecord(r));
    } else {
      mTable->UpdateRecord();
      mRows[r] = row;
    }
    mBuffersKnown = true;
  }
  void DeleteCurrent() {
    REC_ID r = AnyRecID();
    if (!mTable->GoToRecord(r)) return;
    ASSERT_TRUE(mTable->DeleteRecord());
    mRows.erase(r);
    // The next alive record, else the new last one.
    auto next = mRows.upper_bound(r);
    mCurrent = next != mRows.end() ? next->first : (mRows.empty() ? 0 : mRows.rbegin()->first);
    mBuffersKnown = true;
  }
  void DeleteByID() {
    REC_ID r = AnyRecID();
    ASSERT_EQ(mTable->DeleteRecordByID(r), mRows.count(r) == 1) << r;
    mRows.erase(r);
    if (r == mCurrent) {
      mCurrent = 0;
      mBuffersKnown = false;
    }
  }
  // A few RecIDs at once, some not alive: the batch deletion takes the
  // alive ones out in RecID order.
  void DeleteSetByID() {
    FBL_BitSet set(mTable->GetMaxRecID() + 4);
    std::vector<REC_ID> expected;
    for (int i = 1 + static_cast<int>(mRandom() % 12); i > 0; --i) {
      REC_ID r = std::min(AnyRecID(), set.GetSize());
      set.Include(r);
    }
    for (REC_ID r = set.NextMember(0); r != 0; r = set.NextMember(r)) {
      if (mRows.erase(r) == 1) expected.push_back(r);
    }
    std::vector<REC_ID> deleted;
    ASSERT_EQ(mTable->DeleteRecordsByID(set, [&](REC_ID r) { deleted.push_back(r); }),
              expected.size());
    ASSERT_EQ(deleted, expected);
    if (mRows.count(mCurrent) == 0 && mCurrent != 0) {
      mCurrent = 0;
      mBuffersKnown = false;
    }
  }
  void UpdateByID() {
    REC_ID r = AnyRecID();
    std::vector<uint32_t> columns = SomeColumns();
    Row next = RandomRow();
    for (uint32_t c : columns) Put(Copy(c), c, next);
    auto it = mRows.find(r);
    Row row = it != mRows.end() ? it->second : Row{};
    for (uint32_t c : columns) Take(Copy(c), c, row);
    std::vector<FBL_BaseField*> fields = CopiesOf(columns);
    if (it == mRows.end()) {
      ASSERT_FALSE(mTable->UpdateFieldsByID(r, fields));
    } else if (IdTaken(row.id, r)) {
      ASSERT_EQ(ErrorCode([&] { mTable->UpdateFieldsByID(r, fields); }), 344);
    } else {
      ASSERT_TRUE(mTable->UpdateFieldsByID(r, fields));
      it->second = row;
    }
    // The table's fields still hold the current record's values, unless r
    // is the current record: its buffers are stale then.
    if (r == mCurrent) mBuffersKnown = false;
  }
  void ReadByID() {
    REC_ID r = AnyRecID();
    std::vector<uint32_t> columns = SomeColumns();
    auto it = mRows.find(r);
    ASSERT_EQ(mTable->ReadFieldsByID(r, CopiesOf(columns)), it != mRows.end());
    if (it == mRows.end()) return;
    Row row = it->second;
    for (uint32_t c : columns) Take(Copy(c), c, row);
    ASSERT_EQ(row, it->second) << "RecID " << r;
  }

  // ---- the checks ----
  void CheckCurrent() {
    ASSERT_EQ(mTable->GetCurrentRecID(), mCurrent);
    if (mCurrent != 0 && mBuffersKnown) {
      ASSERT_EQ(TableBuffers(), mRows[mCurrent]);
    }
  }
  void CheckAll() {
    ASSERT_EQ(mTable->GetRecordCount(), mRows.size());
    ASSERT_EQ(mTable->GetMaxRecID(), mRows.empty() ? 0 : mRows.rbegin()->first);
    std::vector<FBL_BaseField*> all = CopiesOf({kId, kAge, kName, kScore, kNote});
    for (const auto& [r, row] : mRows) {
      ASSERT_TRUE(mTable->ReadFieldsByID(r, all));
      Row read;
      for (uint32_t c = 1; c <= kColumns; ++c) Take(Copy(c), c, read);
      ASSERT_EQ(read, row) << "RecID " << r;
    }
    CheckIndexes();
  }
  // Each index against a scan of the model: entry counts, page order and
  // the records every value or word finds.
  void CheckIndexes() {
    uint32_t ids = 0, words = 0;
    std::map<int32_t, std::set<REC_ID>> byId, byAge;
    std::map<std::string, std::set<REC_ID>> byWord, byNote;
    for (const auto& [r, row] : mRows) {
      if (row.id) {
        byId[*row.id].insert(r);
        ++ids;
      }
      byAge[row.age].insert(r);
      std::istringstream in(row.name);
      std::set<std::string> distinct;
      for (std::string w; in >> w;) distinct.insert(w);
      for (const std::string& w : distinct) byWord[w].insert(r);
      words += static_cast<uint32_t>(distinct.size());
      byNote[row.note].insert(r);
    }
    ASSERT_EQ(Index(kId).GetEntryCount(), ids);
    ASSERT_EQ(Index(kAge).GetEntryCount(), mRows.size());
    ASSERT_EQ(Index(kName).GetEntryCount(), words);
    ASSERT_EQ(Index(kNote).GetEntryCount(), mRows.size());
    for (uint32_t c : {kId, kAge, kName, kNote}) Index(c).CheckPages();
    auto found = [](const std::unique_ptr<FBL_BitSet>& set) {
      auto members = Members(*set);
      return std::set<REC_ID>(members.begin(), members.end());
    };
    for (int32_t v = 0; v < kIdRange; v += 7) {
      ASSERT_EQ(found(F(kId).FindValue(&v)), byId[v]) << "id " << v;
    }
    for (int16_t v = 0; v < 20; ++v) {
      ASSERT_EQ(found(F(kAge).FindValue(&v)), byAge[v]) << "age " << v;
    }
    auto& name = static_cast<BF_STRING&>(F(kName));
    auto& note = static_cast<BF_STRING&>(F(kNote));
    for (const char* w : kWords) {
      ASSERT_EQ(found(name.FindRangeByText(w, true, w, true)), byWord[w]) << w;
    }
    for (const char* n : kNotes) {
      ASSERT_EQ(found(note.FindRangeByText(n, true, n, true)), byNote[n]) << n;
    }
  }

  std::mt19937 mRandom{15};
  std::vector<std::unique_ptr<FBL_BaseField>> mCopies;
  std::map<REC_ID, Row> mRows;
  REC_ID mCurrent = 0;
  // Whether the table's fields hold the current record's values.
  bool mBuffersKnown = true;
};

}  // namespace

TEST_F(RecordWritesModelTest, RecIDFormsAndCurrentRecordFormsAgreeWithAModel) {
  for (int i = 0; i < 300; ++i) AddCurrent();
  for (int step = 1; step <= kSteps; ++step) {
    switch (mRandom() % 10) {
      case 0:
      case 1:
      case 2:
        AddCurrent();
        break;
      case 3:
        UpdateCurrent();
        break;
      case 4:
        DeleteCurrent();
        break;
      case 5:
        DeleteByID();
        break;
      case 6:
      case 7:
        UpdateByID();
        break;
      case 8:
        ReadByID();
        break;
      default:
        if (mRandom() % 3 == 0) {
          DeleteSetByID();
        } else {
          ReadByID();
        }
        break;
    }
    if (HasFatalFailure()) return;
    CheckCurrent();
    if (HasFatalFailure()) return;
    if (step % kCheckEvery == 0) {
      CheckAll();
      if (HasFatalFailure()) return;
    }
  }
  mCopies.clear();
  Reopen();
  MakeCopies();
  mCurrent = 0;
  CheckAll();
}
