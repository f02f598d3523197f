#include "tesk_privacy/anonymization/encryption.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace tesk_privacy::anonymization {
namespace {

using ::testing::HasSubstr;

const std::string kKey128 = "0123456789abcdef";
const std::string kKey192 = "0123456789abcdef01234567";
const std::string kKey256 = "0123456789abcdef0123456789abcdef";

// Values made with the openssl command line: the IV as
//   openssl dgst -sha256 -mac HMAC -macopt hexkey:KEY
// cut to 16 bytes, then openssl enc -aes-N-cbc -K KEY -iv IV, the two
// concatenated and base64-encoded.
TEST(EncryptionTest, MatchesValuesMadeWithOpenSslCommandLine) {
  struct Case {
    std::string key;
    std::string plaintext;
    std::string ciphertext;
  };
  const std::vector<Case> cases = {
      {kKey128, "café", "TSjC0ZHh7joWB8/QKpZl8kMDnW04ZtmnPeDI664TjGg="},
      {kKey192, "Budi Santoso", "+aGJeb291eDj9GCdRJCzy5zuCoAI1zonTKvrWBw14i8="},
      {kKey256, "3171011205900001", "UPVUu3GbqgzzdKyE7RGL3epYAiaI8PZnwU2vy72RyQMx8q4pTSDw0AZt+dcZLtfH"},
      {kKey128, "", "SW3JP6LSbq5QDsC8N6EicBg1lJb4bY+uHHb1Egps6Hw="},
      // A whole block of text gets a whole block of padding.
      {kKey128, "exactly16bytes!!", "1X0UcVhpz6bRqjbuLqZFZzVRjDpEDIgQ2dYIn42GdNPnl1Fe3fSiQLza8PKOfylf"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encrypt(c.plaintext, c.key), c.ciphertext) << c.plaintext;
    EXPECT_EQ(decrypt(c.ciphertext, c.key), c.plaintext) << c.plaintext;
  }
}

TEST(EncryptionTest, RoundTripsUnderEveryKeySize) {
  const std::vector<std::string> texts = {
      "a", "Budi Santoso", "budi.santoso@gmail.com", "Jl. Merdeka No. 5, Bandung — ñ 😀 中文",
      std::string(1000, 'x'), std::string("nul\0inside", 10),
  };
  for (const std::string& key : {kKey128, kKey192, kKey256}) {
    for (const std::string& text : texts) {
      const std::string secret = encrypt(text, key);
      EXPECT_EQ(decrypt(secret, key), text) << key.size() << " " << text;
      EXPECT_EQ(secret.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                std::string::npos);
    }
  }
}

TEST(EncryptionTest, SameTextSameValueOtherTextOrKeyOtherValue) {
  EXPECT_EQ(encrypt("Budi", kKey128), encrypt("Budi", kKey128));
  EXPECT_NE(encrypt("Budi", kKey128), encrypt("Budi ", kKey128));
  EXPECT_NE(encrypt("Budi", kKey128), encrypt("budi", kKey128));
  EXPECT_NE(encrypt("Budi", kKey128), encrypt("Budi", "fedcba9876543210"));
  // Texts that share their first block still differ from the IV on.
  const std::string a = encrypt("0123456789abcdefXX", kKey128);
  const std::string b = encrypt("0123456789abcdefYY", kKey128);
  EXPECT_NE(a.substr(0, 22), b.substr(0, 22));
}

TEST(EncryptionTest, RefusesKeysOfOtherLengths) {
  for (size_t length : {0, 1, 15, 17, 23, 25, 31, 33, 64}) {
    const std::string key(length, 'k');
    try {
      encrypt("Budi", key);
      ADD_FAILURE() << "encrypt accepted a key of " << length << " bytes";
    } catch (const std::invalid_argument& e) {
      EXPECT_THAT(e.what(), HasSubstr("16, 24 or 32 bytes"));
      EXPECT_THAT(e.what(), HasSubstr("not " + std::to_string(length)));
    }
    EXPECT_THROW(decrypt(encrypt("Budi", kKey128), key), std::invalid_argument) << length;
  }
  // Bytes, not characters: 8 two-byte characters make a 16-byte key.
  EXPECT_EQ(decrypt(encrypt("Budi", "éééééééé"), "éééééééé"), "Budi");
}

TEST(EncryptionTest, RefusesValuesThatDoNotDecrypt) {
  const std::string secret = encrypt("Budi Santoso", kKey128);
  auto changed = [&](size_t at) {
    std::string s = secret;
    s[at] = s[at] == 'A' ? 'B' : 'A';
    return s;
  };
  struct Case {
    std::string what;
    std::string value;
    std::string key;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"wrong key", secret, "fedcba9876543210", "key is wrong or the text was changed"},
      {"wrong key of another size", secret, kKey256, "key is wrong or the text was changed"},
      {"changed IV", changed(3), kKey128, "key is wrong or the text was changed"},
      {"changed ciphertext", changed(30), kKey128, "key is wrong or the text was changed"},
      {"empty", "", kKey128, "not an IV and whole AES blocks"},
      {"IV only", secret.substr(0, 24), kKey128, "not an IV and whole AES blocks"},
      {"cut mid-block", secret.substr(0, 40), kKey128, "not an IV and whole AES blocks"},
      {"not a multiple of four", secret.substr(0, secret.size() - 1), kKey128, "not base64"},
      {"outside the alphabet", "TSjC0ZHh7joWB8/QKpZl8kMDnW04ZtmnPeDI664TjG-=", kKey128, "not base64"},
      {"white space", "TSjC0ZHh7joWB8/QKpZl8kMDnW04 ZtmnPeDI664TjGg=", kKey128, "not base64"},
      {"padding inside", "TSjC0ZHh7joWB8/Q=pZl8kMDnW04ZtmnPeDI664TjGg=", kKey128, "not base64"},
      {"stray bits before padding", "TSjC0ZHh7joWB8/QKpZl8kMDnW04ZtmnPeDI664TjGh=", kKey128, "not base64"},
  };
  for (const Case& c : cases) {
    try {
      decrypt(c.value, c.key);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.what;
    }
  }
}

}  // namespace
}  // namespace tesk_privacy::anonymization
