#include "dump/xml_load.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "dump/dump_writer.h"
#include "dump/load_state.h"
#include "kernel/storage/volume_format.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/binary_fields.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/text_importer.h"
#include "objects/base_object.h"
#include "objects/object_database.h"
#include "objects/object_table.h"
#include "platform/errors.h"

using namespace zv::dump;

namespace {

// expat's allocations, counted against the load's limit. Each block
// carries its size in front.
struct MemoryBudget {
  size_t mLimit = 0;
  size_t mUsed = 0;
};
thread_local MemoryBudget* tBudget = nullptr;
constexpr size_t kHeader = alignof(std::max_align_t);

void* BudgetMalloc(size_t size) {
  if (tBudget == nullptr || size > tBudget->mLimit - tBudget->mUsed) return nullptr;
  auto* block = static_cast<char*>(std::malloc(size + kHeader));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  tBudget->mUsed += size;
  return block + kHeader;
}

void BudgetFree(void* p) {
  if (p == nullptr) return;
  char* block = static_cast<char*>(p) - kHeader;
  size_t size;
  std::memcpy(&size, block, sizeof size);
  if (tBudget != nullptr) tBudget->mUsed -= size;
  std::free(block);
}

void* BudgetRealloc(void* p, size_t size) {
  if (p == nullptr) return BudgetMalloc(size);
  char* block = static_cast<char*>(p) - kHeader;
  size_t old;
  std::memcpy(&old, block, sizeof old);
  if (tBudget == nullptr || (size > old && size - old > tBudget->mLimit - tBudget->mUsed))
    return nullptr;
  auto* grown = static_cast<char*>(std::realloc(block, size + kHeader));
  if (grown == nullptr) return nullptr;
  std::memcpy(grown, &size, sizeof size);
  tBudget->mUsed = tBudget->mUsed - old + size;
  return grown + kHeader;
}

// Installs the budget for the current thread while a parser lives.
class BudgetScope {
 public:
  explicit BudgetScope(MemoryBudget& budget) : mSaved(tBudget) { tBudget = &budget; }
  ~BudgetScope() { tBudget = mSaved; }

 private:
  MemoryBudget* mSaved;
};

struct ParserDeleter {
  void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};

// expat hands out UTF-8; the document's characters are ISO-8859-1, one
// byte each. A character beyond it (a reference such as "&#x100;")
// becomes "?". Runs of ASCII, nearly all of a dump, are copied whole.
void AppendLatin1(std::string& out, const char* s, size_t n) {
  size_t i = 0;
  while (i < n) {
    size_t ascii = i;
    uint64_t word;
    for (; ascii + sizeof word <= n; ascii += sizeof word) {
      std::memcpy(&word, s + ascii, sizeof word);
      if ((word & 0x8080808080808080u) != 0) break;
    }
    while (ascii < n && static_cast<unsigned char>(s[ascii]) < 0x80) ++ascii;
    out.append(s + i, ascii - i);
    if (ascii == n) return;
    i = ascii;
    const auto c = static_cast<unsigned char>(s[i]);
    if ((c == 0xC2 || c == 0xC3) && i + 1 < n) {
      out += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3F));
      i += 2;
      continue;
    }
    ++i;
    if (c < 0xC0) continue;
    out += '?';
    while (i < n && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  }
}

