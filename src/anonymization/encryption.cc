#include "tesk_privacy/anonymization/encryption.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace tesk_privacy::anonymization {
namespace {

constexpr size_t kBlock = 16;  // the AES block, and so the IV
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

using Context = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

const unsigned char* bytes(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

void check_key(const std::string& key) {
  if (!is_aes_key_length(key.size())) {
    throw std::invalid_argument("An encryption key must have 16, 24 or 32 bytes (AES-128, AES-192 or AES-256), not " +
                                std::to_string(key.size()));
  }
}

const EVP_CIPHER* cipher_for(const std::string& key) {
  switch (key.size()) {
    case 16: return EVP_aes_128_cbc();
    case 24: return EVP_aes_192_cbc();
    default: return EVP_aes_256_cbc();
  }
}

std::array<unsigned char, kBlock> derive_iv(std::string_view plaintext, const std::string& key) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), bytes(plaintext), plaintext.size(), digest,
           &length) == nullptr) {
    throw std::runtime_error("Encrypt operator: computing the IV failed");
  }
  std::array<unsigned char, kBlock> iv;
  std::copy(digest, digest + kBlock, iv.begin());
  return iv;
}

// Runs the whole of `input` through AES-CBC; false when the final block's
// padding is wrong (decryption only).
bool run_cipher(bool encrypting, const std::string& key, const unsigned char* iv, std::string_view input,
                std::string& output) {
  Context ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher_for(key), nullptr, bytes(key), iv, encrypting ? 1 : 0) != 1) {
    throw std::runtime_error("Encrypt operator: setting up AES failed");
  }
  output.assign(input.size() + kBlock, '\0');
  auto* out = reinterpret_cast<unsigned char*>(output.data());
  int written = 0, last = 0;
  if (EVP_CipherUpdate(ctx.get(), out, &written, bytes(input), static_cast<int>(input.size())) != 1) {
    throw std::runtime_error("Encrypt operator: AES failed");
  }
  if (EVP_CipherFinal_ex(ctx.get(), out + written, &last) != 1) {
    if (encrypting) throw std::runtime_error("Encrypt operator: AES failed");
    return false;
  }
  output.resize(static_cast<size_t>(written + last));
  return true;
}

std::string to_base64(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t i = 0; i < data.size(); i += 3) {
    const size_t n = std::min<size_t>(3, data.size() - i);
    uint32_t group = 0;
    for (size_t j = 0; j < 3; ++j) group = group << 8 | (j < n ? static_cast<unsigned char>(data[i + j]) : 0u);
    for (size_t j = 0; j < 4; ++j) out += j <= n ? kAlphabet[(group >> (18 - 6 * j)) & 0x3F] : '=';
  }
  return out;
}

// Strict base64: the standard alphabet, padded to whole groups of four, no
// white space, and no stray bits in the last group, so that each byte
// string has exactly one encoding.
std::string from_base64(std::string_view text) {
  auto bad = [] { throw std::invalid_argument("Cannot decrypt: the text is not base64"); };
  if (text.size() % 4 != 0) bad();
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last_group = i + 4 == text.size();
    uint32_t group = 0;
    size_t padding = 0;
    for (size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      uint32_t value = 0;
      if (c == '=') {
        // Only the last one or two characters of the last group.
        if (!last_group || j < 2) bad();
        ++padding;
      } else {
        if (padding > 0) bad();
        const char* at = std::char_traits<char>::find(kAlphabet, 64, c);
        if (at == nullptr) bad();
        value = static_cast<uint32_t>(at - kAlphabet);
      }
      group = group << 6 | value;
    }
    if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) bad();
    for (size_t j = 0; j < 3 - padding; ++j) out += static_cast<char>((group >> (16 - 8 * j)) & 0xFF);
  }
  return out;
}

}  // namespace

bool is_aes_key_length(size_t bytes) { return bytes == 16 || bytes == 24 || bytes == 32; }

std::string encrypt(std::string_view plaintext, const std::string& key) {
  check_key(key);
  const std::array<unsigned char, kBlock> iv = derive_iv(plaintext, key);
  std::string ciphertext;
  run_cipher(true, key, iv.data(), plaintext, ciphertext);
  std::string message(reinterpret_cast<const char*>(iv.data()), iv.size());
  message += ciphertext;
  return to_base64(message);
}

std::string decrypt(const std::string& ciphertext_base64, const std::string& key) {
  check_key(key);
  const std::string message = from_base64(ciphertext_base64);
  if (message.size() < 2 * kBlock || message.size() % kBlock != 0) {
    throw std::invalid_argument("Cannot decrypt: the text is not an IV and whole AES blocks");
  }
  const auto* iv = bytes(message);
  std::string plaintext;
  const bool padded = run_cipher(false, key, iv, std::string_view(message).substr(kBlock), plaintext);
  // The IV is a keyed digest of the plaintext: recomputing it tells a right
  // key and an intact ciphertext from anything else.
  if (!padded || CRYPTO_memcmp(derive_iv(plaintext, key).data(), iv, kBlock) != 0) {
    throw std::invalid_argument("Cannot decrypt: the key is wrong or the text was changed");
  }
  return plaintext;
}

}  // namespace tesk_privacy::anonymization
