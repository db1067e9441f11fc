// Thousands of random and mutated tables and files: an import either succeeds with every
// invariant holding, or fails and leaves the module exactly as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>

#include "engine/import/import.h"
#include "support/data_fixture.h"
#include "window/ui/import_buttons.h"

namespace ferolan::testing {
namespace {

struct Table {
  int ns = 0, nw = 0;
  std::vector<std::string> ph, wl;
  std::vector<std::vector<std::string>> a;  // a[point][spectrum]
  std::string conc;
};

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}
  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool chance(int percent) { return pick(1, 100) <= percent; }

  std::string decimal(double lo, double hi, int digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, std::uniform_real_distribution<>(lo, hi)(rng_));
    return buf;
  }

  Table table() {
    Table t;
    t.ns = chance(3) ? 50 : pick(1, 7);
    t.nw = chance(3) ? pick(100, 300) : pick(1, 12);
    const char* concs[] = {"0", "0.001", "1e-5", "2.5", "6.5E-05"};
    t.conc = concs[pick(0, 4)];
    for (int s = 0; s < t.ns; ++s) t.ph.push_back(decimal(0, 14, pick(0, 2)));
    for (int w = 0; w < t.nw; ++w) {
      t.wl.push_back(std::to_string(pick(190, 1100)));
      t.a.emplace_back();
      for (int s = 0; s < t.ns; ++s) t.a.back().push_back(decimal(-0.2, 2.5, pick(0, 4)));
    }
    return t;
  }

  std::string clipboard(Table& t) {
    const bool commas = chance(50), spaces = chance(30), cr_only = chance(30);
    auto num = [&](std::string s) {
      if (commas) std::replace(s.begin(), s.end(), '.', ',');
      return s;
    };
    auto sep = [&] { return spaces ? std::string(pick(1, 3), ' ') : std::string("\t"); };
    const std::string eol = cr_only ? "\r" : "\r\n";
    // An empty corner cell exists only between tabs: leading spaces are skipped.
    if (!spaces && chance(10)) t.conc = "";
    std::string text = num(t.conc);
    for (const auto& p : t.ph) text += sep() + num(p);
    text += eol;
    for (int w = 0; w < t.nw; ++w) {
      text += num(t.wl[w]);
      for (const auto& v : t.a[w]) text += sep() + num(v);
      if (chance(10)) text += "\t";
      text += eol;
    }
    if (chance(20)) text += eol + "\t" + eol;
    return text;
  }

  std::string mdf(const Table& t) {
    const char* seps[] = {" ", ",", "\n", ", ", "\t", "\r\n", "  "};
    const int style = pick(0, 6);
    auto sep = [&] { return std::string(seps[chance(80) ? style : pick(0, 6)]); };
    std::string text = t.conc;
    for (const auto& p : t.ph) text += sep() + p;
    for (int w = 0; w < t.nw; ++w) {
      text += sep() + t.wl[w];
      for (const auto& v : t.a[w]) text += sep() + v;
    }
    if (chance(30)) text += "\r\n";
    if (chance(10)) text += "\r\n \r\n";
    return text;
  }

  std::string mutate(std::string text) {
    static const char* tokens[] = {"1e999", "-1e39",  "40000", "\t\t\t", "nan",     "abc",
                                   ",",     "\r",     "\n",    " ",      "e",       "-",
                                   ".",     "-32769", "21",    "0",      "\r\n\r\n"};
    const std::string alphabet = "0123456789.,-+eE \t\r\nx";
    const int edits = pick(1, 4);
    for (int k = 0; k < edits; ++k) {
      const size_t at = text.empty() ? 0 : pick(0, static_cast<int>(text.size()) - 1);
      switch (pick(0, 5)) {
        case 0:
          text.erase(at, pick(1, 8));
          break;
        case 1:
          text.insert(at, 1, alphabet[pick(0, static_cast<int>(alphabet.size()) - 1)]);
          break;
        case 2:
          if (!text.empty()) text[at] = alphabet[pick(0, static_cast<int>(alphabet.size()) - 1)];
          break;
        case 3:
          text.insert(at, tokens[pick(0, 16)]);
          break;
        case 4:
          text.resize(at);
          break;
        case 5:
          text.insert(at, text.substr(at, pick(1, 40)));
          break;
      }
    }
    return text;
  }

 private:
  std::mt19937 rng_;
};

