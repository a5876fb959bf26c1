// OBL_DumpXML: the XML dump (kind 2), the form the loader reads back
// (xml_load.h). An ISO-8859-1 document with an internal DTD:
//
//   <Database Name="db">
//   \t<DatabaseDesc Name="db">            mode, segment, schema version,
//   \t\t<BaseObjectDesc Name="T">          date settings, table count
//   \t\t\t<FieldCount>2</FieldCount>
//   \t\t\t<FieldDesc Name="F"> Type, flags, Target, DeletionControl,
//                              MaxLength, Language, SegmentSize, Method
//   \t<DatabaseData>
//   \t\t<BaseObjectData Name="T">
//   \t\t\t<RecordCount>1</RecordCount>
//   \t\t\t<Record>
//   \t\t\t\t<f n="RecID">1</f>
//   \t\t\t\t<f n="F">42</f>                 null and method fields omitted
//
// Indentation is one tab a level (at most 10). BLOB, Text and Picture
// values, and binary values that are not empty, are written in the
// hexadecimal form between a line feed and the indentation. Every dump is
// well-formed: names and values escape "&", "<" and ">" (names also the
// double quote), carriage returns become "&#13;" (in names also tabs and
// line feeds, which attributes would otherwise turn into blanks). A text
// value holding a control character XML 1.0 cannot carry at all is written
// in the hexadecimal form with the attribute x="1"; such a character in a
// name becomes "?".
#pragma once

#include "dump/dump_writer.h"

class OBL_DumpXML : public OBL_Dump {
 public:
  using OBL_Dump::OBL_Dump;
  ~OBL_DumpXML() override;

  void Dump(OBL_DataBase& db) override;
  // The single-table header and the table's description (no records).
  virtual void DumpTable(OBL_BaseObject& table);

 private:
  void Indent(uint16_t level);
  void Open(const char* tag, const std::string* name);
  void Close(const char* tag);
  void Value(const char* tag, std::string_view value);
  void Signed(const char* tag, long value);
  void Unsigned(const char* tag, unsigned long value);
  void DatabaseDesc(OBL_DataBase& db);
  void BaseObjectDesc(OBL_BaseObject& table);
  void FieldDesc(FBL_BaseField& field);
  void BaseObjectData(OBL_BaseObject& table);
  void Record(OBL_BaseObject& table, const std::vector<zv::dump::DumpColumn>& columns);
  void FieldLine(const zv::dump::DumpColumn& column);

  uint16_t mLevel = 0;
};

namespace zv::dump {

// Character data: "&", "<", ">" escaped, a carriage return as "&#13;".
// False (nothing appended) when the text holds a character XML 1.0
// cannot carry.
bool AppendXmlText(std::string& out, std::string_view text);
// An attribute value (between double quotes): also the double quote, tab
// and line feed escaped; characters XML cannot carry become "?".
void AppendXmlAttribute(std::string& out, std::string_view text);

}  // namespace zv::dump
