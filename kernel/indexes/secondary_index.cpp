#include "kernel/indexes/secondary_index.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "kernel/indexes/indexer_task.h"
#include "kernel/sets/array_set.h"
#include "kernel/sets/bit_set.h"
#include "kernel/storage/task.h"
#include "kernel/storage/volume.h"
#include "kernel/tables/base_field.h"
#include "kernel/tables/length_field.h"
#include "kernel/tables/table.h"
#include "platform/errors.h"

namespace {

// Answers of at most this many RecIDs are checked one by one; an array
// answer also while it holds fewer RecIDs than the table's records over
// kBitsPerProbe (a probe costs about what copying that many bits of the
// record map does).
constexpr uint32_t kAliveProbes = 64;
constexpr uint32_t kBitsPerProbe = 1024;

// Opening gives up after this many failed builds in a row.
constexpr uint32_t kMaxFailedBuilds = 3;

// Whether a RecID is in ids twice: an open-addressing table of at least
// twice as many slots (0 marks a free one; RecID 0 is never alive, the
// probes fail it).
template <class RecIDs>
bool NamesOneTwice(const RecIDs& ids) {
  // A point search's few RecIDs are compared pairwise, without a table.
  if (ids.size() <= 8) {
    for (size_t i = 0; i < ids.size(); ++i) {
      for (size_t j = i + 1; j < ids.size(); ++j) {
        if (ids[i] == ids[j] && ids[i] != 0) return true;
      }
    }
    return false;
  }
  int bits = 4;
  while ((size_t{1} << bits) < 2 * size_t{ids.size()}) ++bits;
  const size_t mask = (size_t{1} << bits) - 1;
  std::vector<REC_ID> slots(mask + 1, 0);
  for (REC_ID r : ids) {
    if (r == 0) continue;
    size_t i = static_cast<size_t>((uint64_t{r} * 0x9E3779B97F4A7C15ull) >> (64 - bits));
    for (; slots[i] != 0; i = (i + 1) & mask) {
      if (slots[i] == r) return true;
    }
    slots[i] = r;
  }
  return false;
}

const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

// Puts the field's current record or value back after a walk over records.
class ValueKeeper {
 public:
  explicit ValueKeeper(FBL_BaseField& field)
      : mField(field), mRecID(field.GetRecID()), mDirty(field.IsDirty()) {
    if (!mDirty) return;
    mNull = field.IsNull();
    mValue.resize(field.GetBufferSize());
    field.GetValue(mValue.data());
  }
  ~ValueKeeper() {
    try {
      if (!mDirty) {
        // RecID 0 reads the cleared buffer of a field on no record.
        mField.ReadRecord(mRecID);
        return;
      }
      mField.SetValue(mValue.data());
      if (mNull) mField.SetNull(true);
    } catch (const xFBL_Exception&) {
      // The value reads again when its record is next visited.
    }
  }
  ValueKeeper(const ValueKeeper&) = delete;
  ValueKeeper& operator=(const ValueKeeper&) = delete;

 private:
  FBL_BaseField& mField;
  REC_ID mRecID;
  bool mDirty;
  bool mNull = false;
  std::vector<uint8_t> mValue;
};

}  // namespace

