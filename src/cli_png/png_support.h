// The batch tool's PNG pictures on Qt, for the program that links this optional module:
// while a PngSupport lives, the batch tool writes the PNG pictures beside the SVG ones.
#pragma once

#include "cli_png/layer.h"

#include <memory>

namespace ferolan::cli {

class PngSupport {
 public:
  // Without `needed` (no pictures asked for) nothing of Qt is started.
  PngSupport(bool needed, int& argc, char** argv);
  ~PngSupport();
  PngSupport(const PngSupport&) = delete;
  PngSupport& operator=(const PngSupport&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace ferolan::cli
