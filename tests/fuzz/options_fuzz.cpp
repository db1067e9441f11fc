// The batch tool's options: any argument list is either refused with a reason or gives
// options within the ranges the rest of the tool relies on.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Arguments are separated by zero bytes, as they reach main.
  std::vector<std::string> args{"ferolan-cli"};
  std::string cur;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(cur);
      cur.clear();
    } else {
      cur += static_cast<char>(data[i]);
    }
  }
  if (!cur.empty() || size == 0) args.push_back(cur);
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());

  using namespace ferolan::cli;
  Options o;
  std::string error;
  const bool ok = parse_options(static_cast<int>(argv.size()), argv.data(), o, error);
  if (!ok) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(o.help || o.version || o.inputs.empty() != o.manifest.empty());
  FUZZ_CHECK(o.level >= 1 && o.level <= 3);
  FUZZ_CHECK(o.path_len == 1 || o.path_len == 2 || o.path_len == 3 || o.path_len == 5);
  FUZZ_CHECK(o.pk.size() <= 5);
  for (int k : o.hold) FUZZ_CHECK(k >= 1 && k <= 5);
  for (int k : o.zero) FUZZ_CHECK(k >= 1 && k <= 5);
  for (int s : o.exclude) FUZZ_CHECK(s >= 1 && s <= 50);
  for (const SlotRange& r : o.ranges) FUZZ_CHECK(r.slot >= 1 && r.slot <= 5);
  if (o.noise) FUZZ_CHECK(std::isfinite(*o.noise) && *o.noise > 0);
  if (o.ionic_strength) FUZZ_CHECK(*o.ionic_strength >= 0 && *o.ionic_strength <= 1);
  // The same list parsed again gives the same outcome.
  Options o2;
  std::string error2;
  FUZZ_CHECK(parse_options(static_cast<int>(argv.size()), argv.data(), o2, error2));
  FUZZ_CHECK(o2.inputs == o.inputs && o2.manifest == o.manifest && o2.pk == o.pk &&
             o2.hold == o.hold && o2.zero == o.zero);
  return 0;
}
