// SHA-256 (FIPS 180-4) of an input, so that a result names exactly the bytes it came from.
#pragma once

#include "cli/layer.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ferolan::cli {

class Sha256 {
 public:
  Sha256();
  void update(std::string_view bytes);
  std::array<uint8_t, 32> finish();

 private:
  void block(const uint8_t* p);
  std::array<uint32_t, 8> h_;
  uint8_t buf_[64];
  size_t used_ = 0;
  uint64_t length_ = 0;
};

// Lower-case hex digest.
std::string sha256_hex(std::string_view bytes);

}  // namespace ferolan::cli
