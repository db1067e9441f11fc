#include "cli/path_identity.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <utility>

namespace ferolan::cli {

namespace fs = std::filesystem;

namespace {

struct Identity {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  std::string resolved;
};

Identity identity_of(const std::string& path) {
  Identity id;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
  }
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
  id.resolved = ec ? fs::absolute(path, ec).lexically_normal().string() : p.string();
  return id;
}

bool same(const Identity& a, const Identity& b) {
  return (a.exists && b.exists && a.dev == b.dev && a.ino == b.ino) || a.resolved == b.resolved;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
  return same(identity_of(a), identity_of(b));
}

std::vector<std::string> output_clashes(const std::vector<NamedPath>& inputs,
                                        const std::vector<NamedPath>& outputs) {
  // Indexed both ways, so that ten thousand inputs and their traces are checked in n log n.
  using Seen = std::pair<const NamedPath*, bool>;  // and whether it is an output
  std::map<std::pair<dev_t, ino_t>, Seen> by_inode;
  std::map<std::string, Seen> by_name;
  auto add = [&](const Identity& id, const NamedPath& named, bool output) {
    if (id.exists) by_inode.emplace(std::make_pair(id.dev, id.ino), Seen{&named, output});
    by_name.emplace(id.resolved, Seen{&named, output});
  };
  for (const NamedPath& in : inputs)
    if (!in.path.empty() && in.path != "-") add(identity_of(in.path), in, false);
  std::vector<std::string> clashes;
  for (const NamedPath& out : outputs) {
    if (out.path.empty() || out.path == "-") continue;
    const Identity id = identity_of(out.path);
    std::optional<Seen> earlier;
    if (auto it = by_name.find(id.resolved); it != by_name.end()) earlier = it->second;
    if (auto it = by_inode.find({id.dev, id.ino}); !earlier && id.exists && it != by_inode.end())
      earlier = it->second;
    if (!earlier) {
      add(id, out, true);
      continue;
    }
    const NamedPath& e = *earlier->first;
    std::string what = earlier->second ? "what " + e.role + " writes" : e.role;
    if (e.path != out.path) what += " (" + e.path + ")";
    clashes.push_back(out.path + ": " + out.role + " would overwrite " + what);
  }
  return clashes;
}

}  // namespace ferolan::cli
