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
  FBL_BlowfishEncryption enc(zv::MakeEncryptionKey("abcdefghijklmnopqrstuvwxyz"));
  std::vector<uint8_t> out(8);
  const char* plain = "BLOWFISH";
  enc.ProcessTo(reinterpret_cast<const uint8_t*>(plain), out.data());
  EXPECT_EQ(out, Hex("324ED0FEF413A203"));
}

// The published variable-key set: the first n bytes of one long key, n = 1..24.
TEST(Blowfish, PublishedVariableKeyVectors) {
  const std::vector<uint8_t> longKey = Hex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
  const char* expected[24] = {
      "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
      "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
      "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
      "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
      "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
      "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080"};
  for (size_t n = 1; n <= 24; ++n) {
    FBL_BlowfishEncryption enc(KeyOf(std::vector<uint8_t>(longKey.begin(), longKey.begin() + n)));
    std::vector<uint8_t> block = Hex("FEDCBA9876543210");
    enc.Process(block.data());
    EXPECT_EQ(block, Hex(expected[n - 1])) << n;
  }
}

TEST(Blowfish, KeysOfAnyLengthAreCycled) {
  // A 1-byte key acts as that byte repeated over all 72 key bytes.
  FBL_BlowfishEncryption one(zv::MakeEncryptionKey("k"));
  FBL_BlowfishEncryption repeated(zv::MakeEncryptionKey(std::string(72, 'k').c_str()));
  FBL_BlowfishEncryption other(zv::MakeEncryptionKey("j"));
  EXPECT_TRUE(one.IsSameKey(repeated));
  EXPECT_FALSE(one.IsSameKey(other));
  FBL_BlowfishDecryption reverse(zv::MakeEncryptionKey("k"));
  EXPECT_FALSE(one.IsSameKey(reverse));  // same key, reversed subkeys
}

TEST(Blowfish, BuffersAreProcessedInWholeBlocksLeavingTheTail) {
  auto key = zv::MakeEncryptionKey("secret");
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

// Large buffers are split between two threads; every block must still come
// out as the one-block transform makes it, with the odd tail untouched.
TEST(Blowfish, LargeBuffersMatchBlockByBlockTransform) {
  auto key = zv::MakeEncryptionKey("secret");
  FBL_BlowfishEncryption enc(key);
  std::mt19937 random(11);
  for (size_t size : {size_t{256 * 1024}, size_t{1 << 20} + 3 * 1024 + 5}) {
    std::vector<uint8_t> plain(size);
    for (auto& b : plain) b = uint8_t(random());
    std::vector<uint8_t> whole = plain, single = plain;
    enc.Process(whole.data(), whole.size());
    for (size_t i = 0; i + 8 <= size; i += 8) enc.Process(single.data() + i);
    EXPECT_EQ(whole, single) << size;
  }
}

TEST(Blowfish, NoKeyMeansNoCipher) {
  EXPECT_EQ(zv::MakeEncryptionKey(""), nullptr);
  EXPECT_EQ(zv::MakeEncryptionKey(nullptr), nullptr);
  EXPECT_THROW(FBL_BlowfishEncryption(nullptr), xFBL_Exception);
}
