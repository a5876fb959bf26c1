// bench_text_import_export: the workload's person table in and out of a
// delimited text file, on Zorvane and on SQLite in this process.
//
//   bench_text_import_export [--rows N] [--dir PATH] [--delimiter tab|comma] [--repeat K]
//
// Import: Zorvane's text importer against one SQLite transaction of
// prepared INSERTs fed by the same reader (FBL_DelimitedReader), values
// bound as text. Export: Zorvane's text exporter against a SELECT of every
// row written with the same quoting and the same file layer. Both engines
// keep the workload's indexes and cache sizes. Each repeat prints one line
// per step, "<step> <zorvane s> <sqlite s> <ratio>", and the Zorvane steps
// again with a progress listener ("<step>+progress <s> <s without> <cost>");
// the last lines give the medians.
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/workload/workload_data.h"
#include "kernel/indexes/index_factory.h"
#include "kernel/storage/database.h"
#include "kernel/storage/file_win.h"
#include "kernel/storage/kernel_startup.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/delimited_reader.h"
#include "kernel/tables/field_factory.h"
#include "kernel/tables/field_types.h"
#include "kernel/tables/indexed_table.h"
#include "kernel/tables/number_text.h"
#include "kernel/tables/text_exporter.h"
#include "kernel/tables/text_importer.h"
#include "platform/errors.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kCacheBytes = 67108864;

struct Options {
  uint32_t rows = 1000000;
  std::string dir;
  FBL_TextFormat format;
  int repeat = 3;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i], value = argv[i + 1];
    if (arg == "--rows") {
      options.rows = uint32_t(std::strtoul(value.c_str(), nullptr, 10));
    } else if (arg == "--dir") {
      options.dir = value;
    } else if (arg == "--delimiter" && (value == "tab" || value == "comma")) {
      options.format.mFieldDelimiter = value == "tab" ? '\t' : ',';
    } else if (arg == "--repeat") {
      options.repeat = std::atoi(value.c_str());
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && options.rows > 0 && options.repeat > 0;
}

// The source file, written with the format's quoting.
void WriteSource(const std::string& path, const workload::Workload& w, FBL_TextFormat format) {
  std::string text;
  for (const workload::Person& p : w.people) {
    const std::string values[] = {std::to_string(p.id), std::to_string(p.age),
                                  zv::FormatDouble(p.score), p.name, p.city};
    for (const std::string& v : values) {
      zv::AppendDelimitedValue(format, v, text);
      text.push_back(format.mFieldDelimiter);
    }
    text.back() = format.mRecordDelimiter;
  }
  platform::Env::Default()->CreateFile(path)->WriteAt(0, text.data(), text.size());
}

// Counts its calls and the time spent in them (a progress bar's redraw
// would take longer; this is the engine's own share).
class CountingListener : public FBL_TaskListener {
 public:
  void OnProgress(FBL_Task&, uint32_t percent) override {
    const auto start = BenchClock::now();
    ++mCalls;
    mLast = percent;
    mSeconds += SecondsSince(start);
  }
  uint32_t mCalls = 0;
  uint32_t mLast = 0;
  double mSeconds = 0;
};

// ---- Zorvane ------------------------------------------------------------------------

class ZorvaneSide {
 public:
  explicit ZorvaneSide(const std::string& dir) : mBase(dir + "/person.zorvane") {}
  ~ZorvaneSide() { Close(); }

