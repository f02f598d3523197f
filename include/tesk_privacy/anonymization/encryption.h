// encrypt / decrypt: the reversible replacement of the "encrypt" operator.
//
//   std::string secret = encrypt("Budi Santoso", key);   // key: 16, 24 or 32 bytes
//   decrypt(secret, key) == "Budi Santoso";
//
// The output is base64 (standard alphabet, with padding) of a 16-byte IV
// followed by the AES-CBC ciphertext with PKCS#7 padding; the key length
// picks AES-128, AES-192 or AES-256. The IV is the first 16 bytes of
// HMAC-SHA256(key, plaintext), so under one key a text always encrypts to
// the same value (a mapping of replacements stays consistent: one original,
// one replacement) and different texts to different values. Equal values
// therefore reveal equal originals, which is what a consistent replacement
// means; nothing else about the text is revealed but its length, rounded up
// to 16 bytes.
//
// Because the IV is a keyed digest of the plaintext, decrypt() checks it
// again after decrypting: a wrong key or a changed ciphertext is refused
// instead of returning garbage.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tesk_privacy::anonymization {

// Throws std::invalid_argument unless `key` has 16, 24 or 32 bytes.
std::string encrypt(std::string_view plaintext, const std::string& key);

// The plaintext of a value encrypt() produced under `key`. Throws
// std::invalid_argument for a key of another length, text that is not
// base64 or too short to hold an IV and a block, and a value that does not
// decrypt under this key (wrong key, changed or cut ciphertext).
std::string decrypt(const std::string& ciphertext_base64, const std::string& key);

// Whether `key` has a length AES accepts: 16, 24 or 32 bytes.
bool is_aes_key_length(size_t bytes);

}  // namespace tesk_privacy::anonymization
