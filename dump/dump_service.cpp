#include "dump/dump_service.h"

#include <memory>

#include "dump/sql_dump.h"
#include "dump/xml_dump.h"
#include "dump/xml_load.h"
#include "objects/object_database.h"
#include "platform/errors.h"

namespace zv::dump {

namespace {

class DumpService : public OBL_DumpService {
 public:
  void Dump(OBL_DataBase& db, const std::string& path, int32_t kind) override {
    if (kind != 1 && kind != 2) return;
    // A closed database has no settings or volumes to describe.
    if (!db.IsOpen()) throw xFBL_Exception(ERR_DATABASE_NOT_OPENED);
    std::unique_ptr<OBL_Dump> writer;
    if (kind == 1) writer = std::make_unique<OBL_DumpSQL>(path);
    if (kind == 2) writer = std::make_unique<OBL_DumpXML>(path);
    if (writer != nullptr) writer->Dump(db);
  }

  void LoadDump(OBL_DataBase& db, const std::string& path, int32_t kind,
                const std::string& newDatabase) override {
    if (kind != 2) return;
    OBL_DumpXMLParser reader(path, newDatabase);
    reader.Load(db);
  }
};

}  // namespace

void InstallDumpService() {
  static DumpService service;
  zv::SetDumpService(&service);
}

}  // namespace zv::dump
