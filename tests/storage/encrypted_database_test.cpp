// A database whose files are encrypted under a user key, end to end through
// the cache and the volumes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "kernel/storage/blowfish.h"
#include "kernel/storage/database.h"
#include "kernel/storage/embedded_file.h"
#include "tests/support/kernel_fixture.h"

namespace {

class EncryptedDatabaseTest : public ztest::KernelTest {
 protected:
  std::string Base() const { return mDir.File("secret"); }

  std::string Text() const {
    std::string text;
    for (int i = 0; text.size() < 300000; ++i)
      text += "plain text line " + std::to_string(i) + "\n";
    return text;
  }

  static void Encrypt(FBL_EmbededFile& file, const FBL_EncryptionKeyRef& key) {
    file.SetEncryption(key ? std::make_shared<FBL_BlowfishEncryption>(key) : nullptr, false);
    file.SetEncryption(key ? std::make_shared<FBL_BlowfishDecryption>(key) : nullptr, true);
  }

  void WriteFile(FBL_DataBase& db, const std::string& text, const FBL_EncryptionKeyRef& key) {
    FBL_EmbededFile file(*db.GetRecordVolume(), 5, 200, 1);
    file.Create();
    Encrypt(file, key);
    file.Open();
    file.SetPosition(0);
    file.Write(text.data(), text.size());
    file.Close();
  }

  std::string ReadFile(FBL_DataBase& db, size_t size, const FBL_EncryptionKeyRef& key) {
    FBL_EmbededFile file(*db.GetRecordVolume(), 5, 200, 1);
    Encrypt(file, key);
    file.Open();
    std::string text(size, '\0');
    file.SetPosition(0);
    file.Read(text.data(), size);
    file.Close();
    return text;
  }

  bool VolumeHolds(const std::string& needle) {
    std::ifstream in(Base() + ".dat", std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    return bytes.find(needle) != std::string::npos;
  }
};

}  // namespace

TEST_F(EncryptedDatabaseTest, OnlyTheKeyOpensAndNoPlainTextReachesTheDisk) {
  const auto key = zv::MakeEncryptionKey("A key of the user");
  const std::string text = Text();
  {
    FBL_DataBase db;
    db.Create(Base(), 8192, 4, FBL_ByteOrder::kDefault);
    ASSERT_TRUE(db.ChangeKey(nullptr, key));
    WriteFile(db, text, key);
  }
  EXPECT_FALSE(VolumeHolds("plain text line"));
  FBL_DataBase db;
  EXPECT_EQ(ztest::ErrorCode([&] { db.Open(Base(), nullptr); }), 325);
  EXPECT_EQ(ztest::ErrorCode([&] { db.Open(Base(), zv::MakeEncryptionKey("A key of the use")); }),
            325);
  db.Open(Base(), key);
  EXPECT_EQ(ReadFile(db, text.size(), key), text);
  // The wrong cipher reads garbage, never the text.
  EXPECT_NE(ReadFile(db, text.size(), zv::MakeEncryptionKey("other")), text);
}

TEST_F(EncryptedDatabaseTest, RekeyingKeepsEveryByte) {
  const auto a = zv::MakeEncryptionKey("alpha");
  const auto b = zv::MakeEncryptionKey("bravo");
  const std::string text = Text();
  FBL_DataBase db;
  db.Create(Base(), 8192, 4, FBL_ByteOrder::kDefault);
  ASSERT_TRUE(db.ChangeKey(nullptr, a));
  WriteFile(db, text, a);
  db.Close();

  db.Open(Base(), a);
  {
    FBL_EmbededFile file(*db.GetRecordVolume(), 5, 200, 1);
    Encrypt(file, a);
    FBL_BlowfishDecryption wrong(b);
    EXPECT_FALSE(file.ChangeEncryption(&wrong, nullptr, nullptr));
    FBL_BlowfishDecryption oldCipher(a);
    ASSERT_TRUE(file.ChangeEncryption(&oldCipher, std::make_shared<FBL_BlowfishEncryption>(b),
                                      std::make_shared<FBL_BlowfishDecryption>(b)));
  }
  ASSERT_TRUE(db.ChangeKey(a, b));
  db.Close();
  EXPECT_FALSE(VolumeHolds("plain text line"));

  db.Open(Base(), b);
  EXPECT_EQ(ReadFile(db, text.size(), b), text);
  {
    FBL_EmbededFile file(*db.GetRecordVolume(), 5, 200, 1);
    Encrypt(file, b);
    FBL_BlowfishDecryption oldCipher(b);
    ASSERT_TRUE(file.ChangeEncryption(&oldCipher, nullptr, nullptr));
  }
  ASSERT_TRUE(db.ChangeKey(b, nullptr));
  db.Close();
  EXPECT_TRUE(VolumeHolds("plain text line 4242\n"));
  db.Open(Base(), nullptr);
  EXPECT_EQ(ReadFile(db, text.size(), nullptr), text);
}