float single(const std::string& s) {
  std::string t = s;
  std::replace(t.begin(), t.end(), ',', '.');
  return static_cast<float>(std::strtod(t.c_str(), nullptr));
}

// The data set a valid table must give: a stable sort by pH, then the maximum.
void expect_table(const DataSet& d, const Table& t) {
  ASSERT_EQ(t.ns, d.n_spectra);
  ASSERT_EQ(t.nw, d.n_wavelengths);
  std::vector<int> order(t.ns);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](int x, int y) { return single(t.ph[x]) < single(t.ph[y]); });
  for (int s = 1; s <= t.ns; ++s) ASSERT_EQ(single(t.ph[order[s - 1]]), d.ph_values[s]);
  for (int w = 1; w <= t.nw; ++w) {
    ASSERT_EQ(std::stoi(t.wl[w - 1]), d.wavelengths[w]);
    for (int s = 1; s <= t.ns; ++s) ASSERT_EQ(single(t.a[w - 1][order[s - 1]]), d.absorbance[w][s]);
  }
  const float conc = single(t.conc);
  EXPECT_EQ(conc == 0 ? 10.0f : conc, d.acid_conc);
}

struct Tally {
  int ok = 0, refused = 0;
};

// One import on the module as the earlier ones left it.
void import_once(TestModule& t, bool file, const std::string& text, const Table* valid,
                 Tally& tally) {
  const Snapshot before(t);
  bool done;
  if (file) {
    t.pf.files["data.mdf"] = text;
    done = load_Click(*t);
  } else {
    t.pf.clipboard = text;
    done = Command5_Click(*t);
  }
  if (valid) {
    ASSERT_TRUE(done) << t->ui.Label9.text;
  }
  if (done) {
    ++tally.ok;
    expect_import_invariants(t, file ? 0 : 1);
    if (valid) {
      expect_table(t->state.data, *valid);
    }
  } else {
    ++tally.refused;
    before.expect_unchanged(t);
    EXPECT_TRUE(t->ui.Label9.text.starts_with("Помилка імпорту: "));
  }
}

void run(bool file, unsigned seed, int rounds) {
  Generator g(seed);
  TestModule t;
  Tally tally;
  for (int i = 0; i < rounds && !::testing::Test::HasFailure(); ++i) {
    Table table = g.table();
    const std::string text = file ? g.mdf(table) : g.clipboard(table);
    const bool mutated = g.chance(75);
    const std::string used = mutated ? g.mutate(text) : text;
    SCOPED_TRACE("round " + std::to_string(i) + ": [" + used.substr(0, 300) + "]");
    import_once(t, file, used, mutated ? nullptr : &table, tally);
  }
  // Both outcomes must have been exercised, or the generator is broken.
  EXPECT_GT(tally.ok, rounds / 4);
  EXPECT_GT(tally.refused, rounds / 20);
}

TEST(ImportRobustness, ClipboardTables) {
  run(false, 1234u, 2500);
}
TEST(ImportRobustness, MdfFiles) {
  run(true, 4321u, 2500);
}

TEST(ImportRobustness, RandomBytes) {
  Generator g(99u);
  TestModule t;
  Tally tally;
  for (int i = 0; i < 1000 && !::testing::Test::HasFailure(); ++i) {
    std::string text(g.pick(0, 200), '\0');
    for (char& c : text) c = static_cast<char>(g.pick(0, 255));
    import_once(t, i % 2 == 1, text, nullptr, tally);
  }
}

}  // namespace
}  // namespace ferolan::testing
