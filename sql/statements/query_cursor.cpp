// The cursor seam's own opener: a statement's SELECT runs as an OBL_Cursor.
// Cursor operations report failures through GetError instead of throwing;
// here each failure becomes the statement's exception, so a refused change
// never reads as success.
#include <memory>

#include "kernel/sets/bit_set.h"
#include "objects/object_database.h"
#include "platform/errors.h"
#include "sql/cursors/cursor.h"
#include "sql/statements/statement_cursor.h"

namespace zv::sql {

namespace {

class QueryCursor : public SQL_RowCursor {
 public:
  QueryCursor(OBL_DataBase& db, const SQL_CursorRequest& request)
      : mCursor(db, request.mLocation, request.mLockMode, request.mDirection) {
    mCursor.SetSQL(request.mSelect);
    mCursor.SetParams(request.mParams);
    if (!mCursor.Execute() || mCursor.GetError() != 0) Fail();
  }
  uint32_t GetRecordCount() override { return mCursor.GetRecordCount(); }
  bool FirstRecord() override { return Moved(mCursor.FirstRecord()); }
  bool NextRecord() override { return Moved(mCursor.NextRecord()); }
  FBL_BaseField* GetColumn(uint32_t column) override { return mCursor.GetColumn(column); }
  uint32_t GetColumnCount() override { return mCursor.GetColumnCount(); }
  void UpdateRecord() override {
    if (!mCursor.UpdateRecord()) Fail();
  }
  void UpdateAllRecords() override {
    if (!mCursor.UpdateAllRecords()) Fail();
  }
  // The rows' records as the cursor holds them: no row is loaded.
  std::unique_ptr<FBL_BitSet> GetRecords(OBL_BaseObject& /*table*/) override {
    std::unique_ptr<FBL_BitSet> records = mCursor.GetRecords(1);
    if (!records) Fail();
    return records;
  }

 private:
  // A move that fails with an error code set (a lock refused, the
  // database gone) is a failure; running off the end is not.
  bool Moved(bool moved) {
    if (!moved && mCursor.GetError() != 0) Fail();
    return moved;
  }
  [[noreturn]] void Fail() {
    const int32_t code = mCursor.GetError();
    throw xFBL_Exception(code != 0 ? code : int32_t(ERR_INTERNAL));
  }

  OBL_Cursor mCursor;
};

}  // namespace

std::unique_ptr<SQL_RowCursor> OpenQueryCursor(OBL_DataBase& db,
                                               const SQL_CursorRequest& request) {
  return std::make_unique<QueryCursor>(db, request);
}

}  // namespace zv::sql
