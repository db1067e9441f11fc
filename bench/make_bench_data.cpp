// Writes the data set of bench/window_vs_batch.sh.
// Usage: make_bench_data [FILE]   (default data.mdf)
#include <cstdio>
#include <memory>

#include "bench_data.h"

int main(int argc, char** argv) {
  using namespace ferolan;
  const char* path = argc > 1 ? argv[1] : "data.mdf";
  const auto d = std::make_unique<DataSet>(testing::make_acid_data(bench::five_constant_recipe()));
  const std::string text = bench::mdf_text(*d);
  std::FILE* f = std::fopen(path, "wb");
  if (!f) {
    std::perror(path);
    return 1;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok ? 0 : 1;
}
