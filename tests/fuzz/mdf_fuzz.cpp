// data.mdf: any file either imports with every invariant holding or changes nothing.
#include <cstddef>
#include <cstdint>

#include "import_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ferolan::fuzz::run_one(
      text,
      [](ferolan::Module& m, ferolan::testing::FakePlatform& pf, std::string_view t) {
        pf.files["data.mdf"] = std::string(t);
        return ferolan::load_Click(m);
      },
      ferolan::parse_mdf);
  return 0;
}