int32_t ParseSigned(const std::string& text) {
  int32_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

struct ElementName {
  const char* mName;
  ElementCode mCode;
};

// Record first: it starts and ends once per record, the others once per
// document or per field description.
constexpr ElementName kElements[] = {
    {"Record", ElementCode::kRecord},
    {"DatabaseDesc", ElementCode::kDatabaseDesc},
    {"DatabaseData", ElementCode::kDatabaseData},
    {"DatabaseMode", ElementCode::kDatabaseMode},
    {"DatabaseSegment", ElementCode::kDatabaseSegment},
    {"SchemaVersion", ElementCode::kSchemaVersion},
    {"DateFormat", ElementCode::kDateFormat},
    {"DateSeparator", ElementCode::kDateSeparator},
    {"TimeSeparator", ElementCode::kTimeSeparator},
    {"BaseObjectDesc", ElementCode::kBaseObjectDesc},
    {"FieldDesc", ElementCode::kFieldDesc},
    {"Type", ElementCode::kType},
    {"Indexed", ElementCode::kIndexed},
    {"Unique", ElementCode::kUnique},
    {"Nullable", ElementCode::kNullable},
    {"IndexByWords", ElementCode::kIndexByWords},
    {"Compressed", ElementCode::kCompressed},
    {"MaxLength", ElementCode::kMaxLength},
    {"Language", ElementCode::kLanguage},
    {"SegmentSize", ElementCode::kSegmentSize},
    {"CompressionLevel", ElementCode::kCompressionLevel},
    {"Target", ElementCode::kTarget},
    {"DeletionControl", ElementCode::kDeletionControl},
    {"Method", ElementCode::kMethod},
    {"BaseObjectData", ElementCode::kBaseObjectData},
    {"RecordCount", ElementCode::kRecordCount},
};

ElementCode CodeOf(const char* name) {
  for (const ElementName& e : kElements) {
    if (std::strcmp(e.mName, name) == 0) return e.mCode;
  }
  return ElementCode::kNone;
}

// A field takes a record field's text: BLOB-family values and binary
// values (and values marked x="1") in the hexadecimal form, the others as
// their text form.
void SetFromXmlText(FieldDescriptor& fd, const std::string& text, bool hex) {
  switch (fd.mForm) {
    case ValueForm::kBlob: {
      const std::string bytes = DecodeHex(text);
      static_cast<BF_BLOB*>(fd.mField)->SetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
      break;
    }
    case ValueForm::kBinary: {
      const std::string bytes = DecodeHex(text);
      static_cast<BF_FixedBinary*>(fd.mField)
          ->SetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
      break;
    }
    case ValueForm::kText: fd.mField->SetString(hex ? DecodeHex(text) : text); break;
  }
}

// The loader's whole state while expat runs; every handler goes through
// Guard, so no exception ever unwinds through expat.
class XmlLoad {
 public:
  XmlLoad(LoadState& state, XML_Parser parser, size_t textLimit)
      : mState(state), mParser(parser), mTextLimit(textLimit) {}

  static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char** atts) {
    static_cast<XmlLoad*>(self)->Guard([&](XmlLoad& l) { l.Start(name, atts); });
  }
  static void XMLCALL OnEnd(void* self, const XML_Char* name) {
    static_cast<XmlLoad*>(self)->Guard([&](XmlLoad& l) { l.End(name); });
  }
  static void XMLCALL OnText(void* self, const XML_Char* s, int len) {
    static_cast<XmlLoad*>(self)->Guard([&](XmlLoad& l) { l.Text(s, len); });
  }
  static void XMLCALL OnEntityDecl(void* self, const XML_Char*, int, const XML_Char*, int,
                                   const XML_Char*, const XML_Char*, const XML_Char*,
                                   const XML_Char*) {
    static_cast<XmlLoad*>(self)->Guard(
        [](XmlLoad& l) { l.Refuse("entity declarations are not accepted"); });
  }

  std::exception_ptr Failure() const { return mFailure; }

 private:
  template <class Work>
  void Guard(Work&& work) {
    if (mFailure) return;
    try {
      work(*this);
    } catch (...) {
      mFailure = std::current_exception();
      XML_StopParser(mParser, XML_FALSE);
    }
  }

  [[noreturn]] void Refuse(const std::string& what) {
    const std::string message =
        what + ", line: " + std::to_string(static_cast<long>(XML_GetCurrentLineNumber(mParser))) +
        ", position " + std::to_string(static_cast<long>(XML_GetCurrentColumnNumber(mParser)));
    throw xFBL_Exception(ERR_PARSER, message.c_str());
  }

  OBL_DataBase& OpenDataBase() {
    if (!mState.mDb->IsOpen()) Refuse("the database is not open");
    return *mState.mDb;
  }

  FieldDescriptor& LastFieldDescriptor() {
    if (mState.mTables.empty() || mState.mTables.back().mFields.empty())
      Refuse("a field property outside FieldDesc");
    return mState.mTables.back().mFields.back();
  }

  void Start(const char* name, const char** atts) {
    if (++mDepth > OBL_DumpXMLParser::kMaxDepth) Refuse("elements nest too deep");
    const bool named = atts[0] != nullptr;
    // Reused: a record field's name is read once per value.
    std::string& nameValue = mName;
    nameValue.clear();
    if (named) AppendLatin1(nameValue, atts[1], std::strlen(atts[1]));
    mState.mText.clear();
    if (mState.mInRecord) {
      mState.mField = FindRecordField(*mState.mTable, nameValue);
      mState.mHexValue = false;
      for (size_t i = 0; atts[i] != nullptr; i += 2) {
        if (std::strcmp(atts[i], "x") == 0 && std::strcmp(atts[i + 1], "1") == 0)
          mState.mHexValue = true;
      }
      SetCode(ElementCode::kRecordField);
      return;
    }
    const ElementCode code = CodeOf(name);
    if (code == ElementCode::kNone) return;
    SetCode(code);
    switch (code) {
      case ElementCode::kBaseObjectDesc:
        if (!named) Refuse("BaseObjectDesc without a Name");
        mState.mTables.emplace_back().mName = nameValue;
        break;
      case ElementCode::kFieldDesc:
        if (!named || mState.mTables.empty()) Refuse("FieldDesc without a Name or a table");
        mState.mTables.back().mFields.emplace_back().mName = nameValue;
        break;
      case ElementCode::kBaseObjectData:
        mState.mTable = FindTableDescriptor(mState, nameValue);
        if (mState.mTable == nullptr || mState.mTable->mTable == nullptr)
          Refuse("BaseObjectData for a table not described: " + nameValue);
        PrepareLinks(mState, *mState.mTable);
        break;
      case ElementCode::kRecord:
        if (mState.mTable == nullptr) Refuse("Record outside BaseObjectData");
        mState.mInRecord = true;
        for (FBL_BaseField* f : mState.mTable->mStored) zv::SetEmptyValue(*f);
        break;
      default:
        break;
    }
  }

  void Text(const char* s, int len) {
    if (mState.mCode == ElementCode::kNone) return;
    if (mState.mText.size() + static_cast<size_t>(len) > mTextLimit)
      Refuse("an element's text is too long");
    AppendLatin1(mState.mText, s, static_cast<size_t>(len));
  }

  void End(const char* name) {
    --mDepth;
    const ElementCode code = mState.mCode;
    SetCode(ElementCode::kNone);
    if (code == ElementCode::kRecordField) {
      FieldDescriptor* fd = mState.mField;
      mState.mField = nullptr;
      if (fd == nullptr) return;
      if (fd->mLinkField != nullptr) {
        fd->mLinkField->SetString(mState.mText);
      } else if (fd->mField != nullptr && !fd->mField->IsMethod()) {
        SetFromXmlText(*fd, mState.mText, mState.mHexValue);
      }
      return;
    }
    switch (code == ElementCode::kNone ? CodeOf(name) : code) {
      case ElementCode::kDatabaseMode: mState.mMode = ParseSigned(mState.mText); break;
      case ElementCode::kDatabaseSegment: CreateDataBase(); break;
      case ElementCode::kSchemaVersion:
        OpenDataBase().SetSchemaVersion(static_cast<uint16_t>(ParseSigned(mState.mText)));
        break;
      case ElementCode::kDateFormat:
      case ElementCode::kDateSeparator:
      case ElementCode::kTimeSeparator: SetDates(code); break;
      case ElementCode::kType: LastFieldDescriptor().mType = mState.mText; break;
      case ElementCode::kMethod: LastFieldDescriptor().mMethod = mState.mText; break;
      case ElementCode::kIndexed: LastFieldDescriptor().mIndexed = Flag(); break;
      case ElementCode::kUnique: LastFieldDescriptor().mUnique = Flag(); break;
      case ElementCode::kNullable: LastFieldDescriptor().mNullable = Flag(); break;
      case ElementCode::kIndexByWords: LastFieldDescriptor().mByWords = Flag(); break;
      case ElementCode::kCompressed: LastFieldDescriptor().mCompressed = Flag(); break;
      case ElementCode::kMaxLength:
      case ElementCode::kSegmentSize:
      case ElementCode::kTarget: LastFieldDescriptor().mFirst = mState.mText; break;
      case ElementCode::kLanguage:
      case ElementCode::kDeletionControl: LastFieldDescriptor().mSecond = mState.mText; break;
      case ElementCode::kDatabaseDesc:
        OpenDataBase();
        if (mState.mSchemaBuilt) Refuse("a second DatabaseDesc");
        BuildSchema(mState);
        break;
      case ElementCode::kBaseObjectData:
        mState.mTable = nullptr;
        OpenDataBase().Flush();
        break;
      case ElementCode::kDatabaseData: ResolveLinks(mState); break;
      case ElementCode::kRecord:
        mState.mInRecord = false;
        mState.mTable->mTable->GetStore().AddRecord();
        break;
      default: break;
    }
    mState.mText.clear();
  }

  // Text matters only while an element with a code is open: without a
  // handler expat skips the white space between elements unconverted.
  void SetCode(ElementCode code) {
    if ((code == ElementCode::kNone) != (mState.mCode == ElementCode::kNone))
      XML_SetCharacterDataHandler(mParser, code == ElementCode::kNone ? nullptr : OnText);
    mState.mCode = code;
  }

  bool Flag() const { return !mState.mText.empty() && mState.mText[0] == '1'; }

  void SetDates(ElementCode code) {
    OBL_DataBase& db = OpenDataBase();
    FBL_DateSettings dates = db.GetDateSettings();
    if (code == ElementCode::kDateFormat) {
      dates.mDateOrder = static_cast<uint8_t>(ParseSigned(mState.mText));
    } else if (!mState.mText.empty()) {
      (code == ElementCode::kDateSeparator ? dates.mDateSeparator : dates.mTimeSeparator) =
          mState.mText[0];
    }
    db.SetDateFormat(dates.mDateOrder, dates.mDateSeparator, dates.mTimeSeparator);
  }

  void CreateDataBase() {
    mState.mSegment = ParseSigned(mState.mText);
    OBL_DataBase& db = *mState.mDb;
    if (db.IsOpen()) return;
    platform::Env& env = *platform::Env::Default();
    std::string base = mState.mNewDatabase;
    if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".vdb") == 0) base.resize(base.size() - 4);
    for (const char* ext : {"", ".vdb", ".dat", ".ind", ".blb", ".jnl"}) {
      if (!env.FileExists(base + ext)) mState.mCreatedFiles.push_back(base + ext);
    }
    mState.mCreatedDatabase = true;
    db.Create(mState.mNewDatabase, static_cast<uint32_t>(mState.mSegment),
              static_cast<uint32_t>(mState.mMode), FBL_ByteOrder::kDefault);
  }

  LoadState& mState;
  XML_Parser mParser;
  size_t mTextLimit;
  int mDepth = 0;
  std::string mName;
  std::exception_ptr mFailure;
};

}  // namespace

