#include "kernel/tables/blob_fields.h"

#include <algorithm>
#include <cstring>

#include "kernel/sets/bit_set.h"
#include "kernel/storage/blob_file.h"
#include "kernel/storage/byte_order.h"
#include "kernel/storage/database.h"
#include "kernel/storage/volume_format.h"
#include "kernel/storage/zip_compressor.h"
#include "kernel/tables/language.h"
#include "kernel/tables/picture_codec.h"
#include "kernel/tables/string_fields.h"
#include "kernel/tables/table.h"
#include "kernel/tables/text_keys.h"
#include "kernel/tables/text_matcher.h"
#include "platform/errors.h"

namespace {

constexpr size_t kZipBuffer = 51200;
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint16_t kNotForBlobs = kFieldIndexed | kFieldUnique | kFieldNullable;

// A temporary table has a negative id; its BLOB files are temporary too.
uint16_t BlobFileKind(const FBL_Table& table) {
  return static_cast<int32_t>(table.GetTableId()) < 0 ? kKindBlobOfTemporaryTable : kKindBlob;
}

}  // namespace

BF_BLOB::BF_BLOB(const std::string& name, uint16_t flags, uint8_t type)
    : BF_ULONG(name,
               static_cast<uint16_t>(
                   ((type == kTypeText ? flags & ~kFieldNullable : flags & ~kNotForBlobs)) |
                   kFieldKeepsOldValue),
               type) {}

BF_BLOB::~BF_BLOB() = default;

void BF_BLOB::MakeBlobFile() {
  if (Desc().mSecondFile) return;
  FBL_Table* table = GetTable();
  if (table == nullptr) throw xFBL_DatabaseIsNotOpened();
  FBL_DataFile* volume = table->GetDataBase().GetBlobVolume();
  if (volume == nullptr) throw xFBL_DatabaseIsNotOpened();
  uint16_t kind = BlobFileKind(*table);
  // Databases written before BLOB files took their fixed kind keep them
  // under the VarChar texts' kind, which a BLOB column never uses: they
  // stay readable (and writable) there.
  if (kind == kKindBlob &&
      !FBL_EmbededFile(*volume, table->GetTableId(), kKindBlob, FileSubIndex()).Exists() &&
      FBL_EmbededFile(*volume, table->GetTableId(), kKindSecondFile, FileSubIndex()).Exists()) {
    kind = kKindSecondFile;
  }
  Desc().mSecondFile = std::make_unique<FBL_BLOBFile>(*volume, table->GetTableId(), kind,
                                                      FileSubIndex(), mSegmentSize);
  Encipher(*Desc().mSecondFile);
}

FBL_BLOBFile& BF_BLOB::Blobs() {
  auto* file = static_cast<FBL_BLOBFile*>(Desc().mSecondFile.get());
  if (file == nullptr || !file->IsOpen()) throw xFBL_FieldError("BLOB file is not open");
  return *file;
}

void BF_BLOB::CreateFiles() {
  MakeBlobFile();
  FBL_BaseField::CreateFiles();
}

void BF_BLOB::OpenFiles() {
  MakeBlobFile();
  FBL_BaseField::OpenFiles();
}

uint32_t BF_BLOB::StoredReference(REC_ID recID) {
  uint32_t kept = Get();
  FBL_BaseField::ReadValue(recID);
  uint32_t stored = Get();
  Set(kept);
  return stored;
}

void BF_BLOB::ReadRecord(REC_ID recID) {
  mFresh = 0;
  BF_ULONG::ReadRecord(recID);
}

void BF_BLOB::WriteRecord(REC_ID recID) {
  if (recID == 0) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  const uint32_t old = StoredReference(recID);
  uint32_t now = Get();
  if (now != 0 && now != old && now != mFresh) {
    // Another record's chain: this record gets a copy of its own.
    std::vector<uint8_t> raw(Blobs().GetValueSize(now));
    Blobs().ReadValue(raw.data(), static_cast<uint32_t>(raw.size()), now, 0);
    uint32_t tag = Blobs().GetValueTag(now);
    now = Blobs().WriteValue(raw.data(), static_cast<uint32_t>(raw.size()), 0, 0);
    Blobs().SetValueTag(now, tag);
    Set(now);
  }
  BF_ULONG::WriteRecord(recID);
  mFresh = 0;
  if (old != 0 && old != now) Blobs().DeleteValue(old);
}

