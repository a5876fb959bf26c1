#include "sql/cursors/row_sort.h"

#include <algorithm>

#include "kernel/indexes/key_sorter.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/base_field.h"
#include "objects/base_object.h"
#include "objects/object_table.h"
#include "sql/cursors/join_set.h"

OBL_RowValueReader::OBL_RowValueReader(FBL_BaseField& field, OBL_BaseObject& table)
    : mField(&field), mTable(&table) {
  if (field.GetTable() == &table.GetStore()) mCopy = zv::ColumnCopy(field);
}

OBL_RowValueReader::~OBL_RowValueReader() = default;
OBL_RowValueReader::OBL_RowValueReader(OBL_RowValueReader&&) noexcept = default;

FBL_BaseField& OBL_RowValueReader::Load(REC_ID rec) {
  if (mCopy) {
    if (rec == 0) {
      zsql::BlankField(*mCopy);
      return *mCopy;
    }
    mCopy->LoadRecord(rec);
    return *mCopy;
  }
  if (rec == 0 || !mTable->GetStore().GoToRecord(rec)) zsql::BlankField(*mField);
  return *mField;
}

uint32_t OBL_RowValueReader::Key(REC_ID rec, uint8_t* out) { return Load(rec).MakeKey(out); }

const FBL_KeyOrder& OBL_RowValueReader::Order() const {
  return mCopy ? *mCopy : *mField;
}

void zsql::BlankField(FBL_BaseField& field) {
  // Assigning a NULL empties a buffer of any type.
  static const std::unique_ptr<FBL_BaseField> null = [] {
    std::unique_ptr<FBL_BaseField> f = zv::MakeField(kTypeLong, "null", kFieldNullable, 0);
    f->SetNull(true);
    return f;
  }();
  field.AssignFrom(*null);
}

namespace {

class OrderSink : public FBL_SortSink {
 public:
  OrderSink(const std::vector<uint32_t>& before, std::vector<uint32_t>& after,
            std::vector<bool>* runStarts)
      : mBefore(before), mAfter(after), mRunStarts(runStarts) {}
  void Take(const uint8_t* key, uint32_t length, REC_ID place) override {
    mAfter.push_back(mBefore[place - 1]);
    if (mRunStarts == nullptr) return;
    const bool differs = mAfter.size() == 1 || length != mPrevious.size() ||
                         !std::equal(key, key + length, mPrevious.begin());
    mRunStarts->push_back(differs);
    if (differs) mPrevious.assign(key, key + length);
  }

 private:
  const std::vector<uint32_t>& mBefore;
  std::vector<uint32_t>& mAfter;
  std::vector<bool>* mRunStarts;
  std::vector<uint8_t> mPrevious;
};

}  // namespace

namespace {

// One stable pass over the rows in `order` by the keys `push` gives.
template <class PushKey>
std::vector<uint32_t> SortPass(const FBL_KeyOrder& keyOrder, const std::vector<uint32_t>& order,
                               bool ascending, PushKey push,
                               std::vector<bool>* runStarts = nullptr) {
  const uint32_t count = static_cast<uint32_t>(order.size());
  std::vector<uint32_t> next;
  next.reserve(count);
  OrderSink sink(order, next, runStarts);
  std::unique_ptr<FBL_KeySorter> sorter =
      zv::MakeSorter(keyOrder, sink, count,
                     ascending ? FBL_SortDirection::kAscending : FBL_SortDirection::kDescending);
  uint8_t key[FBL_KeyOrder::kMaxKeySize];
  for (uint32_t i = 0; i < count; ++i) sorter->Push(key, push(order[i], key), i + 1);
  sorter->Flush();
  return next;
}

// The order of the one-byte null marks that put NULL before any value.
const FBL_KeyOrder& NullMarkOrder() {
  static const std::unique_ptr<FBL_BaseField> mark = zv::MakeField(kTypeByte, "null", 0, 0);
  return *mark;
}

}  // namespace

std::vector<uint32_t> zsql::SortRows(const OBL_I_JoinSet& rows,
                                     std::span<OBL_BaseObject* const> tables,
                                     std::span<const OBL_RowKey> keys,
                                     std::vector<bool>* runStarts) {
  const uint32_t count = rows.GetRowCount();
  std::vector<uint32_t> order(count);
  for (uint32_t i = 0; i < count; ++i) order[i] = i;
  for (size_t k = keys.size(); k-- > 0;) {
    const OBL_RowKey& item = keys[k];
    OBL_RowValueReader reader(*item.mField, *tables[item.mColumn]);
    const bool nullable = item.mField->IsNullable() || item.mField->GetType() == kTypeObjectPtr;
    const bool runs = runStarts != nullptr && keys.size() == 1 && !nullable;
    order = SortPass(
        reader.Order(), order, item.mAscending,
        [&](uint32_t row, uint8_t* key) { return reader.Key(rows.Get(row, item.mColumn), key); },
        runs ? runStarts : nullptr);
    // A NULL's key may equal a value's (0, say): a pass over the null marks
    // puts NULLs first (last when descending).
    if (!nullable) continue;
    order = SortPass(NullMarkOrder(), order, item.mAscending, [&](uint32_t row, uint8_t* key) {
      key[0] = reader.Load(rows.Get(row, item.mColumn)).IsNull() ? 0 : 1;
      return 1u;
    });
  }
  return order;
}

zsql::RowKeys::RowKeys(std::span<OBL_BaseObject* const> tables,
                               std::span<const OBL_RowKey> keys) {
  for (const OBL_RowKey& key : keys) {
    mReaders.emplace_back(*key.mField, *tables[key.mColumn]);
    mColumns.push_back(key.mColumn);
  }
}

void zsql::RowKeys::Read(const OBL_I_JoinSet& rows, uint32_t row, std::vector<uint8_t>& out) {
  out.clear();
  uint8_t key[FBL_KeyOrder::kMaxKeySize];
  for (size_t i = 0; i < mReaders.size(); ++i) {
    FBL_BaseField& value = mReaders[i].Load(rows.Get(row, mColumns[i]));
    const uint32_t length = value.MakeKey(key);
    out.push_back(value.IsNull() ? 0 : 1);
    // The length first, so that keys of different lengths never run together.
    out.push_back(static_cast<uint8_t>(length));
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.insert(out.end(), key, key + length);
  }
}
