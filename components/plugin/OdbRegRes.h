// The palette images of the design-time package, registered as bitmap
// resources TOBJECTFILENAVIGATOR and TOPENDATABASEDIALOG (LoadBitmapFromExeRes
// in util/OdbMisc.h) when the library is loaded.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace corvid {

// Builds an uncompressed 16-colour bitmap file of 24 x 24 pixels from a
// drawing of 24 rows of 24 letters, one letter per pixel, each naming a
// colour of the standard palette: k black, m maroon, g green, o olive,
// n navy, p purple, t teal, s silver, d grey, r red, l lime, y yellow,
// b blue, f fuchsia, a aqua, w white. Throws std::logic_error on a row of
// another length or an unknown letter.
std::vector<std::uint8_t> PaletteBitmapFile(const std::array<const char*, 24>& Drawing);

}  // namespace corvid
