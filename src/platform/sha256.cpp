#include "platform/sha256.h"

#include <openssl/evp.h>

#include <array>
#include <stdexcept>

namespace korv {

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->context = EVP_MD_CTX_new();
  if (!state_->context || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(state_->context);
    throw std::runtime_error("SHA-256 is not available");
  }
}

Sha256::~Sha256() { EVP_MD_CTX_free(state_->context); }

void Sha256::Add(std::span<const std::uint8_t> bytes) {
  if (!bytes.empty()) EVP_DigestUpdate(state_->context, bytes.data(), bytes.size());
}

std::string Sha256::FinishHex() {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(state_->context, digest.data(), &length);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 0xF]);
  }
  return hex;
}

}  // namespace korv
