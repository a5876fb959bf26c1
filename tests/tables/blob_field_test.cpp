#include <gtest/gtest.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <map>
#include <random>
#include <vector>

#include "kernel/storage/blob_file.h"
#include "kernel/storage/byte_order.h"
#include "kernel/storage/volume_format.h"
#include "kernel/tables/blob_fields.h"
#include "kernel/tables/picture_codec.h"
#include "tests/support/raw_file.h"
#include "tests/tables/fake_index.h"

namespace {

using namespace ztest;

class BlobFieldTest : public TableTest {
 protected:
  BF_BLOB& Blob(uint32_t position) { return static_cast<BF_BLOB&>(F(position)); }
  void Fields(uint16_t flags = 0) {
    mFields = {{kTypeLong, 0}, {kTypeBLOB, flags}, {kTypeBLOB, kFieldCompressed}};
  }
  // Refs of every alive record of field position, as Diagnose takes them.
  std::vector<FBL_BLOBReference> Refs(uint32_t position) {
    std::vector<FBL_BLOBReference> refs;
    for (bool on = mTable->FirstRecord(); on; on = mTable->NextRecord()) {
      uint32_t ref = 0;
      F(position).GetValue(&ref);
      refs.push_back({mTable->GetCurrentRecID(), ref});
    }
    return refs;
  }
  std::vector<Column> mFields;
};

TEST_F(BlobFieldTest, FlagsAndTypes) {
  CreateDb();
  MakeTable({{kTypeBLOB, kFieldIndexed | kFieldUnique | kFieldNullable},
             {kTypeText, kFieldIndexed | kFieldByWords},
             {kTypePicture, 0}});
  EXPECT_EQ(F(1).GetFlags(), kFieldKeepsOldValue);
  EXPECT_EQ(F(1).GetType(), kTypeBLOB);
  EXPECT_EQ(F(2).GetType(), kTypeText);
  EXPECT_EQ(F(3).GetType(), kTypePicture);
  EXPECT_EQ(F(1).GetValueSize(), 4u);
  EXPECT_EQ(Blob(1).GetSegmentSize(), 1024u);
  EXPECT_EQ(Blob(1).GetCompressionLevel(), 9u);
  EXPECT_EQ(static_cast<BF_Picture&>(F(3)).GetQuality(), 50u);
  // A new record's BLOB is null.
  REC_ID r = mTable->AddRecord();
  mTable->GoToRecord(r);
  EXPECT_TRUE(F(1).IsNull());
  EXPECT_EQ(Blob(1).GetDataSize(), 0u);
  EXPECT_TRUE(Blob(1).GetData().empty());
}

// Random values from 0 bytes to 1 MiB, in a plain and a compressed column,
// written, replaced, deleted and added again across reopenings.
TEST_F(BlobFieldTest, RandomValuesReadBackInPlainAndCompressedColumns) {
  CreateDb();
  Fields();
  MakeTable(mFields);
  std::mt19937 rng(7);
  std::map<REC_ID, std::vector<uint8_t>> model;
  auto value = [&] {
    uint32_t n = rng() % 3 == 0 ? rng() % (1u << 20) + 1 : rng() % 5000;
    auto data = Pattern(n, rng());
    for (size_t i = 0; i < data.size(); i += 3) data[i] = 0;  // something to compress
    return data;
  };
  for (int step = 0; step < 60; ++step) {
    uint32_t op = rng() % 6;
    if (op < 3 || model.empty()) {
      auto data = value();
      Blob(2).SetData(data.data(), uint32_t(data.size()));
      Blob(3).SetData(data.data(), uint32_t(data.size()));
      model[mTable->AddRecord()] = data;
    } else if (op == 3) {
      auto it = std::next(model.begin(), rng() % model.size());
      mTable->GoToRecord(it->first);
      auto data = value();
      Blob(2).SetData(data.data(), uint32_t(data.size()));
      Blob(3).SetData(data.data(), uint32_t(data.size()));
      mTable->UpdateRecord();
      it->second = data;
    } else if (op == 4) {
      auto it = std::next(model.begin(), rng() % model.size());
      mTable->GoToRecord(it->first);
      mTable->DeleteRecord();
      model.erase(it);
    } else {
      Reopen();
    }
  }
  Reopen();
  for (const auto& [rec, data] : model) {
    ASSERT_TRUE(mTable->GoToRecord(rec));
    EXPECT_EQ(Blob(2).GetData(), data);
    EXPECT_EQ(Blob(3).GetData(), data);
    EXPECT_EQ(Blob(3).GetDataSize(), data.size());
  }
  for (uint32_t f : {2u, 3u}) {
    std::string report;
    EXPECT_TRUE(Blob(f).Blobs().Diagnose(report, true, model.empty(), Refs(f)));
    EXPECT_EQ(report, "");
  }
}

TEST_F(BlobFieldTest, DeletingARecordFreesItsChainForReuse) {
  CreateDb();
  Fields();
  MakeTable(mFields);
  auto big = Pattern(100000, 1);
  Blob(2).SetData(big.data(), uint32_t(big.size()));
  REC_ID a = mTable->AddRecord();
  auto small = Pattern(10, 2);
  Blob(2).SetData(small.data(), 10);
  mTable->AddRecord();
  uint64_t length = Blob(2).Blobs().GetLength();
  mTable->GoToRecord(a);
  mTable->DeleteRecord();
  EXPECT_NE(Blob(2).Blobs().GetFirstDeleted(), 0u);
  Blob(2).SetData(big.data(), uint32_t(big.size()));
  REC_ID c = mTable->AddRecord();
  EXPECT_EQ(Blob(2).Blobs().GetLength(), length);
  mTable->GoToRecord(c);
  EXPECT_EQ(Blob(2).GetData(), big);
  std::string report;
  EXPECT_TRUE(Blob(2).Blobs().Diagnose(report, true, false, Refs(2)));
  EXPECT_EQ(report, "");
}

TEST_F(BlobFieldTest, ABufferLeftFromAnotherRecordIsCopiedNotShared) {
  CreateDb();
  Fields();
  MakeTable(mFields);
  auto data = Pattern(3000, 3);
  Blob(2).SetData(data.data(), 3000);
  REC_ID a = mTable->AddRecord();
  mTable->GoToRecord(a);
  REC_ID b = mTable->AddRecord();  // the buffer still names a's chain
  mTable->GoToRecord(a);
  mTable->DeleteRecord();
  mTable->GoToRecord(b);
  EXPECT_EQ(Blob(2).GetData(), data);
  std::string report;
  EXPECT_TRUE(Blob(2).Blobs().Diagnose(report, true, false, Refs(2)));
  EXPECT_EQ(report, "");
}

TEST_F(BlobFieldTest, TruncatingFreesTheChainsCutOff) {
  CreateDb();
  Fields();
  MakeTable(mFields);
  for (uint32_t i = 0; i < 4; ++i) {
    auto data = Pattern(5000, i);
    Blob(2).SetData(data.data(), 5000);
    mTable->AddRecord();
  }
  Blob(2).Truncate(0);
  EXPECT_EQ(Blob(2).Blobs().GetLength(), 1024u);
  std::string report;
  EXPECT_TRUE(Blob(2).Blobs().Diagnose(report, true, true, {}));
  EXPECT_EQ(report, "");
}

TEST_F(BlobFieldTest, TextIsItsBytesWithoutTheTerminator) {
  CreateDb();
  MakeTable({{kTypeText, 0}});
  F(1).SetString("Hello, text");
  REC_ID r = mTable->AddRecord();
  Reopen();
  mTable->GoToRecord(r);
  EXPECT_EQ(F(1).GetString(), "Hello, text");
  EXPECT_EQ(F(1).GetString(5), "Hello");
  EXPECT_EQ(Blob(1).GetDataSize(), 11u);
}

TEST_F(BlobFieldTest, APictureFromA24BitBitmapDecodesWithLibjpeg) {
  CreateDb(FBL_ByteOrder::kBigEndian);  // big-endian: the picture words are stored big-endian
  MakeTable({{kTypePicture, 0}});
  const uint32_t w = 20, h = 12;
  size_t rowBytes = zv::BitmapRowBytes(w, 24);
  std::vector<uint8_t> bmp(40 + rowBytes * h, 0);
  uint8_t head[40] = {};
  zorder::StoreU32(head, 40, false);
  zorder::StoreU32(head + 4, w, false);
  zorder::StoreU32(head + 8, h, false);
  zorder::StoreU16(head + 12, 1, false);
  zorder::StoreU16(head + 14, 24, false);
  std::copy(head, head + 40, bmp.begin());
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* p = &bmp[40 + y * rowBytes + 3 * x];
      p[0] = 200, p[1] = uint8_t(10 * x), p[2] = uint8_t(20 * y);
    }
  auto& pic = static_cast<BF_Picture&>(F(1));
  pic.SetBitmap(bmp.data(), bmp.size());
  REC_ID r = mTable->AddRecord();
  Reopen();
  mTable->GoToRecord(r);
  auto& again = static_cast<BF_Picture&>(F(1));
  uint16_t kind = 0;
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(again.GetPicture(kind, jpeg));
  EXPECT_EQ(kind, BF_Picture::kKindJpeg);
  std::vector<uint8_t> raw(8);
  again.Blobs().ReadValue(
      raw.data(), 8,
      [&] {
        uint32_t ref = 0;
        again.GetValue(&ref);
        return ref;
      }(),
      0);
  EXPECT_EQ(zorder::LoadU32(raw.data() + 4, true), jpeg.size());
  jpeg_decompress_struct info;
  jpeg_error_mgr err;
  info.err = jpeg_std_error(&err);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, jpeg.data(), jpeg.size());
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  EXPECT_EQ(info.output_width, w);
  EXPECT_EQ(info.output_height, h);
  std::vector<uint8_t> row(w * 3);
  while (info.output_scanline < h) {
    uint32_t top = info.output_scanline;  // from the top: bitmap row h - 1 - top
    JSAMPROW p = row.data();
    jpeg_read_scanlines(&info, &p, 1);
    for (uint32_t x = 0; x < w; ++x) {
      EXPECT_NEAR(row[3 * x], 20 * int(h - 1 - top), 40);
      EXPECT_NEAR(row[3 * x + 1], 10 * int(x), 40);
      EXPECT_NEAR(row[3 * x + 2], 200, 40);
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  auto back = again.GetBitmap();
  EXPECT_EQ(back.size(), 40 + rowBytes * h);
}

// A BLOB column keeps its BLOB file under kind 7 and its field number, next
// to the record map's kind 7 under sub-index 0 (mode 1 keeps both in one
// volume); renumbering takes the file along; a temporary table's (negative
// id) BLOB files are temporary: kind -7.
TEST_F(BlobFieldTest, TheBlobFileIsKindSevenUnderItsFieldNumber) {
  mDb = std::make_unique<FBL_DataBase>();
  mDb->Create(Path(), 8192, 1, FBL_ByteOrder::kDefault);
  Fields();
  MakeTable(mFields);
  const auto data = Pattern(3000, 5);
  Blob(2).SetData(data.data(), uint32_t(data.size()));
  mTable->AddRecord();
  mTable->Flush();
  ASSERT_EQ(mDb->GetBlobVolume(), mDb->GetRecordVolume());
  // The volume object is made anew when the database reopens.
  auto exists = [&](uint32_t owner, uint16_t kind, uint16_t subIndex) {
    return FBL_EmbededFile(*mDb->GetBlobVolume(), owner, kind, subIndex).Exists();
  };
  EXPECT_TRUE(exists(1, kKindBlob, 2));
  EXPECT_TRUE(exists(1, kKindBlob, 3));
  EXPECT_FALSE(exists(1, kKindSecondFile, 2));
  EXPECT_TRUE(exists(1, kKindRecordMap, 0));
  Reopen();
  ASSERT_EQ(mTable->GetRecordCount(), 1u);
  ASSERT_TRUE(mTable->GoToRecord(1));
  EXPECT_EQ(Blob(2).GetData(), data);

  F(2).ChangeNumber(9);
  EXPECT_TRUE(exists(1, kKindBlob, 9));
  EXPECT_FALSE(exists(1, kKindBlob, 2));
  ASSERT_TRUE(mTable->GoToRecord(1));
  EXPECT_EQ(Blob(2).GetData(), data);

  // A database written while BLOB files lived under kind 9 still reads.
  F(2).ChangeNumber(2);
  mTable.reset();
  {
    FBL_EmbededFile current(*mDb->GetBlobVolume(), 1, kKindBlob, 2);
    FBL_EmbededFile legacy(*mDb->GetBlobVolume(), 1, kKindSecondFile, 2);
    legacy.Create();
    legacy.Open();
    current.Open();
    current.CopyBytesTo(legacy);
    legacy.Flush();
    legacy.Close();
    current.Close();
    current.Remove();
  }
  Reopen();
  ASSERT_TRUE(mTable->GoToRecord(1));
  EXPECT_EQ(Blob(2).GetData(), data);
  EXPECT_FALSE(exists(1, kKindBlob, 2));
  mTable.reset();

  const uint32_t temporaryId = static_cast<uint32_t>(-5);
  FBL_IndexedTable temporary(*mDb, temporaryId);
  temporary.SetIndexFactory(&mFactory);
  auto& blob = static_cast<BF_BLOB&>(temporary.AddField(zv::MakeField(kTypeBLOB, "b", 0)));
  temporary.Open();
  blob.SetData(data.data(), uint32_t(data.size()));
  temporary.AddRecord();
  temporary.Flush();
  EXPECT_TRUE(exists(temporaryId, kKindBlobOfTemporaryTable, 1));
  EXPECT_FALSE(exists(temporaryId, kKindBlob, 1));
}

}  // namespace
