#include "pii_detector/store/mapping_cipher.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>
#include <stdexcept>

namespace tesk_privacy::pii_detector {
namespace {

constexpr std::string_view kMagic = "TESKMAP1";
constexpr size_t kNonce = 12, kTag = 16;

using Context = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

Context new_context() {
  Context ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
  if (!ctx) throw std::runtime_error("cannot set up encryption");
  return ctx;
}

const unsigned char* bytes(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

}  // namespace

bool is_sealed_mapping(std::string_view data) { return data.substr(0, kMagic.size()) == kMagic; }

std::string seal_mapping(std::string_view plain, const std::string& key) {
  if (key.size() != 32) throw std::invalid_argument("a mapping key has 32 bytes");
  std::string out(kMagic);
  unsigned char nonce[kNonce];
  if (RAND_bytes(nonce, kNonce) != 1) throw std::runtime_error("cannot draw a random nonce");
  out.append(reinterpret_cast<const char*>(nonce), kNonce);
  Context ctx = new_context();
  int n = 0;
  std::string body(plain.size() + 16, '\0');
  auto* b = reinterpret_cast<unsigned char*>(body.data());
  if (EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonce, nullptr) != 1 ||
      EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, bytes(key), nonce) != 1 ||
      EVP_EncryptUpdate(ctx.get(), nullptr, &n, bytes(kMagic), static_cast<int>(kMagic.size())) != 1 ||
      EVP_EncryptUpdate(ctx.get(), b, &n, bytes(plain), static_cast<int>(plain.size())) != 1) {
    throw std::runtime_error("cannot encrypt the mapping");
  }
  int total = n;
  unsigned char tag[kTag];
  if (EVP_EncryptFinal_ex(ctx.get(), b + total, &n) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTag, tag) != 1) {
    throw std::runtime_error("cannot encrypt the mapping");
  }
  total += n;
  out.append(body.data(), static_cast<size_t>(total));
  out.append(reinterpret_cast<const char*>(tag), kTag);
  return out;
}

std::string open_sealed_mapping(std::string_view sealed, const std::string& key) {
  if (key.size() != 32) throw std::invalid_argument("a mapping key has 32 bytes");
  if (!is_sealed_mapping(sealed) || sealed.size() < kMagic.size() + kNonce + kTag) {
    throw std::invalid_argument("not an encrypted mapping, or cut short");
  }
  const std::string_view nonce = sealed.substr(kMagic.size(), kNonce);
  const std::string_view body = sealed.substr(kMagic.size() + kNonce, sealed.size() - kMagic.size() - kNonce - kTag);
  std::string tag(sealed.substr(sealed.size() - kTag));
  Context ctx = new_context();
  std::string plain(body.size() + 16, '\0');
  auto* p = reinterpret_cast<unsigned char*>(plain.data());
  int n = 0;
  if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, kNonce, nullptr) != 1 ||
      EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, bytes(key), bytes(nonce)) != 1 ||
      EVP_DecryptUpdate(ctx.get(), nullptr, &n, bytes(kMagic), static_cast<int>(kMagic.size())) != 1 ||
      EVP_DecryptUpdate(ctx.get(), p, &n, bytes(body), static_cast<int>(body.size())) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTag, tag.data()) != 1) {
    throw std::invalid_argument("cannot decrypt the mapping");
  }
  int total = n;
  if (EVP_DecryptFinal_ex(ctx.get(), p + total, &n) != 1) {
    throw std::invalid_argument("the key is wrong or the file was changed");
  }
  plain.resize(static_cast<size_t>(total + n));
  return plain;
}

}  // namespace tesk_privacy::pii_detector
