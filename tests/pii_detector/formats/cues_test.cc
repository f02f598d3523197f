#include "pii_detector/formats/cues.h"

#include <gtest/gtest.h>

#include <string>

namespace tesk_privacy::pii_detector::formats {
namespace {

Cue nearest(const std::string& before) { return cues_before(before + "X", before.size()).nearest; }

TEST(FormatCues, LabelBeforeTheValue) {
  struct Case {
    const char* before;
    Cue cue;
  } cases[] = {
      {"NIK ", Cue::kNik},
      {"No. KTP: ", Cue::kNik},
      {"nomor kartu keluarga saya adalah ", Cue::kFamilyCard},  // filler between
      {"Nomor KK ", Cue::kFamilyCard},
      {"kartu kredit ", Cue::kCard},                            // not the family card
      {"no. rek BCA a.n. ", Cue::kBank},
      {"NIK Budi Santoso ", Cue::kNik},                         // a name between
      {"WA ", Cue::kPhone},
      {"Tgl lahir: ", Cue::kDate},
      {"NIK 3171011205900001 dan ", Cue::kNone},                // a number ends the walk
      {"NIK\n\n", Cue::kNone},                                  // two line breaks end it
      {"NIK ini sangat penting untuk kita semua ", Cue::kNone}, // too far
      {"", Cue::kNone},
  };
  for (const Case& c : cases) EXPECT_EQ(nearest(c.before), c.cue) << '"' << c.before << '"';
}

TEST(FormatCues, GluedLabel) {
  const std::string text = "NIK3171011205900001 SKU3171011205900001";
  CueScan nik = cues_before(text, 3);
  EXPECT_TRUE(nik.glued && nik.glued_is_cue);
  CueScan sku = cues_before(text, 23);
  EXPECT_TRUE(sku.glued);
  EXPECT_FALSE(sku.glued_is_cue);
}

TEST(FormatCues, LabelAfterTheValue) {
  EXPECT_TRUE(cues_after(" (paspor) berlaku", 0) & cue_bit(Cue::kPassport));
  EXPECT_EQ(cues_after(" 2030 paspor", 0), 0u);  // stops at a number
}

}  // namespace
}  // namespace tesk_privacy::pii_detector::formats