  double Import(const std::string& source, FBL_TextFormat format, FBL_TaskListener* listener) {
    Close();
    for (const auto& e : fs::directory_iterator(fs::path(mBase).parent_path())) {
      if (e.path().filename().string().rfind("person.zorvane", 0) == 0) fs::remove(e.path());
    }
    mDb = std::make_unique<FBL_DataBase>();
    mDb->Create(mBase, kDefaultSegmentSize, 4, FBL_ByteOrder::kDefault);
    mTable = std::make_unique<FBL_IndexedTable>(*mDb, 1);
    mTable->SetName("person");
    mTable->SetIndexFactory(&mFactory);
    Add(kTypeLong, "id", kFieldUnique);
    Add(kTypeShort, "age", kFieldIndexed);
    Add(kTypeDouble, "score", 0);
    Add(kTypeString, "name", kFieldIndexed, 20);
    Add(kTypeVarChar, "city", 0, 40);
    mTable->Open();
    FBL_FileWin file(source);
    file.SetForceReadOnly(true);
    FBL_TextImporter importer(*mTable, file, Fields(), format);
    importer.SetListener(listener);
    const double seconds = Seconds([&] { zv::RunTask(importer); });
    mImported = importer.GetImportedCount();
    return seconds;
  }

  double Export(const std::string& target, FBL_TextFormat format, FBL_TaskListener* listener) {
    FBL_FileWin file(target);
    FBL_TextExporter exporter(*mTable, file, Fields(), nullptr, format);
    exporter.SetListener(listener);
    return Seconds([&] { zv::RunTask(exporter); });
  }
  uint32_t Imported() const { return mImported; }

 private:
  void Add(uint8_t type, const char* name, uint16_t flags, uint32_t length = 0) {
    mTable->AddField(zv::MakeField(type, name, flags, length));
  }
  std::vector<FBL_BaseField*> Fields() const {
    std::vector<FBL_BaseField*> fields;
    for (uint32_t i = 1; i <= mTable->FieldCount(); ++i) fields.push_back(mTable->GetField(i));
    return fields;
  }
  void Close() {
    mTable.reset();
    if (mDb) mDb->Close();
    mDb.reset();
  }

  std::string mBase;
  FBL_SecondaryIndexFactory mFactory;
  std::unique_ptr<FBL_DataBase> mDb;
  std::unique_ptr<FBL_IndexedTable> mTable;
  uint32_t mImported = 0;
};

// ---- SQLite -------------------------------------------------------------------------

class SqliteSide {
 public:
  explicit SqliteSide(const std::string& dir) : mPath(dir + "/person.sqlite") {}
  ~SqliteSide() { Close(); }

