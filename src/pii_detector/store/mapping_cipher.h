// Encryption of mapping files at rest: AES-256-GCM (OpenSSL) with a random
// 96-bit nonce per write. A sealed file is the magic "TESKMAP1", the nonce,
// the ciphertext and the 16-byte tag; the magic is authenticated too, so a
// changed byte anywhere is found.
#pragma once

#include <string>
#include <string_view>

namespace tesk_privacy::pii_detector {

bool is_sealed_mapping(std::string_view data);
// `key` holds 32 bytes.
std::string seal_mapping(std::string_view plain, const std::string& key);
// Throws std::invalid_argument when the key is wrong or the data changed.
std::string open_sealed_mapping(std::string_view sealed, const std::string& key);

}  // namespace tesk_privacy::pii_detector
