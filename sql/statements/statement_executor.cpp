#include "sql/statements/statement_executor.h"

#include "sql/statements/statement_kinds.h"

namespace {

using Runner = uint32_t (*)(OBL_DataBase&, SQL_StatementReader&);

struct StatementKind {
  const char* mWord;
  Runner mRun;
};

// Tried in this order.
constexpr StatementKind kKinds[] = {
    {"insert", zv::sql::ExecuteInsert},     {"update", zv::sql::ExecuteUpdate},
    {"delete", zv::sql::ExecuteDelete},     {"create", zv::sql::ExecuteCreate},
    {"alter", zv::sql::ExecuteAlter},       {"drop", zv::sql::ExecuteDrop},
    {"convert", zv::sql::ExecuteConvert},   {"reindex", zv::sql::ExecuteReindex},
    {"compact", zv::sql::ExecuteCompact},   {"defragment", zv::sql::ExecuteDefragment},
    {"diagnose", zv::sql::ExecuteDiagnose},
};

}  // namespace

uint32_t SQL_Execute(OBL_DataBase& db, std::string_view text, std::span<const SQL_Param> params) {
  SQL_StatementReader reader(text, params);
  for (const StatementKind& kind : kKinds) {
    if (reader.TakeKeyword(kind.mWord)) return kind.mRun(db, reader);
  }
  return 0;
}
