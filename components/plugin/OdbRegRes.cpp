// The palette images of the two components that the design-time package
// puts on the form designer's palette. Each is a 16-colour bitmap of 24 x 24
// pixels, registered as a bitmap resource under the component's class name
// in upper case, where the designer plugin looks it up.
//
// The drawings are kept as text, one letter per pixel, naming a colour of
// the standard 16-colour palette; the bitmap files are built from them when
// the library is loaded. Olive (the bottom-left pixel) is the background,
// which the palette shows as transparent.
#include <array>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "corvid/components/plugin/OdbRegRes.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

namespace {

constexpr int kSize = 24;
using TDrawing = std::array<const char*, kSize>;

// The standard 16-colour palette in index order, with the letter that names
// each colour in a drawing.
constexpr char kLetters[] = "kmgonptsdrlybfaw";
constexpr std::uint8_t kPalette[16][3] = {  // red, green, blue
    {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
    {0, 128, 128}, {192, 192, 192}, {128, 128, 128}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
    {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

// clang-format off
// The navigator bar: first, prior, next and last buttons above the search
// index drop-down.
constexpr TDrawing kFileNavigator = {
    "oooooooooooooooooooooooo",
    "oooooooooooooooooooooooo",
    "wwwwwwwwwwwwwwwwwwwwwwwk",
    "wsssssssssssssssssssssdk",
    "wsksssksssksksssksssksdk",
    "wsksskksskkskksskkssksdk",
    "wskskkkskkkskkkskkksksdk",
    "wskkkkkkkkkskkkkkkkkksdk",
    "wskkkkkkkkkskkkkkkkkksdk",
    "wskskkkskkkskkkskkksksdk",
    "wsksskksskkskksskkssksdk",
    "wsksssksssksksssksssksdk",
    "wddddddddddddddddddddddk",
    "kkkkkkkkkkkkkkkkkkkkkkkk",
    "oooooooooooooooooooooooo",
    "oddddddddddddddddddddddo",
    "odkkkkkkkkkkkkkkkkkkkswo",
    "odkwwwwwwwwwwwwwwwwwdswo",
    "odkwwwwwwwwwwwwwkkkkdswo",
    "odkwnnnnnnnnnwwwskksdswo",
    "odkwwwwwwwwwwwwwssssdswo",
    "odkwwwwwwwwwwwwddddddswo",
    "odsssssssssssssssssssswo",
    "odwwwwwwwwwwwwwwwwwwwwwo",
};

// The open-database dialog: a login window with a name and a password box
// in front of a database drum.
constexpr TDrawing kOpenDatabaseDialog = {
    "wwwwwwwwwwwwwwwwwwwwkooo",
    "wnnnnnnnnnnnnnnsssndkooo",
    "wnnwwwwwnnnnnnnsksndkooo",
    "wnnnnnnnnnnnnnnsssndkooo",
    "wssssssssssssssssssdkooo",
    "wssssssdddddddddddsdkooo",
    "wskkkksdwwwwwwwwwwsdkooo",
    "wssssssdwkkkkkwwwwsdkooo",
    "wssssssdwwwwwwwwwwsdkooo",
    "wssssssssssssssssssdkooo",
    "wssssssdddddddddddsdkooo",
    "wskkkksdwkwkwkwwwwsdkooo",
    "wssssssdwkwkwkwkkkkkkkoo",
    "wssssssdwwwwwwkaaaaaaako",
    "wsssssssssssskwaaaaaaaak",
    "wssssssssssssktkaaaaaktk",
    "wsssssssssssskattkkkttnk",
    "wddddddddddddkatttttttnk",
    "kkkkkkkkkkkkkkatttttttnk",
    "oooooooooooookattkkkttnk",
    "oooooooooooookatttttttnk",
    "oooooooooooookatttttttnk",
    "ooooooooooooookattttttko",
    "oooooooooooooookkkkkkkoo",
};
// clang-format on

std::uint8_t ColourIndex(char Letter) {
  const char* found = std::strchr(kLetters, Letter);
  if (Letter == '\0' || found == nullptr) throw std::logic_error("palette drawing: unknown colour");
  return static_cast<std::uint8_t>(found - kLetters);
}

void PutLE(std::vector<std::uint8_t>& Out, std::uint32_t Value, int Bytes) {
  for (int i = 0; i < Bytes; ++i) Out.push_back(static_cast<std::uint8_t>(Value >> (8 * i)));
}

}  // namespace

std::vector<std::uint8_t> PaletteBitmapFile(const std::array<const char*, 24>& Drawing) {
  // 4 bits a pixel; a row of 24 pixels is 12 bytes, already a multiple of 4.
  constexpr std::uint32_t rowBytes = kSize / 2;
  constexpr std::uint32_t headerBytes = 14 + 40 + 16 * 4;
  constexpr std::uint32_t imageBytes = rowBytes * kSize;
  std::vector<std::uint8_t> out;
  out.reserve(headerBytes + imageBytes);
  // File header.
  out.push_back('B');
  out.push_back('M');
  PutLE(out, headerBytes + imageBytes, 4);
  PutLE(out, 0, 4);
  PutLE(out, headerBytes, 4);
  // Information header: uncompressed, 16 palette entries.
  PutLE(out, 40, 4);
  PutLE(out, kSize, 4);
  PutLE(out, kSize, 4);  // positive height: rows are stored bottom-up
  PutLE(out, 1, 2);
  PutLE(out, 4, 2);
  PutLE(out, 0, 4);
  PutLE(out, imageBytes, 4);
  PutLE(out, 2835, 4);  // 72 dots an inch
  PutLE(out, 2835, 4);
  PutLE(out, 16, 4);
  PutLE(out, 0, 4);
  for (const auto& rgb : kPalette) {
    out.push_back(rgb[2]);
    out.push_back(rgb[1]);
    out.push_back(rgb[0]);
    out.push_back(0);
  }
  for (int y = kSize - 1; y >= 0; --y) {
    const char* row = Drawing[static_cast<std::size_t>(y)];
    if (std::strlen(row) != kSize) throw std::logic_error("palette drawing: row of wrong length");
    for (int x = 0; x < kSize; x += 2)
      out.push_back(static_cast<std::uint8_t>(ColourIndex(row[x]) << 4 | ColourIndex(row[x + 1])));
  }
  return out;
}

namespace {

const bool registered = [] {
  RegisterBitmapResource("TOBJECTFILENAVIGATOR", PaletteBitmapFile(kFileNavigator));
  RegisterBitmapResource("TOPENDATABASEDIALOG", PaletteBitmapFile(kOpenDatabaseDialog));
  return true;
}();

}  // namespace

}  // namespace corvid
