#include "sql/cursors/cursor_table_tmp.h"

#include "kernel/sets/bit_set.h"
#include "kernel/storage/file_win.h"
#include "kernel/storage/task.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/text_exporter.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"
#include "sql/cursors/aggregates.h"
#include "sql/cursors/cursor_table_indirect.h"
#include "sql/cursors/join_set.h"
#include "sql/cursors/row_sort.h"
#include "sql/parser/select_statement.h"

OBL_CursorTable_Tmp::OBL_CursorTable_Tmp(const SQL_SelectStatement& stmt, SQL_ParamValues params)
    : mStmt(stmt), mParams(params) {}

OBL_CursorTable_Tmp::~OBL_CursorTable_Tmp() {
  try {
    DropResultTable();
  } catch (const xFBL_Exception&) {
    // The temporary files are gone with the database at worst.
  }
}

void OBL_CursorTable_Tmp::Refuse() { throw xFBL_Exception(605); }

void OBL_CursorTable_Tmp::DropResultTable() {
  if (mInMemory) {
    mInMemory = false;
    mColumns.clear();
  }
  if (mResult == nullptr) return;
  OBL_BaseObject* result = mResult;
  mResult = nullptr;
  mColumns.clear();
  result->GetDataBase().RemoveBaseObject(*result);
}

void OBL_CursorTable_Tmp::Build() {
  DropResultTable();
  mRecs.clear();
  OBL_CursorTable_Indirect source(mStmt, mParams, OBL_LockMode::kNoLocks, true, true);
  source.Build();
  const OBL_I_JoinSet& rows = source.GetRows();
  const std::vector<OBL_BaseObject*>& tables = source.GetTables();

  std::vector<OBL_Aggregate> aggregates;
  for (const SQL_SelectExpr& item : mStmt.GetSelectList()) {
    aggregates.emplace_back(item, item.mTable == 0 ? nullptr : tables[item.mTable - 1]);
  }
  mLayout.clear();
  for (const OBL_Aggregate& aggregate : aggregates) mLayout.push_back(aggregate.ResultSpec());

  // Each row's group (numbered in GROUP BY order); one group over no row.
  const uint32_t count = rows.GetRowCount();
  std::vector<uint32_t> groupOf(count, 0);
  uint32_t groups = 1;
  if (!mStmt.GetGroupBy().empty() && count != 0) {
    std::vector<OBL_RowKey> keys;
    for (const SQL_GroupItem& group : mStmt.GetGroupBy()) {
      keys.push_back({group.mField, group.mTable - 1, true});
    }
    std::vector<bool> starts;
    const std::vector<uint32_t> order = zsql::SortRows(rows, tables, keys, &starts);
    if (starts.size() != order.size()) {
      starts.assign(order.size(), false);
      zsql::RowKeys reader(tables, keys);
      std::vector<uint8_t> previous, current;
      for (size_t i = 0; i < order.size(); ++i) {
        reader.Read(rows, order[i], current);
        starts[i] = i == 0 || current != previous;
        previous.swap(current);
      }
    }
    groups = 0;
    for (size_t i = 0; i < order.size(); ++i) {
      if (starts[i]) ++groups;
      groupOf[order[i]] = groups - 1;
    }
  }
  // Rows in stored order: the reads of the values go along the files.
  // count(*) over one group needs no row.
  for (OBL_Aggregate& aggregate : aggregates) aggregate.SetGroupCount(groups);
  for (OBL_Aggregate& aggregate : aggregates) {
    if (groups == 1 && aggregate.AddRows(count, 0)) continue;
    for (uint32_t row = 0; row < count; ++row) aggregate.Add(rows, row, groupOf[row]);
  }
  if (mStmt.GetGroupBy().empty() && KeepInMemory(aggregates, mLayout)) return;
  MakeResultTable(mLayout);
  OBL_ObjectTable& store = mResult->GetStore();
  for (uint32_t g = 0; g < groups; ++g) {
    for (size_t i = 0; i < aggregates.size(); ++i) aggregates[i].Store(*mColumns[i], g);
    mRecs.push_back(store.AddRecord());
  }
  OrderResult();
  mPosition = 0;
}

void OBL_CursorTable_Tmp::OrderResult() {
  std::vector<OBL_RowKey> keys;
  for (const OBL_SortItem& item : mStmt.GetOrderBy()) {
    // Only the result's own columns can order it.
    if (item.mColumn == 0 || item.mColumn > mColumns.size()) continue;
    keys.push_back({mColumns[item.mColumn - 1], 0, item.mAscending});
  }
  if (keys.empty() || mRecs.empty()) return;
  OBL_JoinSet_Ram rows(1);
  for (REC_ID rec : mRecs) rows.AppendRow({&rec, 1});
  OBL_BaseObject* const tables[] = {mResult};
  std::vector<REC_ID> ordered;
  for (uint32_t row : zsql::SortRows(rows, tables, keys)) ordered.push_back(mRecs[row]);
  mRecs = std::move(ordered);
}

