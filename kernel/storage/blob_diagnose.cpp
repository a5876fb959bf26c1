// Diagnose of a BLOB file: the chain of every record's value, the chain of
// deleted blocks, and the blocks that belong to neither. A bit per block
// marks the blocks already met, so every walk ends.
#include <algorithm>
#include <string>
#include <vector>

#include "kernel/storage/blob_file.h"
#include "platform/errors.h"

using zblob::FBL_BLOBBlockHeader;

namespace {

const char kIndent[] = "\t\t\t\t\t";

std::string Num(uint64_t v) {
  return std::to_string(v);
}

std::string BlockLine(uint32_t block, const std::string& text) {
  return kIndent + std::string("Block ") + Num(block) + text + "\n";
}

std::string DeletedLine(uint32_t block, const std::string& text) {
  return kIndent + std::string("Deleted block ") + Num(block) + text + "\n";
}

// The line of a block that lies (partly) past the end of the file, or "".
std::string EofLine(uint32_t blockSize, uint64_t length, uint32_t block) {
  uint64_t start = zblob::BlockOffset(blockSize, block);
  uint64_t end = start + blockSize;
  if (start >= length)
    return BlockLine(block, " has beging after EOF file length is " + Num(length) +
                                " but block beging is " + Num(start));
  if (end > length)
    return BlockLine(block, " has end after EOF file length is " + Num(length) +
                                " but block end is " + Num(end));
  return {};
}

}  // namespace

bool FBL_BLOBFile::Diagnose(std::string& report, bool verbose, bool tableEmpty,
                            const std::vector<FBL_BLOBReference>& references) {
  std::string out;
  bool ok = true;
  bool opened = false;
  try {
    Open();
    opened = IsOpen();
    if (!opened) {  // no file: every reference points past its end
      mHeader = zblob::FBL_BLOBFileHeader{};
      mBlockCount = 0;
    }
    const uint64_t length = opened ? GetLength() : 0;
    std::vector<bool> seen(uint64_t{mBlockCount} + 1, false);
    if (tableEmpty && opened && !IsEmpty()) {
      ok = false;
      out += "(!) Table is empty but BLOB file is not.\n";
    }
    if (tableEmpty && mHeader.mFirstDeleted != 0) {
      ok = false;
      out += "(!) Table is empty but DeleteBlock is not ZERO.\n";
    }
    for (const FBL_BLOBReference& ref : references) {
      if (ref.mFirstBlock != 0 && !CheckValue(ref, length, seen, out)) ok = false;
    }
    if (!CheckDeletedChain(length, seen, out)) ok = false;
    auto orphans = static_cast<uint64_t>(std::count(seen.begin() + 1, seen.end(), false));
    if (orphans > 0)
      out += "(!) Minor problem: exists " + Num(orphans) +
             " orphan segments.(indicate mistake in algorithm.)\n";
  } catch (const xFBL_Exception& e) {
    ok = false;
    std::string text;
    e.GetErrorString(text);
    out += "(!) BLOB file cannot be checked: " + text + "\n";
  } catch (const std::bad_alloc&) {
    ok = false;
    out += "(!) BLOB file cannot be checked: not enough memory\n";
  }
  if (opened) {
    try {
      Close();
    } catch (const xFBL_Exception&) {
      ok = false;
      out += "(!) BLOB file cannot be closed\n";
    }
  }
  if (verbose) report += out;
  return ok;
}

bool FBL_BLOBFile::CheckValue(const FBL_BLOBReference& ref, uint64_t length,
                              std::vector<bool>& seen, std::string& out) {
  const uint32_t first = ref.mFirstBlock;
  if (first > mBlockCount) {
    out += "............Record " + Num(ref.mRecID) + " is after EOF.\n";
    return false;
  }
  const uint32_t cap = GetDataBytesPerBlock();
  std::string lines;
  uint32_t total = 0;
  uint32_t expected = 1;
  for (uint32_t block = first, index = 1;; ++index) {
    std::string eof = EofLine(mBlockSize, length, block);
    if (!eof.empty()) {
      lines += eof;
      break;
    }
    if (seen[block]) {
      lines += BlockLine(block,
                         " already belong to OTHER record."
                         "Probably developer forget call SetBlank() before AddRecord().");
      break;
    }
    seen[block] = true;
    FBL_BLOBBlockHeader h = ReadBlockHeader(block);
    if (index == 1) {
      total = h.mTotalSize;
      expected = BlocksOf(total);
    }
    // Every block but the last is full; the last holds the rest.
    uint32_t want = index < expected ? cap : total - (expected - 1) * cap;
    if (h.mBytesInBlock > cap) {
      lines += BlockLine(block, " has wrong mBytesInBlock must be <= " + Num(cap) + " in fact " +
                                    Num(h.mBytesInBlock));
    } else if (h.mBytesInBlock != want) {
      lines += BlockLine(block, " has wrong mBytesInBlock must be " + Num(want) + " in fact " +
                                    Num(h.mBytesInBlock));
    }
    if (h.mIndex != index)
      lines +=
          BlockLine(block, " has wrong mIndex must be " + Num(index) + " in fact " + Num(h.mIndex));
    if (h.mFirstBlock != first)
      lines += BlockLine(
          block, " has wrong mFirstBlock must be " + Num(first) + " in fact " + Num(h.mFirstBlock));
    if (index == expected) {
      if (h.mNextBlock != 0)
        lines += BlockLine(block, " has wrong mNextBlock must be 0 in fact " + Num(h.mNextBlock));
      break;
    }
    if (h.mNextBlock == 0) {
      lines += BlockLine(block, " ends the chain but the value needs " + Num(expected) + " blocks");
      break;
    }
    block = h.mNextBlock;
  }
  if (lines.empty()) return true;
  out += "............Record " + Num(ref.mRecID) + " has the following problems.\n" + lines;
  return false;
}

bool FBL_BLOBFile::CheckDeletedChain(uint64_t length, std::vector<bool>& seen, std::string& out) {
  std::string lines;
  uint32_t prev = 0;
  for (uint32_t block = mHeader.mFirstDeleted; block != 0;) {
    std::string eof = EofLine(mBlockSize, length, block);
    if (!eof.empty()) {
      lines += eof;
      break;
    }
    if (seen[block]) {  // a loop (also onto itself), or a block in use
      if (prev == 0) {
        lines += kIndent + std::string("DeleteBlock ") + Num(block) + " is in use\n";
      } else {
        lines += DeletedLine(prev, " has wrong mNextBlock ");
      }
      break;
    }
    FBL_BLOBBlockHeader h = ReadBlockHeader(block);
    if (!h.IsDeleted()) {
      lines += DeletedLine(block, " has wrong mIndex must be 0 in fact " + Num(h.mIndex));
      break;
    }
    seen[block] = true;
    if (h.PrevBlock() != prev)
      lines += DeletedLine(
          block, " has wrong mPrevBlock must be " + Num(prev) + " in fact " + Num(h.PrevBlock()));
    prev = block;
    block = h.mNextBlock;
  }
  if (lines.empty()) return true;
  out += "(!) Problem in the chain of deleted blocks:\n" + lines;
  return false;
}
