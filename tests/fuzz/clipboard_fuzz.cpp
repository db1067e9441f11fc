// The pasted table: any text either imports with every invariant holding or changes nothing.
#include <cstddef>
#include <cstdint>

#include "import_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ferolan::fuzz::run_one(
      text,
      [](ferolan::Module& m, ferolan::testing::FakePlatform& pf, std::string_view t) {
        pf.clipboard = std::string(t);
        return ferolan::Command5_Click(m);
      },
      ferolan::parse_clipboard_table);
  return 0;
}
