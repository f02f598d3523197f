// Cues: the words people write before a number or a date to say what it is
// ("NIK", "no. rek BCA", "tgl lahir"), looked up in the few words before a
// candidate.
//
//   CueScan scan = cues_before(text, byte_offset);
//   if (scan.nearest == Cue::kFamilyCard) ...
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tesk_privacy::pii_detector::formats {

enum class Cue : uint8_t {
  kNone,
  kNik,
  kFamilyCard,
  kNpwp,
  kBpjs,
  kDrivingLicence,
  kPassport,
  kCard,
  kBank,
  kPhone,
  kPlate,
  kDate,
  kAddress,
  kMoney,
};

constexpr uint32_t cue_bit(Cue c) { return 1u << static_cast<unsigned>(c); }

struct CueScan {
  Cue nearest = Cue::kNone;  // the cue closest to the candidate
  uint32_t all = 0;          // every cue seen in the window, as cue_bit()s
  bool glued = false;        // a letter directly before the candidate ("NIK3171...")
  bool glued_is_cue = false; // ... and that word is a cue
  bool has(Cue c) const { return (all & cue_bit(c)) != 0; }
};

// Walks back from byte `pos` over at most eight words: filler ("no",
// "nomor", "saya", "a.n.") is skipped, up to three other words that are not
// cues are passed, and the walk stops at a digit (a number before belongs
// to its own cue) and at a second line break.
CueScan cues_before(std::string_view text, size_t pos);

// Whether a word (any case) is a label such as "NIK", "WA", "Rek", "BCA" or
// filler such as "ya", "kak", "a.n.".
bool is_label_or_filler(std::string_view word);

// The cues among the (up to four) words right after byte `pos`, for labels
// written after the value ("A1234567 (paspor)").
uint32_t cues_after(std::string_view text, size_t pos);

}  // namespace tesk_privacy::pii_detector::formats
