// The exception family every layer throws. Each class carries a fixed
// numeric code; the host bridge keeps only the code when it reports a
// failure. An optional message replaces the standard text of the code.
// Copies share the message, so copying never allocates and never throws.
//
// It lives in the platform layer because every layer, the platform's own
// file layer included, throws it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

// Error codes used by name throughout the engine.
enum : int32_t {
  ERR_NO_ERROR = 0,
  ERR_INTERNAL = 300,
  ERR_DATA_FILE = 301,
  ERR_TABLE = 302,
  ERR_FIELD = 303,
  ERR_INDEX = 304,
  ERR_PARSER = 305,
  ERR_CACHE_NOT_EXISTS = 306,
  ERR_ASSERTION_FAIL = 307,
  ERR_ASSERTION_NULL = 308,
  ERR_CACHE_TOO_SMALL = 309,
  ERR_WRONG_PARAMETER = 310,
  ERR_NOT_ENOUGH_RAM = 311,
  ERR_CANT_OPEN_NEW_VERSION = 320,
  ERR_CANT_READ_DOMAIN = 321,
  ERR_FILE_NOT_FOUND = 322,
  ERR_BASE_OBJECT_NOT_FOUND = 323,
  ERR_FIELD_NOT_FOUND = 324,
  ERR_WRONG_PASSWORD = 325,
  ERR_WRONG_ENCRYPTION_KEY = 326,
  ERR_DATABASE_NOT_OPENED = 327,
  ERR_WRONG_STRUCTURE_KEY = 328,
  ERR_CANNOT_CREATE_FIELD = 349,
  ERR_RECORD_NOT_FOUND = 362,
  ERR_WRONG_DB_REF = 390,
  ERR_WRONG_BO_REF = 391,
  ERR_WRONG_FLD_REF = 392,
  ERR_WRONG_CURSOR_REF = 393,
  ERR_WRONG_DATABASE_NAME = 510,
  ERR_EXPECTED_BO_NOT_FOUND = 524,
  ERR_EXPECTED_FIELD_NOT_FOUND = 525,
};

// Standard text of a code; an empty text for a code not in the table.
const char* ErrorText(int32_t code);
// Number of codes in the table.
size_t ErrorTableSize();

class xFBL_Exception : public std::exception {
 public:
  // The message is copied: the thrower's text may not outlive the exception.
  explicit xFBL_Exception(int32_t code, const char* message = nullptr);

  // The attached message when there is one, else the code's standard text.
  const char* what() const noexcept override;
  virtual void GetErrorString(std::string& out) const;
  bool HasMessage() const noexcept { return mMessage != nullptr; }

  int32_t Code;

 private:
  std::shared_ptr<const std::string> mMessage;  // null: the standard text applies
};

// A class of the family with a fixed code. Subclasses of it reach the
// protected constructor to pass their own code.
#define ZV_EXCEPTION_CLASS(Name, Base, FixedCode)                              \
  class Name : public Base {                                                   \
   public:                                                                     \
    explicit Name(const char* message = nullptr) : Base(FixedCode, message) {} \
                                                                               \
   protected:                                                                  \
    Name(int32_t code, const char* message) : Base(code, message) {}           \
  }

ZV_EXCEPTION_CLASS(xFBL_DataFileError, xFBL_Exception, 301);
ZV_EXCEPTION_CLASS(xFBL_CantOpenNewVersion, xFBL_DataFileError, 320);
ZV_EXCEPTION_CLASS(xFBL_CantReadDomain, xFBL_DataFileError, 321);
ZV_EXCEPTION_CLASS(xFBL_DatabaseIsNotOpened, xFBL_DataFileError, 327);
ZV_EXCEPTION_CLASS(xFBL_WrongEncryptionKey, xFBL_DataFileError, 326);
ZV_EXCEPTION_CLASS(xFBL_WrongStructureEncryptionKey, xFBL_DataFileError, 328);
ZV_EXCEPTION_CLASS(xFBL_TableError, xFBL_Exception, 302);
ZV_EXCEPTION_CLASS(xFBL_CannotSetLock, xFBL_TableError, 363);
ZV_EXCEPTION_CLASS(xFBL_FieldError, xFBL_Exception, 303);
ZV_EXCEPTION_CLASS(xFBL_FieldIsConstant, xFBL_FieldError, 341);
ZV_EXCEPTION_CLASS(xFBL_FieldIsUnique, xFBL_FieldError, 344);
ZV_EXCEPTION_CLASS(xFBL_InvPageVarChar, xFBL_FieldError, 348);
ZV_EXCEPTION_CLASS(xFBL_CorruptedVarChar, xFBL_FieldError, 351);
ZV_EXCEPTION_CLASS(xFBL_IndexError, xFBL_Exception, 304);
ZV_EXCEPTION_CLASS(xFBL_FailToBuild, xFBL_IndexError, 371);
ZV_EXCEPTION_CLASS(xFBL_SXCorrupted, xFBL_IndexError, 370);
ZV_EXCEPTION_CLASS(xFBL_InvPage, xFBL_SXCorrupted, 372);
ZV_EXCEPTION_CLASS(xFBL_ParserError, xFBL_Exception, 305);
ZV_EXCEPTION_CLASS(xFBL_NeedValue, xFBL_ParserError, 380);
ZV_EXCEPTION_CLASS(xFBL_NeedLeftBound, xFBL_ParserError, 381);
ZV_EXCEPTION_CLASS(xFBL_NeedRightBound, xFBL_ParserError, 382);

// The object layer's base is also thrown with any code of its range.
class xOBL_Exception : public xFBL_Exception {
 public:
  explicit xOBL_Exception(int32_t code = 500, const char* message = nullptr)
      : xFBL_Exception(code, message) {}
};
ZV_EXCEPTION_CLASS(xOBL_BaseObjectError, xOBL_Exception, 501);
ZV_EXCEPTION_CLASS(xOBL_WrongChildType, xOBL_BaseObjectError, 521);
ZV_EXCEPTION_CLASS(xOBL_CorruptedChain, xOBL_BaseObjectError, 523);
ZV_EXCEPTION_CLASS(xOBL_ExpectedBONotFound, xOBL_BaseObjectError, 524);
ZV_EXCEPTION_CLASS(xOBL_ExpectedFieldNotFound, xOBL_BaseObjectError, 525);
ZV_EXCEPTION_CLASS(xOBL_RelationError, xOBL_Exception, 502);
ZV_EXCEPTION_CLASS(xOBL_RelationIsNotEmpty, xOBL_RelationError, 551);

// Raised by the expression parser with 606 or 608, given at the throw.
class xOBL_ParserError : public xOBL_Exception {
 public:
  explicit xOBL_ParserError(int32_t code, const char* message = nullptr)
      : xOBL_Exception(code, message) {}
};