OBL_DumpParser::OBL_DumpParser(const std::string& dumpPath, const std::string& newDatabase,
                               platform::Env* env)
    : mEnv(env != nullptr ? env : platform::Env::Default()), mNewDatabase(newDatabase) {
  mFile = mEnv->OpenFile(dumpPath, platform::OpenMode::kReadOnly);
}

OBL_DumpParser::~OBL_DumpParser() = default;

OBL_DumpXMLParser::OBL_DumpXMLParser(const std::string& dumpPath, const std::string& newDatabase,
                                     platform::Env* env)
    : OBL_DumpXMLParser(dumpPath, newDatabase, Limits(), env) {}

OBL_DumpXMLParser::OBL_DumpXMLParser(const std::string& dumpPath, const std::string& newDatabase,
                                     const Limits& limits, platform::Env* env)
    : OBL_DumpParser(dumpPath, newDatabase, env), mLimits(limits) {}

OBL_DumpXMLParser::~OBL_DumpXMLParser() = default;

namespace {

// Runs expat over the file in blocks; raises expat's error or the
// handler's failure.
void Parse(platform::EnvFile& file, XML_Parser parser, XmlLoad& load,
           const OBL_DumpProgress& progress) {
  const uint64_t length = file.Size();
  FBL_ProgressSteps steps(progress ? length : 0);
  std::vector<char> block(OBL_DumpXMLParser::kBlockSize);
  uint64_t offset = 0;
  bool last = false;
  while (!last) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), length - offset));
    const size_t got = want == 0 ? 0 : file.ReadAt(offset, block.data(), want);
    offset += got;
    last = got < block.size() || offset >= length;
    if (XML_Parse(parser, block.data(), static_cast<int>(got), last ? 1 : 0) != XML_STATUS_OK) {
      if (load.Failure()) std::rethrow_exception(load.Failure());
      const XML_Error code = XML_GetErrorCode(parser);
      const std::string message =
          std::string(XML_ErrorString(code)) +
          ", line: " + std::to_string(static_cast<long>(XML_GetCurrentLineNumber(parser))) +
          ", position " + std::to_string(static_cast<long>(XML_GetCurrentColumnNumber(parser)));
      throw xFBL_Exception(static_cast<int32_t>(code), message.c_str());
    }
    if (steps.Reached(offset)) progress(steps.Percent());
  }
}

