#include "cli/pictures.h"

#include <atomic>

namespace ferolan::cli {

namespace {
std::atomic<PngMaker> png_maker{nullptr};
}  // namespace

void set_png_maker(PngMaker maker) {
  png_maker = maker;
}

std::unique_ptr<PngPictures> make_png_pictures() {
  const PngMaker maker = png_maker;
  return maker ? maker() : nullptr;
}

}  // namespace ferolan::cli
