// Entity types of the Indonesian format recognizers, beyond the 36 of
// Entities. They are reported only by an analyzer built with
// TextAnalyzerOptions::indonesian_formats (the command-line tool's default).
//
//   for (const char* type : FORMAT_ENTITIES) std::cout << type << "\n";
#pragma once

#include <array>

namespace tesk_privacy::pii_detector {

namespace FormatEntities {
// A street address as one span: street, house number, RT/RW, village,
// district, regency or city, province, postcode.
inline constexpr const char* ADDRESS = "ADDRESS";
// A vehicle registration plate ("B 1234 XYZ").
inline constexpr const char* VEHICLE_PLATE = "VEHICLE_PLATE";
// An Indonesian passport number ("A1234567").
inline constexpr const char* ID_PASSPORT = "ID_PASSPORT";
// An Indonesian driving-licence (SIM) number.
inline constexpr const char* ID_SIM = "ID_SIM";
}  // namespace FormatEntities

inline constexpr std::array<const char*, 4> FORMAT_ENTITIES = {
    FormatEntities::ADDRESS, FormatEntities::VEHICLE_PLATE, FormatEntities::ID_PASSPORT, FormatEntities::ID_SIM};

}  // namespace tesk_privacy::pii_detector