bool OBL_CursorTable_Tmp::KeepInMemory(std::vector<OBL_Aggregate>& aggregates,
                                       const std::vector<OBL_FieldSpec>& layout) {
  for (const OBL_FieldSpec& column : layout) {
    switch (column.mType) {
      case kTypeBoolean: case kTypeByte: case kTypeShort: case kTypeUShort: case kTypeMedium:
      case kTypeUMedium: case kTypeLong: case kTypeULong: case kTypeLLong: case kTypeULLong:
      case kTypeFloat: case kTypeDouble: case kTypeString: case kTypeVarChar:
        break;
      default:
        return false;
    }
  }
  // The same statement makes the same columns again: the buffers handed
  // out stay, new ones only after the source's types changed.
  bool sameTypes = mBuffers.size() >= layout.size();
  for (size_t i = 0; sameTypes && i < layout.size(); ++i) {
    sameTypes = mBuffers[mBuffers.size() - layout.size() + i]->GetType() == layout[i].mType;
  }
  const auto make = [](const OBL_FieldSpec& column) {
    const bool sized = column.mType == kTypeString || column.mType == kTypeVarChar;
    std::unique_ptr<FBL_BaseField> field = zv::MakeField(
        column.mType, column.mName, column.mFlags, sized ? column.mSize : 0, column.mLanguage);
    if (field == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
    return field;
  };
  std::vector<std::unique_ptr<FBL_BaseField>> values;
  for (const OBL_FieldSpec& column : layout) values.push_back(make(column));
  if (!sameTypes) {
    for (const OBL_FieldSpec& column : layout) mBuffers.push_back(make(column));
  }
  // Every row's aggregates of no group: the one row of the result.
  for (size_t i = 0; i < aggregates.size(); ++i) aggregates[i].Store(*values[i], 0);
  mValues = std::move(values);
  for (size_t i = mBuffers.size() - layout.size(); i < mBuffers.size(); ++i) {
    mColumns.push_back(mBuffers[i].get());
  }
  mRecs.push_back(0);
  mInMemory = true;
  mPosition = 0;
  return true;
}

void OBL_CursorTable_Tmp::Materialize() {
  const uint32_t position = mPosition;
  DropResultTable();
  mRecs.clear();
  MakeResultTable(mLayout);
  // The values stay in mValues: only the table's columns are new.
  for (size_t i = 0; i < mColumns.size(); ++i) mColumns[i]->AssignFrom(*mValues[i]);
  mRecs.push_back(mResult->GetStore().AddRecord());
  mPosition = 0;
  MoveTo(position);
}

void OBL_CursorTable_Tmp::MakeResultTable(const std::vector<OBL_FieldSpec>& layout) {
  OBL_DataBase& db = mStmt.GetFromEntry(1)->GetTable().GetDataBase();
  mResult = &db.MakeTemporaryBaseObject("cursor");
  for (size_t i = 0; i < layout.size(); ++i) {
    OBL_FieldSpec fieldSpec = layout[i];
    // Names must differ within the table.
    fieldSpec.mName.append("_").append(std::to_string(i + 1));
    mColumns.push_back(&mResult->MakeNewField(fieldSpec));
  }
}

FBL_BaseField* OBL_CursorTable_Tmp::GetColumn(uint32_t index) const {
  if (index < 1 || index > mColumns.size()) return nullptr;
  return mColumns[index - 1];
}

void OBL_CursorTable_Tmp::LoadRow(uint32_t position) {
  if (mInMemory) {
    for (size_t i = 0; i < mColumns.size(); ++i) mColumns[i]->AssignFrom(*mValues[i]);
    return;
  }
  if (mResult != nullptr) mResult->GetStore().GoToRecord(mRecs[position - 1]);
}

void OBL_CursorTable_Tmp::BlankRecord() {
  for (FBL_BaseField* column : mColumns) {
    zsql::BlankField(*column);
  }
}

std::unique_ptr<FBL_BitSet> OBL_CursorTable_Tmp::GetRecords(uint32_t /*fromPosition*/) const {
  return std::make_unique<FBL_BitSet>(0);
}

bool OBL_CursorTable_Tmp::Uses(const OBL_BaseObject& table) const {
  for (uint32_t i = 1; i <= mStmt.GetFromCount(); ++i) {
    if (&mStmt.GetFromEntry(i)->GetTable() == &table) return true;
  }
  return false;
}

uint32_t OBL_CursorTable_Tmp::ExportText(const std::string& path, const FBL_TextFormat& format) {
  if (mInMemory) Materialize();
  if (mResult == nullptr) throw xFBL_Exception(ERR_BASE_OBJECT_NOT_FOUND);
  FBL_FileWin file(path);
  FBL_TextExporter exporter(mResult->GetStore(), file, mColumns, nullptr, format);
  if (!zv::RunTask(exporter)) throw xFBL_Exception(ERR_DATA_FILE, "The export stopped");
  return exporter.GetExportedCount();
}