// After a failure: temporary fields go; a database the load made is
// closed and its files deleted.
void Abandon(LoadState& state) {
  OBL_DataBase& db = *state.mDb;
  if (state.mSchemaBuilt && db.IsOpen()) FinishFields(state, true);
  if (!state.mCreatedDatabase) return;
  try {
    db.Close();
  } catch (...) {
    // The load's own error is the one to report.
  }
  for (const std::string& path : state.mCreatedFiles) platform::Env::Default()->DeleteFile(path);
}

}  // namespace

void OBL_DumpXMLParser::Load(OBL_DataBase& db) {
  LoadState state;
  state.mDb = &db;
  state.mNewDatabase = NewDatabasePath();
  MemoryBudget budget{mLimits.mParserMemory, 0};
  BudgetScope scope(budget);
  const XML_Memory_Handling_Suite memory{BudgetMalloc, BudgetRealloc, BudgetFree};
  std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(
      XML_ParserCreate_MM(nullptr, &memory, nullptr));
  if (parser == nullptr) throw xFBL_Exception(ERR_NOT_ENOUGH_RAM);
  XmlLoad load(state, parser.get(), mLimits.mElementText);
  XML_SetUserData(parser.get(), &load);
  XML_SetElementHandler(parser.get(), XmlLoad::OnStart, XmlLoad::OnEnd);
  XML_SetEntityDeclHandler(parser.get(), XmlLoad::OnEntityDecl);
  try {
    Parse(File(), parser.get(), load, mProgress);
  } catch (...) {
    Abandon(state);
    throw;
  }
}
