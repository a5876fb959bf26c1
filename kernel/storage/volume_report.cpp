#include "kernel/storage/volume_report.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "kernel/storage/volume.h"
#include "kernel/storage/volume_format.h"
#include "platform/errors.h"

namespace {

void Line(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void Line(std::string& out, const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  out += buffer;
  out += '\n';
}

void ReportHeader(const FBL_VolumeHeader& h, std::string& out) {
  Line(out, "byte order: %u (%s)", h.mByteOrder, h.IsBigEndian() ? "big-endian" : "little-endian");
  Line(out, "table-format mark: %u", h.mTableFormat);
  Line(out, "format version: %u", h.FormatVersion());
  Line(out, "schema version: %u", h.SchemaVersion());
  Line(out, "segment size: %" PRIu32, h.mSegmentSize);
  Line(out, "map segments: %" PRIu32, h.mMapSegments);
  Line(out, "live files: %" PRIu32, h.mLiveFiles);
  Line(out, "table of files first segment: %" PRIu32, h.mTableSegment);
  Line(out, "storage mode: %" PRIu32, h.mStorageMode);
  Line(out, "key check words: %" PRIu32 " %" PRIu32, h.mKeyCheck1, h.mKeyCheck2);
  Line(out, "open flag: %" PRIu32, h.mOpenFlag);
  Line(out, "structure encryption flag: %" PRIu32, h.mStructureEncrypted);
}

// The header as it is on disk, even when the volume cannot be opened.
int32_t ReportRawHeader(const std::string& path, platform::Env& env, std::string& out) {
  auto file = env.OpenFile(path, platform::OpenMode::kReadOnly);
  uint8_t raw[kVolumeHeaderBytes];
  if (file->ReadAt(0, raw, sizeof raw) < sizeof raw) return ERR_DATA_FILE;
  ReportHeader(FBL_VolumeHeader::Decode(raw), out);
  return 0;
}

void ReportContents(FBL_DataFile& volume, std::string& out) {
  uint32_t segments = volume.GetSegmentCount();
  uint32_t free = 0;
  for (uint32_t s = volume.GetHeader().mMapSegments + 1; s <= segments; ++s) {
    if (volume.GetLink(s) == 0) ++free;
  }
  Line(out, "segments: %" PRIu32 " (%" PRIu32 " free)", segments, free);
  auto entries = volume.ReadFileTable();
  Line(out, "table of files: %zu entries", entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const FBL_FileEntry& e = entries[i];
    if (e.IsFree()) {
      Line(out, "  %zu: free", i);
      continue;
    }
    Line(out,
         "  %zu: owner %" PRIu32 ", kind %u, sub-index %u, %s, first segment %" PRIu32 ", %" PRIu32
         " segments, length %" PRIu64,
         i, e.mOwnerId, e.mKind, e.mSubIndex, e.IsTemporary() ? "temporary" : "permanent",
         e.mFirstSegment, e.mSegmentCount, e.mLength);
  }
}

}  // namespace

int32_t zv::WriteVolumeReport(const std::string& path, std::string& out, platform::Env* env) {
  platform::Env& files = env != nullptr ? *env : *platform::Env::Default();
  Line(out, "volume: %s", path.c_str());
  int32_t code = 0;
  try {
    code = ReportRawHeader(path, files, out);
    if (code == 0) {
      FBL_DataFile volume(path, &files);
      volume.SetForceReadOnly(true);
      volume.Open();
      ReportContents(volume, out);
      volume.Close();
    }
  } catch (const xFBL_Exception& e) {
    code = e.Code;
  }
  if (code != 0) Line(out, "error %d", code);
  return code;
}
