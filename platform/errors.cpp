#include "platform/errors.h"

namespace {

struct ErrorEntry {
  int32_t code;
  const char* text;
};

// Searched in this order; the texts are part of the interface.
constexpr ErrorEntry kErrorTable[] = {
    {0, "No error"},
    {300, "Internal error"},
    {301, "DataFile error"},
    {302, "Table error"},
    {303, "Field error"},
    {304, "Index error"},
    {305, "Parser error"},
    {306, "Cache not exists"},
    {307, "Assertion fail"},
    {308, "Assertion NULL"},
    {309, "Cache is small for this database"},
    {310, "Wrong parameter type"},
    {311, "Not enough RAM"},
    {320, "Can not open a new version"},
    {321, "Can not read domain"},
    {322, "File not found"},
    {323, "BaseObject not found"},
    {324, "Field not found"},
    {325, "Wrong password"},
    {326, "Wrong encryption key"},
    {327, "Database is not opened"},
    {328, "Wrong structure encryption key"},
    {340, "Field not indexed"},
    {341, "Field is constant"},
    {342, "Field is method"},
    {343, "Field is composed"},
    {344, "Field is unique"},
    {345, "Index not sorted"},
    {346, "Field name not unique"},
    {347, "Field is not method"},
    {348, "Error of inventory page of VarChar field"},
    {349, "Cannot create a field"},
    {350, "Language not found"},
    {351, "VarChar field corrupted"},
    {360, "Table is empty"},
    {361, "Table is corrupted"},
    {362, "Record not found"},
    {363, "Cannot Set Record Lock"},
    {370, "Index corrupted"},
    {371, "Cannot to build index"},
    {372, "Error of inventory page of Index"},
    {380, "Need a value"},
    {381, "Need left bound"},
    {382, "Need right bound"},
    {390, "Wrong dbRef"},
    {391, "Wrong boRef"},
    {392, "Wrong fldRef"},
    {393, "Wrong CursorRef"},
    {394, "WrongDbInfoRef"},
    {395, "WrongClientInfoRef"},
    {500, "OBL internal error"},
    {501, "BaseObject error"},
    {502, "Relation error"},
    {503, "Database error"},
    {510, "Wrong database name"},
    {520, "Wrong base number"},
    {521, "Wrong child type"},
    {522, "Object is not empty"},
    {523, "Corrupted chain"},
    {524, "Expected BaseObject not found"},
    {525, "Expected field not found"},
    {550, "Can not relate"},
    {551, "Relation is not empty"},
    {600, "Expected key word SELECT"},
    {601, "Expected key word FROM"},
    {602, "Table Not Found"},
    {603, "Field Not Found"},
    {604, "Syntax error"},
    {605, "Can't be updated"},
    {606, "Expected key word NULL"},
    {607, "Expected '('"},
    {608, "Expected ')'"},
    {609, "Expected expression"},
    {610, "Wrong field type"},
    {611, "Not string field"},
    {612, "Expected value"},
    {613, "Wrong link"},
    {614, "Ambiguous link"},
    {615, "Missing link"},
    {616, "Wrong expression"},
    {617, "Mixed agregate and normal functions"},
    {618, "Expected ','"},
    {619, "Not enough parameters"},
    {620, "Expected key word TABLE"},
    {621, "Expected key word WHERE"},
    {622, "Expected key word INTO"},
    {623, "Expected key word VALUES"},
    {624, "Expected key word SET"},
    {625, "Expected '='"},
    {626, "Expected '.'"},
    {627, "Invalid field length"},
    {628, "Invalid field value"},
    {629, "Missing field values"},
    {630, "Expected string constant"},
    {631, "Expected key word AND"},
    {632, "Sub-select must return one column"},
    {640, "ORDER BY field must be from table that has at least one SELECTed field."},
};

}  // namespace

size_t ErrorTableSize() {
  return sizeof(kErrorTable) / sizeof(kErrorTable[0]);
}

const char* ErrorText(int32_t code) {
  for (const ErrorEntry& e : kErrorTable) {
    if (e.code == code) return e.text;
  }
  return "";
}

xFBL_Exception::xFBL_Exception(int32_t code, const char* message)
    : Code(code),
      mMessage(message != nullptr ? std::make_shared<const std::string>(message) : nullptr) {}

const char* xFBL_Exception::what() const noexcept {
  return mMessage != nullptr ? mMessage->c_str() : ErrorText(Code);
}

void xFBL_Exception::GetErrorString(std::string& out) const {
  out = what();
}