void BF_BLOB::Truncate(uint32_t count) {
  FBL_EmbededFile* values = Desc().mValueFile.get();
  if (values != nullptr && values->IsOpen() && Desc().mSecondFile && Desc().mSecondFile->IsOpen()) {
    // Slots written through the window may not have reached the file yet.
    auto slots = static_cast<uint32_t>(std::min<uint64_t>(values->GetLength() / 4, UINT32_MAX));
    if (GetTable() != nullptr) slots = std::max(slots, GetTable()->GetMaxRecID());
    for (uint32_t r = slots; r > count; --r) {
      uint32_t stored = StoredReference(r);
      if (stored != 0) Blobs().DeleteValue(stored);
    }
  }
  BF_ULONG::Truncate(count);
}

void BF_BLOB::DeleteRecord(REC_ID recID) {
  if (recID != 0) {
    uint32_t stored = StoredReference(recID);
    if (stored != 0) {
      Blobs().DeleteValue(stored);
      uint32_t kept = Get();
      Set(0);
      FBL_BaseField::WriteValue(recID);
      Set(kept);
    }
  }
  BF_ULONG::DeleteRecord(recID);
}

void BF_BLOB::SetSegmentSize(uint32_t size, bool persist) {
  mSegmentSize = size;
  NotifySchemaChange(FBL_SchemaChange::kFieldStorage, persist);
}

void BF_BLOB::SetCompressionLevel(uint16_t level, bool persist) {
  mCompressionLevel = level;
  NotifySchemaChange(FBL_SchemaChange::kFieldStorage, persist);
}

std::string BF_BLOB::GetString(uint32_t maxChars) {
  std::vector<uint8_t> data = GetData();
  std::string text(data.begin(), data.end());
  if (text.size() > maxChars) text.resize(maxChars);
  return text;
}

void BF_BLOB::ParseText(const char* text) {
  SetData(text, static_cast<uint32_t>(std::strlen(text)));
}

void BF_BLOB::PutBits(uint64_t, bool) {
  throw xFBL_FieldError("A BLOB or Picture value is not a number");
}

void BF_BLOB::PutDouble(double) {
  throw xFBL_FieldError("A BLOB or Picture value is not a number");
}

std::unique_ptr<FBL_BitSet> BF_BLOB::FindRangeByText(const char*, bool, const char*, bool) {
  throw xFBL_FieldError("A BLOB or Picture column has no index");
}

uint32_t BF_BLOB::GetDataSize() {
  uint32_t first = Reference();
  if (first == 0) return 0;
  return HasFlag(kFieldCompressed) ? Blobs().GetValueTag(first) : Blobs().GetValueSize(first);
}

std::vector<uint8_t> BF_BLOB::GetData() {
  uint32_t first = Reference();
  return first == 0 ? std::vector<uint8_t>{} : Expand(first);
}

std::vector<uint8_t> BF_BLOB::Expand(uint32_t first) {
  FBL_BLOBFile& blobs = Blobs();
  uint32_t stored = blobs.GetValueSize(first);
  if (!HasFlag(kFieldCompressed)) {
    std::vector<uint8_t> data(stored);
    blobs.ReadValue(data.data(), stored, first, 0);
    return data;
  }
  // Deflate expands at most 1032 to 1: a tag beyond that is damage, not
  // a size to allocate.
  const uint32_t tag = blobs.GetValueTag(first);
  if (tag > uint64_t{stored} * kMaxInflateRatio + kZipBuffer)
    throw xFBL_Exception(zblob::kErrBadBlob, "Compressed BLOB value: its size tag is damaged");
  std::vector<uint8_t> data(tag);
  if (data.empty()) return data;
  FBL_ZipCompressor zip(mCompressionLevel, kZipBuffer);
  zip.BeginDecompress(data.data(), data.size());
  bool ended = false;
  for (uint32_t at = 0; at < stored && !ended;) {
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(zip.BufferSize(), stored - at));
    blobs.ReadValue(zip.Buffer(), n, first, at);
    at += n;
    try {
      ended = zip.DecompressStep(n);
    } catch (const xFBL_Exception& e) {
      // zlib's own codes (negative) say the stored stream is damaged.
      if (e.Code >= 0) throw;
      throw xFBL_Exception(zblob::kErrBadBlob, "Compressed BLOB value damaged");
    }
  }
  size_t out = zip.GetTotalOut();
  zip.EndDecompress();
  if (!ended || out != data.size())
    throw xFBL_Exception(zblob::kErrBadBlob, "Compressed BLOB value damaged");
  return data;
}

