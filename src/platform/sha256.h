// SHA-256 of a stream of bytes fed in pieces, as forensic imagers print it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace korv {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Add(std::span<const std::uint8_t> bytes);
  // The digest as 64 lower-case hexadecimal digits; the stream ends here.
  std::string FinishHex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace korv