  double Import(const std::string& source, FBL_TextFormat format) {
    Close();
    mImported = 0;
    fs::remove(mPath);
    sqlite3_open(mPath.c_str(), &mDb);
    Exec("PRAGMA journal_mode=DELETE");
    Exec("PRAGMA synchronous=NORMAL");
    Exec("PRAGMA cache_size=-65536");
    Exec(workload::kSqlitePersonTable);
    return Seconds([&] {
      FBL_FileWin file(source);
      file.SetForceReadOnly(true);
      file.Open();
      FBL_DelimitedReader reader(file, format);
      std::vector<FBL_TextValue> values;
      Exec("BEGIN");
      sqlite3_stmt* insert = nullptr;
      sqlite3_prepare_v2(mDb, "INSERT INTO person VALUES (?, ?, ?, ?, ?)", -1, &insert, nullptr);
      while (reader.NextRecord(values)) {
        for (size_t i = 0; i < values.size() && i < 5; ++i) {
          if (values[i].mLength == 0) continue;  // null
          sqlite3_bind_text(insert, int(i + 1), values[i].mData, int(values[i].mLength),
                            SQLITE_STATIC);
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
        sqlite3_clear_bindings(insert);
        ++mImported;
      }
      sqlite3_finalize(insert);
      Exec("COMMIT");
      file.Close();
    });
  }

  double Export(const std::string& target, FBL_TextFormat format) {
    return Seconds([&] {
      FBL_FileWin file(target);
      file.Create();
      file.Open();
      std::string buffer;
      buffer.reserve(FBL_Exporter::kWriteBufferSize);
      uint64_t offset = 0;
      sqlite3_stmt* select = nullptr;
      sqlite3_prepare_v2(mDb, "SELECT id, age, score, name, city FROM person", -1, &select,
                         nullptr);
      while (sqlite3_step(select) == SQLITE_ROW) {
        for (int c = 0; c < 5; ++c) {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select, c));
          const int n = sqlite3_column_bytes(select, c);
          zv::AppendDelimitedValue(format, std::string_view(text == nullptr ? "" : text, size_t(n)),
                                   buffer);
          buffer.push_back(format.mFieldDelimiter);
        }
        buffer.back() = format.mRecordDelimiter;
        if (buffer.size() >= FBL_Exporter::kWriteBufferSize) {
          file.WriteAt(buffer.data(), offset, buffer.size());
          offset += buffer.size();
          buffer.clear();
        }
      }
      sqlite3_finalize(select);
      file.WriteAt(buffer.data(), offset, buffer.size());
      file.Close();
    });
  }
  uint32_t Imported() const { return mImported; }

 private:
  void Exec(const char* sql) { sqlite3_exec(mDb, sql, nullptr, nullptr, nullptr); }
  void Close() {
    if (mDb != nullptr) sqlite3_close(mDb);
    mDb = nullptr;
  }

  std::string mPath;
  sqlite3* mDb = nullptr;
  uint32_t mImported = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: bench_text_import_export [--rows N] [--dir PATH] "
                 "[--delimiter tab|comma] [--repeat K]\n");
    return 2;
  }
  const bool ownDir = options.dir.empty();
  if (ownDir) options.dir = platform::Env::Default()->CreateTempDirectory();
  const std::string source = options.dir + "/person.txt";
  const std::string target = options.dir + "/person-out.txt";
  zv::StartKernel(kCacheBytes);
  int status = 0;
  try {
    const workload::Workload w = workload::MakeWorkload(options.rows);
    WriteSource(source, w, options.format);
    ZorvaneSide zorvane(options.dir);
    SqliteSide sqlite(options.dir);
    std::vector<double> zi, si, ze, se, zip, zep;
    CountingListener listener;
    for (int k = 0; k < options.repeat; ++k) {
      zi.push_back(zorvane.Import(source, options.format, nullptr));
      si.push_back(sqlite.Import(source, options.format));
      ze.push_back(zorvane.Export(target, options.format, nullptr));
      se.push_back(sqlite.Export(target, options.format));
      zep.push_back(zorvane.Export(target, options.format, &listener));
      zip.push_back(zorvane.Import(source, options.format, &listener));
      if (zorvane.Imported() != options.rows || sqlite.Imported() != options.rows) {
        std::printf("MISMATCH imported %u and %u rows\n", zorvane.Imported(), sqlite.Imported());
        status = 1;
      }
      std::printf("import %.3f %.3f %.3f\n", zi.back(), si.back(), zi.back() / si.back());
      std::printf("export %.3f %.3f %.3f\n", ze.back(), se.back(), ze.back() / se.back());
      std::printf("import+progress %.3f %.3f %+.2f%%\n", zip.back(), zi.back(),
                  100 * (zip.back() / zi.back() - 1));
      std::printf("export+progress %.3f %.3f %+.2f%%\n", zep.back(), ze.back(),
                  100 * (zep.back() / ze.back() - 1));
      std::fflush(stdout);
    }
    std::printf("median import %.3f %.3f %.3f\n", Median(zi), Median(si), Median(zi) / Median(si));
    std::printf("median export %.3f %.3f %.3f\n", Median(ze), Median(se), Median(ze) / Median(se));
    std::printf("median progress cost import %+.2f%% export %+.2f%% (%u callbacks, %.6f s in them)\n",
                100 * (Median(zip) / Median(zi) - 1), 100 * (Median(zep) / Median(ze) - 1),
                listener.mCalls, listener.mSeconds);
  } catch (const xFBL_Exception& e) {
    std::fprintf(stderr, "error %d\n", int(e.Code));
    status = 2;
  }
  zv::StopKernel();
  if (ownDir) fs::remove_all(options.dir);
  return status;
}