uint32_t BF_BLOB::Store(const uint8_t* bytes, uint32_t length) {
  FBL_BLOBFile& blobs = Blobs();
  if (!HasFlag(kFieldCompressed)) return blobs.WriteValue(bytes, length, 0, 0);
  FBL_ZipCompressor zip(mCompressionLevel, kZipBuffer);
  zip.BeginCompress(bytes, length);
  uint32_t first = 0;
  uint32_t written = 0;
  bool more = true;
  while (more) {
    more = zip.CompressStep();
    uint32_t n = static_cast<uint32_t>(zip.StepBytes());
    first = blobs.WriteValue(zip.Buffer(), n, first, written);
    written += n;
  }
  zip.EndCompress();
  blobs.SetValueTag(first, length);
  return first;
}

void BF_BLOB::SetData(const void* bytes, uint32_t length) {
  if (length > 0 && bytes == nullptr) throw xFBL_Exception(ERR_ASSERTION_NULL);
  // A chain made earlier for this record and not yet written is not needed.
  if (mFresh != 0 && mFresh == Get()) Blobs().DeleteValue(mFresh);
  mFresh = Store(static_cast<const uint8_t*>(bytes), length);
  Set(mFresh);
}

// ---- text ------------------------------------------------------------------------

BF_TEXT::BF_TEXT(const std::string& name, uint16_t flags)
    : BF_BLOB(name, zv::ByWordsFlags(flags), kTypeText), mLanguage(&zv::AsciiLanguage()) {}

void BF_TEXT::SetString(const char* text) {
  size_t n = text == nullptr ? 0 : std::strlen(text);
  SetData(text, static_cast<uint32_t>(n));
}

void BF_TEXT::InitFromField(const FBL_BaseField& other) {
  BF_BLOB::InitFromField(other);
  if (auto* same = dynamic_cast<const BF_TEXT*>(&other)) mLanguage = same->mLanguage;
}

bool BF_TEXT::SetLanguage(const std::string& name, bool persist) {
  const FBL_Language* language = zv::FindLanguage(name);
  if (language == nullptr) return false;
  const bool changed = language != mLanguage;
  mLanguage = language;
  if (changed) zv::RebuildIndexForLanguage(*this);
  NotifySchemaChange(FBL_SchemaChange::kFieldLanguage, persist);
  return true;
}

void BF_TEXT::PutBits(uint64_t bits, bool isSigned) {
  FBL_BaseField::PutBits(bits, isSigned);
}

void BF_TEXT::PutDouble(double value) {
  FBL_BaseField::PutDouble(value);
}

std::string BF_TEXT::Prefix() {
  uint32_t first = Reference();
  if (first == 0) return {};
  if (HasFlag(kFieldCompressed)) {
    std::vector<uint8_t> data = GetData();
    return std::string(data.begin(),
                       data.begin() + std::min<size_t>(data.size(), kMaxKeyTextBytes));
  }
  std::string prefix(std::min(Blobs().GetValueSize(first), kMaxKeyTextBytes), '\0');
  Blobs().ReadValue(prefix.data(), static_cast<uint32_t>(prefix.size()), first, 0);
  return prefix;
}

uint32_t BF_TEXT::MakeKey(uint8_t* out) {
  std::string prefix = Prefix();
  return zv::MakeTextKey(out, prefix.data(), prefix.size());
}

int BF_TEXT::CompareKeys(const uint8_t* left, const uint8_t* right) const {
  return zv::CompareTextKeys(mLanguage, left, right);
}

void BF_TEXT::MakeWordKeys(std::vector<std::string>& keys) {
  if (!HasFlag(kFieldByWords)) return BF_BLOB::MakeWordKeys(keys);
  std::string text = GetString();
  MakeWordKeysOf(text.data(), text.size(), *mLanguage, keys);
}

bool BF_TEXT::KeysCompareAsBytes() const {
  return mLanguage == &zv::AsciiLanguage();
}

int BF_TEXT::Compare(const void* key) {
  uint8_t own[kMaxIndexKeySize];
  MakeKey(own);
  return CompareKeys(own, static_cast<const uint8_t*>(key));
}

int BF_TEXT::CompareValues(const void* left, const void* right) const {
  return CompareKeys(static_cast<const uint8_t*>(left), static_cast<const uint8_t*>(right));
}

