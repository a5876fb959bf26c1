#include "kernel/storage/blowfish.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/errors.h"

namespace {

std::vector<uint8_t> Hex(const char* text) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; text[i] != '\0'; i += 2) {
    bytes.push_back(uint8_t(std::stoi(std::string(text + i, 2), nullptr, 16)));
  }
  return bytes;
}

FBL_EncryptionKeyRef KeyOf(const std::vector<uint8_t>& bytes) {
  return std::make_shared<const FBL_EncryptionKey>(bytes.data(), bytes.size());
}

struct Vector {
  const char* key;
  const char* plain;
  const char* cipher;
};

}  // namespace

TEST(Blowfish, PublishedTestVectors) {
  const Vector vectors[] = {
      {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
      {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
      {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
      {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
      {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
      {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
  };
  for (const Vector& v : vectors) {
    FBL_BlowfishEncryption enc(KeyOf(Hex(v.key)));
    FBL_BlowfishDecryption dec(KeyOf(Hex(v.key)));
    std::vector<uint8_t> block = Hex(v.plain);
    enc.Process(block.data());
    EXPECT_EQ(block, Hex(v.cipher)) << v.key;
    dec.Process(block.data());
    EXPECT_EQ(block, Hex(v.plain)) << v.key;
  }
  // A text key longer than one block.
  FBL_BlowfishEncryption enc(MakeEncryptionKey("abcdefghijklmnopqrstuvwxyz"));
  std::vector<uint8_t> out(8);
  const char* plain = "BLOWFISH";
  enc.ProcessTo(reinterpret_cast<const uint8_t*>(plain), out.data());
  EXPECT_EQ(out, Hex("324ED0FEF413A203"));
}

TEST(Blowfish, KeysOfAnyLengthAreCycled) {
  // A 1-byte key acts as that byte repeated over all 72 key bytes.
  FBL_BlowfishEncryption one(MakeEncryptionKey("k"));
  FBL_BlowfishEncryption repeated(MakeEncryptionKey(std::string(72, 'k').c_str()));
  FBL_BlowfishEncryption other(MakeEncryptionKey("j"));
  EXPECT_TRUE(one.IsSameKey(repeated));
  EXPECT_FALSE(one.IsSameKey(other));
  FBL_BlowfishDecryption reverse(MakeEncryptionKey("k"));
  EXPECT_FALSE(one.IsSameKey(reverse));  // same key, reversed subkeys
}

TEST(Blowfish, BuffersAreProcessedInWholeBlocksLeavingTheTail) {
  auto key = MakeEncryptionKey("secret");
  FBL_BlowfishEncryption enc(key);
  FBL_BlowfishDecryption dec(key);
  std::mt19937 random(7);
  std::vector<uint8_t> plain(1024 + 5);
  for (auto& b : plain) b = uint8_t(random());
  std::vector<uint8_t> data = plain;
  enc.Process(data.data(), data.size());
  EXPECT_NE(std::vector<uint8_t>(data.begin(), data.begin() + 1024),
            std::vector<uint8_t>(plain.begin(), plain.begin() + 1024));
  EXPECT_TRUE(std::equal(data.end() - 5, data.end(), plain.end() - 5));
  dec.Process(data.data(), data.size());
  EXPECT_EQ(data, plain);
}

TEST(Blowfish, NoKeyMeansNoCipher) {
  EXPECT_EQ(MakeEncryptionKey(""), nullptr);
  EXPECT_EQ(MakeEncryptionKey(nullptr), nullptr);
  EXPECT_THROW(FBL_BlowfishEncryption(nullptr), xFBL_Exception);
}
