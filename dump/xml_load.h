// Loading an XML dump (what OBL_DumpXML writes) into a database: the
// tables the document describes are created (tables that exist keep their
// fields and take the records), then the records are added, then the
// object pointers are made to point to the records loaded from the
// records they pointed to.
//
// Links while loading: a table some object pointer targets gets a
// temporary ULong field "__RDB_KEY" holding each record's dumped RecID; a
// pointer field gets a temporary ULong field "<name>_RDB_PTR" holding the
// dumped pointer. At the end of DatabaseData each pointer is set to the
// record whose "__RDB_KEY" is its "_RDB_PTR", and the temporary fields go.
// They exist from the first BaseObjectData that needs them until then, or
// until a failure. The fields of created tables get their Indexed and
// Unique flags then too, so that their indexes are built in bulk.
//
// Failures: expat's errors raise xFBL_Exception with expat's code and
// "<expat's text>, line: L, position P"; a document the loader cannot
// follow (a missing Name, a table without description) raises 305 with
// the same line and position; errors of the database pass unchanged. No
// exception crosses expat: a failing handler stops the parser and the
// error is raised after it returns, once the temporary fields are gone
// and the index flags are back. A database the load created is closed
// and its files deleted.
//
// Hostile documents: entity declarations are refused, elements nest at
// most kMaxDepth deep, expat's own memory and the text of one element are
// bounded (Limits), so a load never grows without bound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dump/dump_writer.h"
#include "platform/env.h"

class OBL_DataBase;

class OBL_DumpParser {
 public:
  // Opens the existing dump file (read-only). newDatabase: where a
  // database that is not open is created.
  OBL_DumpParser(const std::string& dumpPath, const std::string& newDatabase,
                 platform::Env* env = nullptr);
  virtual ~OBL_DumpParser();
  OBL_DumpParser(const OBL_DumpParser&) = delete;
  OBL_DumpParser& operator=(const OBL_DumpParser&) = delete;

  virtual void Load(OBL_DataBase& db) = 0;

 protected:
  platform::EnvFile& File() { return *mFile; }
  const std::string& NewDatabasePath() const { return mNewDatabase; }
  platform::Env& Env() { return *mEnv; }

 private:
  platform::Env* mEnv;
  std::unique_ptr<platform::EnvFile> mFile;
  std::string mNewDatabase;
};

class OBL_DumpXMLParser : public OBL_DumpParser {
 public:
  struct Limits {
    // What expat may allocate (a huge tag or attribute is held whole).
    size_t mParserMemory = size_t{64} << 20;
    // Characters of one element's text (a BLOB's hexadecimal form).
    size_t mElementText = size_t{1} << 30;
  };
  static constexpr int kMaxDepth = 64;
  static constexpr size_t kBlockSize = 8192;

  OBL_DumpXMLParser(const std::string& dumpPath, const std::string& newDatabase,
                    platform::Env* env = nullptr);
  OBL_DumpXMLParser(const std::string& dumpPath, const std::string& newDatabase,
                    const Limits& limits, platform::Env* env = nullptr);
  ~OBL_DumpXMLParser() override;

  void Load(OBL_DataBase& db) override;
  // Reported by bytes of the document read.
  void SetProgress(OBL_DumpProgress progress) { mProgress = std::move(progress); }

 private:
  Limits mLimits;
  OBL_DumpProgress mProgress;
};