void BF_TEXT::AddFlags(uint16_t flags, bool persist) {
  const bool had = HasFlag(kFieldByWords);
  BF_BLOB::AddFlags(zv::PrepareByWordsAdd(*this, flags, persist), persist);
  if (!had && HasFlag(kFieldByWords)) zv::RestoreIndexAfterByWords(*this);
}

void BF_TEXT::RemoveFlags(uint16_t flags, bool persist) {
  const bool dropped = zv::PrepareByWordsRemove(*this, flags);
  BF_BLOB::RemoveFlags(flags, persist);
  if (dropped) zv::RestoreIndexAfterByWords(*this);
}

FBL_TextRangeKeys BF_TEXT::MakeRangeKeys(const char* left, bool leftIncluded, const char* right,
                                         bool rightIncluded) const {
  return MakeTextRangeKeys(left, leftIncluded, right, rightIncluded, kMaxKeyTextBytes,
                           mLanguage->GetGreatestChar());
}

std::unique_ptr<FBL_BitSet> BF_TEXT::FindRangeByText(const char* left, bool leftIncluded,
                                                     const char* right, bool rightIncluded) {
  FBL_TextRangeKeys keys = MakeRangeKeys(left, leftIncluded, right, rightIncluded);
  return SelectKeyRange(keys.leftIncluded, keys.LeftKey(), keys.RightKey(), keys.rightIncluded);
}

std::unique_ptr<FBL_BitSet> BF_TEXT::FindByRegExpr(const std::string& pattern, bool caseSensitive) {
  return zv::SelectByRegExpr(*this, pattern, caseSensitive, *mLanguage);
}

// ---- pictures ----------------------------------------------------------------------

void BF_Picture::SetPicture(const void* data, uint32_t length, uint16_t kind) {
  if (length > UINT32_MAX - 8) throw xFBL_Exception(ERR_WRONG_PARAMETER);
  const bool big = Volume().GetHeader().IsBigEndian();
  std::vector<uint8_t> value(8 + size_t{length});
  zorder::StoreU32(value.data(), kind, big);
  zorder::StoreU32(value.data() + 4, length, big);
  if (length > 0) std::memcpy(value.data() + 8, data, length);
  SetData(value.data(), static_cast<uint32_t>(value.size()));
}

bool BF_Picture::GetPicture(uint16_t& kind, std::vector<uint8_t>& data) {
  std::vector<uint8_t> value = GetData();
  data.clear();
  if (value.empty()) return false;
  const bool big = Volume().GetHeader().IsBigEndian();
  if (value.size() < 8) throw xFBL_Exception(38, "Picture value shorter than its header");
  uint32_t length = zorder::LoadU32(value.data() + 4, big);
  if (length > value.size() - 8) throw xFBL_Exception(38, "Picture length past its value");
  kind = static_cast<uint16_t>(zorder::LoadU32(value.data(), big));
  data.assign(value.begin() + 8, value.begin() + 8 + length);
  return true;
}

void BF_Picture::SetBitmap(const uint8_t* bitmap, size_t size, uint16_t quality) {
  std::vector<uint8_t> jpeg = zv::BitmapToJpeg(bitmap, size, quality > 100 ? mQuality : quality);
  SetPicture(jpeg.data(), static_cast<uint32_t>(jpeg.size()), kKindJpeg);
}

std::vector<uint8_t> BF_Picture::GetBitmap() {
  uint16_t kind = 0;
  std::vector<uint8_t> data;
  if (!GetPicture(kind, data)) return {};
  return zv::JpegToBitmap(data.data(), data.size());
}

bool BF_BLOB::DiagnoseFiles(std::string& report) {
  auto* file = static_cast<FBL_BLOBFile*>(Desc().mSecondFile.get());
  FBL_Table* table = GetTable();
  if (file == nullptr || table == nullptr || IsMethod()) return true;
  std::vector<FBL_BLOBReference> references;
  try {
    const std::unique_ptr<FBL_BitSet> alive = table->SelectAllRecords();
    for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r))
      references.push_back({r, StoredReference(r)});
  } catch (const xFBL_Exception& e) {
    report += "(!) The BLOB references cannot be read (error " + std::to_string(e.Code) + ").\n";
    return false;
  }
  std::string lines;
  if (file->Diagnose(lines, true, references.empty(), references)) return true;
  report += "(!) The BLOB chains are damaged.\n" + lines;
  return false;
}
