// SQL_Execute: runs one statement other than SELECT on a database.
//
// The statement kind is its first word, ignoring case, standing as a word
// of its own: INSERT, UPDATE, DELETE, CREATE, ALTER, DROP, CONVERT,
// REINDEX, COMPACT, DEFRAGMENT or DIAGNOSE. Any other first word runs
// nothing. After a statement only blanks and one ";" may follow (604).
//
// Errors: the syntax codes of sql/statements/statement_errors.h, raised as
// xFBL_Exception before anything changes; errors of the operations
// underneath pass through unchanged.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "sql/statements/statement_reader.h"

class OBL_DataBase;

// params: the values of :1, :2, ... Returns the records changed (UPDATE,
// DELETE), else 0.
uint32_t SQL_Execute(OBL_DataBase& db, std::string_view text,
                     std::span<const SQL_Param> params = {});
