// The colours of the diagrams, shared by every client that draws them: numbers of the classic
// 16-colour palette and the colour of each form.
#pragma once

#include <cstdint>

namespace ferolan {

// Numbers of the classic 16-colour palette that the diagrams use.
enum PaletteColour : int {
  kBlack = 0,
  kGreen = 2,
  kRed = 4,
  kLightBlue = 9,
  kLightRed = 12,
  kLightMagenta = 13,
};

// The colour of each form (1 = H5A … 6 = A) in every diagram and legend.
constexpr int kFormColour[7] = {kBlack, kBlack, kGreen, kRed, kLightBlue, kLightRed, kLightMagenta};

// 0xRRGGBB of a palette colour (0..15); black outside the palette.
constexpr uint32_t palette_rgb(int colour) {
  constexpr uint32_t kPalette[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                     0x808000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                                     0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
  return colour >= 0 && colour < 16 ? kPalette[colour] : kPalette[0];
}

}  // namespace ferolan