// Holds the index's mutex for a scope, exceptions included.
class FBL_SecondaryIndex::Guard {
 public:
  explicit Guard(FBL_Mutex& mutex) : mMutex(mutex) {
    if (!mMutex.Lock(FBL_MutexNative::kInfinite))
      throw xFBL_Exception(ERR_INDEX, "The index stayed locked");
  }
  ~Guard() {
    try {
      mMutex.Unlock();
    } catch (const xFBL_Exception&) {
    }
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  FBL_Mutex& mMutex;
};

FBL_SecondaryIndex::FBL_SecondaryIndex(FBL_BaseField& field, FBL_DataFile& volume, uint32_t ownerId,
                                       bool unique, bool byteValues, uint16_t kind)
    : mField(field),
      mVolume(volume),
      mOwnerId(ownerId),
      mKind(kind),
      mUnique(unique),
      mByteValues(byteValues) {}

const FBL_KeyOrder& FBL_SecondaryIndex::GetKeyOrder() const {
  return mField;
}

void FBL_SecondaryIndex::Init() {
  if (mField.GetFieldNumber() > UINT16_MAX)
    throw xFBL_FieldError("Field number too large to name its files");
  mSubIndex = static_cast<uint16_t>(mField.GetFieldNumber());
  mFile = std::make_unique<FBL_IndexFile>(mVolume, mOwnerId, mSubIndex, mByteValues, mKind);
  mPage = MakePage();
}

FBL_SecondaryIndex::~FBL_SecondaryIndex() {
  try {
    if (mUseCount > 0) {
      mUseCount = 1;
      Close();
    }
  } catch (const xFBL_Exception&) {
  }
  mPage.reset();
  mFile.reset();
}

void FBL_SecondaryIndex::SetEncryption(FBL_EncryptionRef encryptor, FBL_EncryptionRef decryptor) {
  mEncryptor = std::move(encryptor);
  mDecryptor = std::move(decryptor);
  mFile->SetEncryption(mDecryptor, true);
  mFile->SetEncryption(mEncryptor, false);
}

void FBL_SecondaryIndex::RequireOpen() const {
  if (mUseCount == 0) throw xFBL_Exception(ERR_INDEX, "The index is not open");
}

bool FBL_SecondaryIndex::ByWords() const {
  return mField.HasFlag(kFieldByWords) && !mField.HasFixedKey();
}

bool FBL_SecondaryIndex::HoldsNull() {
  return mField.IsNullable() && mField.IsNull();
}

void FBL_SecondaryIndex::CurrentKeys(std::vector<std::string>& keys) {
  keys.clear();
  if (HoldsNull()) return;
  if (ByWords()) {
    mField.MakeWordKeys(keys);
    return;
  }
  uint8_t key[kMaxIndexKeySize];
  uint32_t n = mField.MakeKey(key);
  keys.emplace_back(reinterpret_cast<const char*>(key), n);
}

uint32_t FBL_SecondaryIndex::RecordLimit() const {
  FBL_Table* table = mField.GetTable();
  return table != nullptr ? table->GetMaxRecID() : mPage->LastRecID();
}

// ---- open and close ------------------------------------------------------------------

void FBL_SecondaryIndex::Open() {
  Guard guard(mMutex);
  if (mUseCount > 0) {
    ++mUseCount;
    return;
  }
  OpenChecked();
  mUseCount = 1;
}

// The index holds nothing the records cannot give again: a damaged index
// file (its pages 370 or 372, its file in the index volume 301) is
// deleted and built anew.
void FBL_SecondaryIndex::OpenChecked() {
  std::unique_ptr<xFBL_DataFileError> volumeError;
  mPage->SetOneEntryPerRecord(mKind == kKindFieldIndex && !ByWords());
  for (;;) {
    bool good = false;
    try {
      if (!mFile->Exists()) mFile->Create();
      mFile->Open();
      mUseCount = 1;
      uint32_t expected = ExpectedEntryCount();
      if (mFile->GetEntryCount() == 0 && expected != 0) Build();
      // The pages must be able to hold the entries: a header or a length
      // that lost pages leaves a count that still matches the records.
      good = mFile->GetEntryCount() == expected &&
             expected <= uint64_t{mPage->PageCount()} * mPage->MaxEntries();
    } catch (const xFBL_SXCorrupted&) {
      good = false;
    } catch (const xFBL_DataFileError& e) {
      // The index volume's own damage: told as such if no build succeeds.
      volumeError = std::make_unique<xFBL_DataFileError>(e);
      good = false;
    } catch (...) {
      mUseCount = 0;
      CloseFile();
      throw;
    }
    mUseCount = 0;
    if (good) {
      mFailedBuilds = 0;
      mDamaged = false;
      return;
    }
    try {
      CloseFile();
      RemoveFile();
    } catch (const xFBL_Exception&) {
      // A file that cannot even be removed fails the next round too.
    }
    if (++mFailedBuilds >= kMaxFailedBuilds) {
      mFailedBuilds = 0;
      if (volumeError) throw *volumeError;
      throw xFBL_FailToBuild();
    }
  }
}

void FBL_SecondaryIndex::CloseFile() {
  mPage->Release();
  mPage->ForgetFence();
  while (mFile->IsOpen()) mFile->Close();
}

void FBL_SecondaryIndex::RemoveFile() {
  if (mFile->Exists()) mFile->Remove();
}

void FBL_SecondaryIndex::Close() {
  Guard guard(mMutex);
  if (mUseCount == 0) return;
  if (--mUseCount > 0) return;
  CloseFile();
  // A search met damage: the next open builds the index afresh.
  if (mDamaged) {
    mDamaged = false;
    RemoveFile();
  }
}

void FBL_SecondaryIndex::Flush() {
  Guard guard(mMutex);
  if (mUseCount == 0) return;
  mPage->Release();
  mFile->Flush();
}

void FBL_SecondaryIndex::Drop() {
  Guard guard(mMutex);
  mUseCount = 0;
  CloseFile();
  RemoveFile();
}

void FBL_SecondaryIndex::ChangeNumber(uint32_t newNumber) {
  Guard guard(mMutex);
  uint16_t sub = static_cast<uint16_t>(newNumber);
  if (newNumber > UINT16_MAX) throw xFBL_FieldError("Field number too large to name its files");
  auto target = std::make_unique<FBL_IndexFile>(mVolume, mOwnerId, sub, mByteValues, mKind);
  target->SetEncryption(mDecryptor, true);
  target->SetEncryption(mEncryptor, false);
  if (target->Exists()) throw xFBL_FieldError("A file of the new field number exists already");
  bool wasOpen = mUseCount > 0;
  CloseFile();
  if (mFile->Exists()) {
    // Raw bytes: both files carry the same ciphers.
    FBL_EmbededFile from(mVolume, mOwnerId, mKind, mSubIndex);
    FBL_EmbededFile to(mVolume, mOwnerId, mKind, sub);
    to.Create();
    from.Open();
    to.Open();
    from.CopyBytesTo(to);
    to.Flush();
    to.Close();
    from.Close();
    mFile->Remove();
  }
  mPage.reset();
  mFile = std::move(target);
  mSubIndex = sub;
  mPage = MakePage();
  if (wasOpen) mFile->Open();
}

// ---- changes ---------------------------------------------------------------------------

void FBL_SecondaryIndex::Insert(const uint8_t* key, REC_ID recID) {
  Guard guard(mMutex);
  RequireOpen();
  try {
    // A unique index raises xFBL_FieldIsUnique before any change.
    if (mPage->InsertEntry(key, recID, mUnique)) mFile->AddEntries(1);
  } catch (const xFBL_FieldIsUnique&) {
    throw;
  } catch (...) {
    // A change cut short may leave the in-memory first entries behind.
    mPage->ForgetFence();
    throw;
  }
}

void FBL_SecondaryIndex::Remove(const uint8_t* key, REC_ID recID) {
  Guard guard(mMutex);
  RequireOpen();
  try {
    if (mPage->RemoveEntry(key, recID)) mFile->AddEntries(-1);
  } catch (...) {
    mPage->ForgetFence();
    throw;
  }
}

void FBL_SecondaryIndex::Clear() {
  Guard guard(mMutex);
  bool wasOpen = mFile->IsOpen();
  CloseFile();
  RemoveFile();
  mFile->Create();
  if (wasOpen) mFile->Open();
}

void FBL_SecondaryIndex::AppendSorted(const uint8_t* key, REC_ID recID) {
  Guard guard(mMutex);
  if (!mFile->IsOpen()) throw xFBL_Exception(ERR_INDEX, "The index is not open");
  if (mBuildNulls && mBuildNulls->IsMember(recID)) return;
  try {
    if (mPage->AppendEntry(key, recID, mUnique)) mFile->AddEntries(1);
  } catch (const xFBL_FieldIsUnique&) {
    throw;
  } catch (...) {
    mPage->ForgetFence();
    throw;
  }
}

// ---- searches --------------------------------------------------------------------------

bool FBL_SecondaryIndex::FindFirst(const uint8_t* key, REC_ID& recID) {
  Guard guard(mMutex);
  RequireOpen();
  try {
    recID = mPage->FindFirst(key);
    FBL_Table* table = mField.GetTable();
    if (recID != 0 && table != nullptr && !table->IsRecordAlive(recID))
      throw xFBL_SXCorrupted("The index names a record that is not alive");
  } catch (const xFBL_SXCorrupted& e) {
    MarkDamaged(e);
  }
  return recID != 0;
}

void FBL_SecondaryIndex::MarkDamaged(const xFBL_SXCorrupted& e) {
  mDamaged = true;
  throw xFBL_SXCorrupted(e.what());
}

// An answer is a subset of the alive records; a point search checks its
// few RecIDs one by one, a larger one against the record map's bits. Where
// a record has one entry, a RecID named twice is damage too (a flipped
// RecID naming another record): a bit set then holds fewer RecIDs than
// entries were taken, an array holds one again.
void FBL_SecondaryIndex::CheckAnswer(const FBL_ArraySet* array, FBL_BitSet* bits,
                                     uint64_t taken) {
  FBL_Table* table = mField.GetTable();
  if (table == nullptr) return;
  const bool once = mPage->OneEntryPerRecord();
  const uint32_t n = array != nullptr ? array->Count() : bits->Count();
  if (once && bits != nullptr && n != taken)
    throw xFBL_SXCorrupted("The index names a record twice or beyond the table");
  if (n == 0) return;
  bool good = true;
  const REC_ID maxRecID = table->GetMaxRecID();
  // The record map's count is checked against its bits when the table
  // opens: equal to the highest RecID, every RecID up to it is alive.
  const bool noneDeleted = table->GetRecordCount() == maxRecID;
  const auto alive = [&](REC_ID r) {
    return noneDeleted ? r != 0 && r <= maxRecID : table->IsRecordAlive(r);
  };
  if (array != nullptr && n <= std::max(kAliveProbes, maxRecID / kBitsPerProbe)) {
    if (once && NamesOneTwice(array->GetItems()))
      throw xFBL_SXCorrupted("The index names a record twice");
    for (REC_ID r : array->GetItems()) {
      good = alive(r);
      if (!good) break;
    }
  } else if (n <= kAliveProbes) {
    for (REC_ID r = bits->NextMember(0); r != 0 && good; r = bits->NextMember(r))
      good = alive(r);
  } else if (bits != nullptr && noneDeleted && bits->GetSize() <= maxRecID) {
    // Every RecID a bit can stand for is alive.
  } else {
    std::unique_ptr<FBL_BitSet> alive = table->SelectAllRecords();
    if (array != nullptr) {
      // The RecIDs as bits: those past the table leave no bit, and a RecID
      // named twice sets one bit for two entries.
      REC_ID lowest = UINT32_MAX, highest = 0;
      for (REC_ID r : array->GetItems()) {
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
      }
      FBL_BitSet named(alive->GetSize(), *array);
      good = lowest != 0 && highest <= alive->GetSize() && (!once || named.Count() == n);
      named.Difference(*alive);
      good = good && named.IsEmpty();
    } else {
      // A subset stays the same under the intersection.
      bits->Intersection(*alive);
      good = bits->Count() == n;
    }
  }
  if (!good) throw xFBL_SXCorrupted("The index names a record that is not alive or twice");
}

// Index pages carry no checksum, and a key whose bytes were damaged may
// keep its page's order: the page check passes, yet a search for the old
// value misses its record. Such a key changes an answer only where it meets
// one of the search's bounds, so the few entries beside the bounds must
// hold their records' keys (a value read each). Calculated and by-words
// fields are not checked this way.
void FBL_SecondaryIndex::CheckBounds(const FBL_IndexPosition& from, const FBL_IndexPosition& to) {
  FBL_Table* table = mField.GetTable();
  if (table == nullptr || ByWords() || mField.IsMethod()) return;
  FBL_IndexPage::BoundSet bounds;
  mPage->BoundEntries(from, to, bounds);
  if (bounds.count == 0) return;
  uint8_t key[kMaxIndexKeySize];
  auto* length = dynamic_cast<FBL_LengthField*>(&mField);
  // A walk over records must put the field's record and value back; texts,
  // byte strings and values stored as their buffer's bytes are read beside
  // the buffer instead.
  alignas(8) uint8_t value[8];
  const bool raw = length == nullptr && mField.HasRawValues();
  std::optional<ValueKeeper> keeper;
  if (length == nullptr && !raw) keeper.emplace(mField);
  const REC_ID maxRecID = table->GetMaxRecID();
  for (uint32_t i = 0; i < bounds.count; ++i) {
    const FBL_IndexPage::Entry& entry = bounds.entries[i];
    // The answer's own RecIDs were found alive already (a bit set drops
    // those beyond it).
    if (entry.recID == 0 || entry.recID > maxRecID ||
        (!entry.inside && !table->IsRecordAlive(entry.recID)))
      throw xFBL_SXCorrupted("The index names a record that is not alive");
    bool null = false;
    if (length != nullptr) {
      null = !length->ReadStoredKey(entry.recID, key);
    } else if (raw) {
      null = !mField.ReadRawValue(entry.recID, value) && mField.IsNullable();
      if (!null) mField.MakeKeyOf(value, key);
    } else {
      mField.ReadRecord(entry.recID);
      null = HoldsNull();
      if (!null) mField.MakeKey(key);
    }
    if (null) throw xFBL_SXCorrupted("The index holds a key for a null value");
    if (mField.CompareKeys(key, entry.key) != 0)
      throw xFBL_SXCorrupted("An index key differs from its record's value");
  }
}

bool FBL_SecondaryIndex::FindFirst(REC_ID& recID) {
  recID = 0;
  if (HoldsNull()) return false;
  uint8_t key[kMaxIndexKeySize];
  mField.MakeKey(key);
  return FindFirst(key, recID);
}

std::unique_ptr<FBL_BitSet> FBL_SecondaryIndex::SelectRange(bool leftIncluded,
                                                            const uint8_t* leftKey,
                                                            const uint8_t* rightKey,
                                                            bool rightIncluded) {
  Guard guard(mMutex);
  RequireOpen();
  auto set = std::make_unique<FBL_BitSet>(RecordLimit());
  try {
    FBL_IndexPosition from, to;
    uint64_t taken = 0;
    if (mPage->ResolveRange(leftIncluded, leftKey, rightKey, rightIncluded, from, to))
      taken = mPage->CollectRange(from, to, nullptr, set.get());
    CheckAnswer(nullptr, set.get(), taken);
    CheckBounds(from, to);
  } catch (const xFBL_SXCorrupted& e) {
    MarkDamaged(e);
  }
  return set;
}

std::unique_ptr<FBL_ArraySet> FBL_SecondaryIndex::CollectArray(
    bool leftIncluded, const uint8_t* leftKey, const uint8_t* rightKey, bool rightIncluded,
    FBL_IndexPosition& from, FBL_IndexPosition& to, uint64_t& taken, uint32_t limit, REC_ID size,
    std::unique_ptr<FBL_BitSet>& bits) {
  taken = 0;
  if (!mPage->ResolveRange(leftIncluded, leftKey, rightKey, rightIncluded, from, to))
    return std::make_unique<FBL_ArraySet>(0);
  // The first and last pages hold only their part of the range: a point
  // search reserves its one entry, not a page's worth.
  const uint64_t most = mPage->MaxEntries();
  uint64_t capacity =
      from.mPage == to.mPage
          ? (to.mEntry > from.mEntry ? to.mEntry - from.mEntry : 0)
          : uint64_t{to.mPage - from.mPage - 1} * most +
                (most - std::min<uint64_t>(from.mEntry, most)) + to.mEntry;
  if (FBL_Table* table = mField.GetTable())
    capacity = std::min<uint64_t>(capacity, table->GetRecordCount());
  capacity = std::min<uint64_t>(capacity, mFile->GetEntryCount());
  if (limit != UINT32_MAX && capacity > uint64_t{limit} + limit / 4) {
    // Room for well past the limit (pages are at most full): straight into
    // bits. Where fewer entries were there, they are collected again as an
    // array.
    bits = std::make_unique<FBL_BitSet>(size);
    taken = mPage->CollectRange(from, to, nullptr, bits.get());
    if (taken > limit) return std::make_unique<FBL_ArraySet>(0);
    bits.reset();
  }
  capacity = std::min<uint64_t>(capacity, limit);
  auto set = std::make_unique<FBL_ArraySet>(static_cast<uint32_t>(capacity));
  taken = mPage->CollectRange(from, to, *set, limit, size, bits);
  return set;
}

std::unique_ptr<FBL_ArraySet> FBL_SecondaryIndex::SelectRangeAsArray(bool leftIncluded,
                                                                     const uint8_t* leftKey,
                                                                     const uint8_t* rightKey,
                                                                     bool rightIncluded) {
  // No answer passes the limit: it stays the array it was collected as.
  std::unique_ptr<FBL_Set> answer =
      SelectRangeAsSet(leftIncluded, leftKey, rightKey, rightIncluded, UINT32_MAX, 0);
  return std::unique_ptr<FBL_ArraySet>(static_cast<FBL_ArraySet*>(answer.release()));
}

// A large answer is made a bit set once, for its check and for the caller.
std::unique_ptr<FBL_Set> FBL_SecondaryIndex::SelectRangeAsSet(bool leftIncluded,
                                                             const uint8_t* leftKey,
                                                             const uint8_t* rightKey,
                                                             bool rightIncluded,
                                                             uint32_t arrayLimit, REC_ID size) {
  Guard guard(mMutex);
  RequireOpen();
  std::unique_ptr<FBL_Set> answer;
  try {
    FBL_IndexPosition from, to;
    uint64_t taken = 0;
    // A large answer is collected as bits from the page where it passes the
    // limit. Where each record has one entry, the check's count of bits
    // against the entries taken finds a RecID beyond the table (it sets no
    // bit); elsewhere the array is kept whole for the test below.
    std::unique_ptr<FBL_BitSet> bits;
    const uint32_t switchAt = mPage->OneEntryPerRecord() ? arrayLimit : UINT32_MAX;
    std::unique_ptr<FBL_ArraySet> array = CollectArray(
        leftIncluded, leftKey, rightKey, rightIncluded, from, to, taken, switchAt, size, bits);
    if (bits) {
      CheckAnswer(nullptr, bits.get(), taken);
      answer = std::move(bits);
    } else if (array->Count() <= arrayLimit) {
      CheckAnswer(array.get(), nullptr, taken);
      answer = std::move(array);
    } else {
      // A RecID outside 1..size would set no bit.
      for (REC_ID r : array->GetItems()) {
        if (r == 0 || r > size) throw xFBL_SXCorrupted("The index names a record beyond the table");
      }
      auto whole = std::make_unique<FBL_BitSet>(size, *array);
      CheckAnswer(nullptr, whole.get(), taken);
      answer = std::move(whole);
    }
    CheckBounds(from, to);
  } catch (const xFBL_SXCorrupted& e) {
    MarkDamaged(e);
  }
  return answer;
}

uint32_t FBL_SecondaryIndex::GetEntryCount() {
  Guard guard(mMutex);
  return mFile->IsOpen() ? mFile->GetEntryCount() : 0;
}

// ---- building and checking ---------------------------------------------------------------

void FBL_SecondaryIndex::Build() {
  Guard guard(mMutex);
  if (!mFile->IsOpen()) throw xFBL_Exception(ERR_INDEX, "The index is not open");
  if (mFile->GetEntryCount() > 0) return;
  FBL_Table* table = mField.GetTable();
  if (table == nullptr || table->GetRecordCount() == 0) {
    Clear();
    return;
  }
  // A build may hand null values over as the cleared buffer's key; the
  // nulls of the table are skipped as they arrive.
  if (mField.IsNullable() && !ByWords()) {
    mBuildNulls = mField.SelectNulls();
    if (mBuildNulls->IsEmpty()) mBuildNulls.reset();
  }
  FBL_IndexerTask task(*this, mField);
  try {
    bool done = zv::RunTask(task);
    mBuildNulls.reset();
    if (!done) throw xFBL_FailToBuild();
  } catch (const xFBL_FieldIsUnique&) {
    // Duplicates under a unique flag: the index stays empty.
    mBuildNulls.reset();
    Clear();
    throw;
  } catch (...) {
    mBuildNulls.reset();
    throw;
  }
}

void FBL_SecondaryIndex::Defragment() {
  Guard guard(mMutex);
  RequireOpen();
  mPage->Release();
  mPage->ForgetFence();
  mFile->Defragment();
}

void FBL_SecondaryIndex::Rebuild() {
  Guard guard(mMutex);
  Clear();
  Build();
}

void FBL_SecondaryIndex::CheckPages() {
  Guard guard(mMutex);
  RequireOpen();
  mPage->CheckAll();
}

// A by-words index holds each record's distinct words: their number is
// counted from the records, words the field's order finds equal once.
uint32_t FBL_SecondaryIndex::ExpectedEntryCount() {
  FBL_Table* table = mField.GetTable();
  if (table == nullptr) return mFile->GetEntryCount();
  std::unique_ptr<FBL_BitSet> alive = table->SelectAllRecords();
  if (!ByWords()) {
    uint32_t count = table->GetRecordCount();
    if (!mField.IsNullable()) return count;
    std::unique_ptr<FBL_BitSet> nulls = mField.SelectNulls();
    nulls->Intersection(*alive);
    return count - std::min(count, nulls->Count());
  }
  uint64_t total = 0;
  ValueKeeper keep(mField);
  std::vector<std::string> keys;
  for (REC_ID r = alive->NextMember(0); r != 0; r = alive->NextMember(r)) {
    mField.ReadRecord(r);
    CurrentKeys(keys);
    for (size_t i = 0; i < keys.size(); ++i) {
      if (i == 0 || mField.CompareKeys(Bytes(keys[i - 1]), Bytes(keys[i])) != 0) ++total;
    }
  }
  return static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
}
