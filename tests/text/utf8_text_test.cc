#include "tesk_privacy/text/utf8_text.h"

#include <gtest/gtest.h>

#include "text/case_mapping.h"

namespace tesk_privacy {
namespace {

TEST(Utf8Text, RefusesInvalidInputNamingTheByte) {
  struct Case {
    std::string bytes;
    size_t bad_offset;
  };
  const Case cases[] = {
      {"abc\xff", 3},
      {"ab\xc3", 2},                  // truncated two-byte sequence
      {"a\xc0\xaf", 1},               // overlong "/"
      {"xy\xed\xa0\x80", 2},          // encoded surrogate
      {"\xf4\x90\x80\x80", 0},        // above U+10FFFF
      {"ok \xe2\x82", 3},             // truncated at the end
      {std::string("a\0\x80", 3), 2}, // stray continuation byte after NUL
  };
  for (const Case& c : cases) {
    try {
      Utf8Text text(c.bytes);
      ADD_FAILURE() << "accepted invalid UTF-8 at " << c.bad_offset;
    } catch (const InvalidUtf8Error& e) {
      EXPECT_EQ(e.byte_offset(), c.bad_offset);
      EXPECT_NE(std::string(e.what()).find("byte offset " + std::to_string(c.bad_offset)),
                std::string::npos);
    }
  }
}

TEST(Utf8Text, ConvertsBetweenBytesAndCodePoints) {
  Utf8Text text("a€b😀c");  // 1 + 3 + 1 + 4 + 1 bytes
  EXPECT_FALSE(text.is_ascii());
  EXPECT_EQ(text.length(), 5u);
  EXPECT_EQ(text.byte_to_cp(0), 0u);
  EXPECT_EQ(text.byte_to_cp(1), 1u);
  EXPECT_EQ(text.byte_to_cp(4), 2u);
  EXPECT_EQ(text.byte_to_cp(5), 3u);
  EXPECT_EQ(text.byte_to_cp(9), 4u);
  EXPECT_EQ(text.byte_to_cp(10), 5u);
  EXPECT_EQ(text.cp_to_byte(3), 5u);
  EXPECT_EQ(text.cp_to_byte(99), 10u);
  EXPECT_EQ(text.slice(1, 4), "€b😀");
  EXPECT_EQ(text.slice(3, 99), "😀c");
  EXPECT_EQ(text.slice(4, 2), "");

  Utf8Text ascii("plain");
  EXPECT_TRUE(ascii.is_ascii());
  EXPECT_EQ(ascii.slice(1, 3), "la");
  EXPECT_EQ(Utf8Text("").length(), 0u);
}

// Every byte offset of a text long enough to span many index blocks, with
// characters of every width straddling the block edges, against a count of
// the characters that start before the offset.
TEST(Utf8Text, ByteToCpAgreesWithCountingAtEveryOffset) {
  std::string bytes;
  const char* pieces[] = {"a", "é", "€", "😀", "bc", "ü€😀"};
  for (int i = 0; bytes.size() < 700; ++i) bytes += pieces[(i * 7 + i / 3) % 6];
  const Utf8Text text(bytes);
  size_t starts_before = 0;  // characters starting before offset b
  for (size_t b = 0; b <= bytes.size() + 2; ++b) {
    const bool inside = b < bytes.size() && (static_cast<unsigned char>(bytes[b]) & 0xC0) == 0x80;
    const size_t expected = b >= bytes.size() ? text.length() : starts_before - (inside ? 1 : 0);
    ASSERT_EQ(text.byte_to_cp(b), expected) << "byte " << b;
    if (b < bytes.size() && !inside) ++starts_before;
  }
}

// The digit runs of ASCII and non-ASCII texts whose lengths end inside a
// 64-byte block and on its edge, with runs across block edges.
TEST(Utf8Text, DigitRunsHoldDigitsAndNonAsciiBytes) {
  const char* pieces[] = {"0", "9", "/", ":", "a", " ", "é", "٣", "12345"};
  for (size_t size : {0, 1, 63, 64, 65, 127, 128, 200, 256}) {
    for (int shift = 0; shift < 9; ++shift) {
      std::string bytes;
      for (int i = shift; bytes.size() < size; ++i) bytes += pieces[(i * 5 + i / 4) % 9];
      if (shift == 8) bytes = std::string(size, '7');  // one run through every block
      const Utf8Text text(bytes);
      std::vector<Utf8Text::DigitRun> want, want_long;
      for (size_t b = 0; b < bytes.size();) {
        auto in_run = [&](size_t k) {
          const auto c = static_cast<unsigned char>(bytes[k]);
          return c >= 0x80 || (c >= '0' && c <= '9');
        };
        if (!in_run(b)) {
          ++b;
          continue;
        }
        size_t e = b;
        while (e < bytes.size() && in_run(e)) ++e;
        want.push_back({static_cast<uint32_t>(b), static_cast<uint32_t>(e)});
        if (e - b >= Utf8Text::kLongDigitRun) want_long.push_back(want.back());
        b = e;
      }
      EXPECT_EQ(text.digit_runs(), want) << bytes;
      EXPECT_EQ(text.long_digit_runs(), want_long) << bytes;
    }
  }
}

TEST(CaseMapping, LowersLikePython) {
  EXPECT_EQ(to_lower("Nomor KTP"), "nomor ktp");
  EXPECT_EQ(to_lower("ÉCOLE Straße"), "école straße");
  EXPECT_EQ(to_lower("İstanbul"), "i̇stanbul");  // full mapping: i + combining dot
  EXPECT_EQ(to_lower("ΣΑΣ"), "σας");            // final sigma
}

}  // namespace
}  // namespace tesk_privacy
