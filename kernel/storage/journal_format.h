// The on-disk layout of a database's journal (P.jnl beside the volumes), in
// one place. The journal is a redo log: changes to the committed bytes of
// the volumes go to it first and reach the volumes only when it is played
// into them (a checkpoint, or the next open after a crash). Every integer is
// little-endian, whatever the volumes' byte order.
//
//   0     512 bytes  header (FBL_JournalHeader)
//   512   records one after another: a 32-byte head (FBL_JournalRecord),
//         then its payload
//
// Header: 0 magic "ZORJNL01", 8 u32 header bytes (512), 12 u32 zero,
// 16 u64 salt, 24 u64 generation, 32 four slot entries of 32 bytes (the
// structure, record, index and BLOB volumes, in that order), 508 u32 CRC-32
// of bytes 0..507. A slot entry: 0 u32 state (0 no file, 1 a file), 4 u32
// fingerprint bytes F, 8 u64 length, 16 u32 CRC-32 of the volume's first F
// bytes, 20 zero. The slots describe the volumes as they were on disk when
// the generation began; F is at most 64 KB and at most the length.
//
// Record head: 0 u32 kind, 4 u32 slot, 8 u64 offset, 16 u64 length,
// 24 u32 payload bytes, 28 u32 check. Kinds:
//   1 data        the payload (length bytes) goes to the volume at offset
//   2 zero        length zero bytes go to the volume at offset; no payload
//   3 commit      everything before it is committed; the payload is a slot
//                 entry of 16 bytes per volume (u32 state, u32 zero,
//                 u64 length) giving each volume's committed length
//   4 checkpoint  the records before it are being played into the volumes
// The check is a CRC-32 over the head's first 28 bytes and the payload,
// continued from the previous record's check (the first record continues
// from the salt's two halves XORed): a record is valid only when every one
// before it is, so a torn or stale tail ends the journal.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

inline constexpr uint32_t kJournalHeaderBytes = 512;
inline constexpr uint32_t kJournalRecordHead = 32;
inline constexpr uint32_t kJournalSlots = 4;
inline constexpr uint32_t kJournalFingerprintMax = 65536;
// Data records are cut into pieces of at most this many bytes.
inline constexpr uint32_t kJournalMaxPayload = 1u << 20;
inline constexpr uint32_t kJournalCommitPayload = 16 * kJournalSlots;
// Largest volume offset or length a journal may name.
inline constexpr uint64_t kJournalMaxOffset = uint64_t{1} << 48;

enum class FBL_JournalKind : uint32_t { kData = 1, kZero = 2, kCommit = 3, kCheckpoint = 4 };

// A volume as one state of the journal sees it.
struct FBL_JournalSlotState {
  bool mExists = false;
  uint64_t mLength = 0;
};
using FBL_JournalVolumes = std::array<FBL_JournalSlotState, kJournalSlots>;

struct FBL_JournalHeader {
  struct Slot {
    FBL_JournalSlotState mBase;
    uint32_t mFingerprintBytes = 0;
    uint32_t mFingerprint = 0;
  };
  uint64_t mSalt = 0;
  uint64_t mGeneration = 0;
  std::array<Slot, kJournalSlots> mSlots;

  // The check value the first record continues from.
  uint32_t FirstCheck() const { return static_cast<uint32_t>(mSalt ^ (mSalt >> 32)); }
  FBL_JournalVolumes BaseVolumes() const;

  void Encode(uint8_t out[kJournalHeaderBytes]) const;
  // False for a header that is not one (magic, size, checksum or a value
  // out of range).
  static bool Decode(const uint8_t in[kJournalHeaderBytes], FBL_JournalHeader& out);
};

struct FBL_JournalRecord {
  FBL_JournalKind mKind = FBL_JournalKind::kData;
  uint32_t mSlot = 0;
  uint64_t mOffset = 0;
  uint64_t mLength = 0;
  uint32_t mPayloadBytes = 0;

  // Writes the head; returns the check over the head and payload,
  // continued from previous, and stores it at offset 28.
  uint32_t Encode(uint8_t out[kJournalRecordHead], const uint8_t* payload, uint32_t previous) const;
  // False when the head's values are out of range for its kind.
  static bool DecodeHead(const uint8_t in[kJournalRecordHead], FBL_JournalRecord& out);
  // The check the head carries.
  static uint32_t StoredCheck(const uint8_t in[kJournalRecordHead]);
  // The check of head and payload, continued from previous.
  static uint32_t Check(const uint8_t in[kJournalRecordHead], const uint8_t* payload,
                        uint32_t previous);
};

std::vector<uint8_t> EncodeCommitPayload(const FBL_JournalVolumes& volumes);
// False when a state or length is out of range.
bool DecodeCommitPayload(const uint8_t* payload, FBL_JournalVolumes& out);

// CRC-32 of n bytes continued from crc (0 to start).
uint32_t JournalCrc(uint32_t crc, const uint8_t* data, uint64_t n);
