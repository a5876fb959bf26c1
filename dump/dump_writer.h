// OBL_Dump: what every dump writer shares: the output file and a text
// buffer that collects what is written next. Flush appends the buffer to
// the file and empties it; the file's content never depends on when
// flushes happen, they only bound the buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/tables/progress_steps.h"
#include "sql/statements/field_values.h"
#include "platform/env.h"

class OBL_DataBase;
class OBL_BaseObject;
class FBL_BaseField;
class OBL_PointerLink;

// Progress of a long dump or load: each percentage once, rising, below
// 100 (the caller knows when the work succeeded).
using OBL_DumpProgress = std::function<void(uint32_t percent)>;

class OBL_Dump {
 public:
  // Creates the file (an existing one is replaced) open for writing, locked.
  // A failure raises the env's file error; nothing is written then.
  explicit OBL_Dump(const std::string& path, platform::Env* env = nullptr);
  virtual ~OBL_Dump();
  OBL_Dump(const OBL_Dump&) = delete;
  OBL_Dump& operator=(const OBL_Dump&) = delete;

  virtual void Dump(OBL_DataBase& db) = 0;
  // Reported by records written, over the records of every user table.
  void SetProgress(OBL_DumpProgress progress) { mProgress = std::move(progress); }

 protected:
  // Before the records: counts what the dump writes in all.
  void StartProgress(const OBL_DataBase& db);
  // After each record.
  void RecordDone() {
    if (mSteps && mSteps->Reached(++mDone)) mProgress(mSteps->Percent());
  }
  std::string& Buffer() { return mBuffer; }
  void Append(std::string_view text) { mBuffer.append(text); }
  // Writes the buffer at the file's end and empties it.
  void Flush();
  // Writes text at the file's end, after what was flushed before (the
  // buffer is left alone).
  void WriteDirect(std::string_view text);
  // Flushes when the buffer has grown past what one write should carry.
  void FlushWhenFull() {
    if (mBuffer.size() >= kFlushSize) Flush();
  }

 private:
  static constexpr size_t kFlushSize = 64 * 1024;
  std::unique_ptr<platform::EnvFile> mFile;
  uint64_t mEnd = 0;
  std::string mBuffer;
  OBL_DumpProgress mProgress;
  std::optional<FBL_ProgressSteps> mSteps;
  uint64_t mDone = 0;
};

namespace zv::dump {

// Type names as the dumps write them ("" for codes without one).
const char* DumpTypeName(uint8_t code);
// How the dumps take a field's value: the BLOB family (BLOB, Text,
// Picture) and the binary types keep bytes, which go in the hexadecimal
// form (Text only in the XML dump).
enum class ValueKind : uint8_t { kPlain, kBlob, kBinary };

struct DumpColumn {
  FBL_BaseField* mField;
  ValueKind mKind;
};

ValueKind KindOf(const FBL_BaseField& field);
// The table's user fields in order (method fields only when asked for).
std::vector<DumpColumn> Columns(const OBL_BaseObject& table, bool withMethods);
// The value's bytes: a BLOB-family field's data, else its text form.
std::string ValueBytes(FBL_BaseField& field, ValueKind kind);
// The hexadecimal form at level n: 16 bytes a line as two upper-case
// digits separated by single blanks, each line ended by a line feed and,
// for n > 0, begun by n + 1 tabs.
void AppendHex(std::string& out, std::string_view bytes, uint32_t level);
using zv::sql::DecodeHex;
// The link of an object-pointer field; null when it has none.
const OBL_PointerLink* PointerLinkOf(const FBL_BaseField& field);

}  // namespace zv::dump
