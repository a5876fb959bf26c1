// OBL_DumpSQL: the SQL dump (kind 1). The header, then per user table in
// table order a comment block, its CREATE TABLE statement, another
// comment block and one INSERT INTO statement per record, each on one line
// (a value's own line feeds aside):
//
//   # Zorvane dump \n#---(50 dashes)\n\n
//   #\n# Table structure for 'T'\n#\n\n
//   CREATE TABLE T (\n\tF Long NOT NULL,\n\tS String(20,'ASCII')\n);\n\n
//   #\n# Dumping data for table 'T'\n#\n\n
//   INSERT INTO T (F, S) VALUES (1, 'O\'Neil');\n
//   \n
//
// Every statement runs back through SQL_Execute: quoted values escape the
// apostrophe and the backslash with a backslash, values whose text a bare
// value cannot hold (dates and times: blanks, colons) are quoted, names
// that are not bare words are quoted, 64-bit integer types carry the names
// the executor reads ("LLong", "ULLong"), and a table without fields gets
// "CREATE TABLE T;" and no INSERT statements. Binary values (BLOB, Picture, FixedBinary, VarBinary)
// are written in the multi-line hexadecimal form, which the executor does
// not read back.
#pragma once

#include "dump/dump_writer.h"

class OBL_DumpSQL : public OBL_Dump {
 public:
  using OBL_Dump::OBL_Dump;
  ~OBL_DumpSQL() override;

  void Dump(OBL_DataBase& db) override { Dump(db, true); }
  // withData: 1 writes the header and every table's records too.
  virtual void Dump(OBL_DataBase& db, int withData);
  virtual void DumpTableStructure(OBL_BaseObject& table, int withComments);
  virtual void DumpField(FBL_BaseField& field);
  virtual void DumpTableHook(OBL_BaseObject& /*table*/) {}
  virtual void DumpTableData(OBL_BaseObject& table, int withComments);

 private:
  void CommentBlock(const std::string& text);
  void AppendValue(const zv::dump::DumpColumn& column);
};

namespace zv::dump {

// The name as a statement reads it: bare when it is a plain word, else in
// double quotes (brackets or apostrophes when it holds a double quote).
std::string SqlName(const std::string& name);
// 'text' with every apostrophe and backslash preceded by a backslash.
void AppendSqlQuoted(std::string& out, std::string_view text);

}  // namespace zv::dump
