#include "corvid/components/OdbNavGlyphs.h"

#include <QAbstractButton>
#include <QImage>
#include <cstdint>
#include <mutex>
#include <vector>

#include "corvid/persist/Graphics.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

namespace {

struct TRgb {
  std::uint8_t r, g, b;
};

// The colours of the drawings below; '.' is the transparent background.
TRgb ColourOf(char C) {
  switch (C) {
    case '#':
      return {0, 0, 0};
    case 'g':
      return {0, 128, 0};
    case 'G':
      return {40, 200, 40};
    case 'r':
      return {128, 0, 0};
    case 'R':
      return {230, 40, 40};
    case 'B':
      return {170, 210, 255};
    case 'w':
      return {255, 255, 255};
    case 'o':
      return {128, 64, 0};
    case 'y':
      return {255, 230, 0};
    default:
      return {255, 0, 255};  // the transparent colour
  }
}

constexpr TRgb Highlight{255, 255, 255};
constexpr TRgb Shadow{128, 128, 128};

// One glyph: its resource name and the normal image, row by row from the
// top; every row has the image's width.
struct TGlyphDrawing {
  const char* name;
  std::vector<const char*> rows;
};

// 14 x 13: a bar and a triangle pointing left.
const TGlyphDrawing First{"FIRSTBMP",
                          {
                              "..............",
                              "..............",
                              "..##......#...",
                              "..##.....##...",
                              "..##....###...",
                              "..##...####...",
                              "..##..#####...",
                              "..##...####...",
                              "..##....###...",
                              "..##.....##...",
                              "..##......#...",
                              "..............",
                              "..............",
                          }};

// 10 x 13: a triangle pointing left.
const TGlyphDrawing Prior{"PRIORBMP",
                          {
                              "..........",
                              "..........",
                              "......#...",
                              ".....##...",
                              "....###...",
                              "...####...",
                              "..#####...",
                              "...####...",
                              "....###...",
                              ".....##...",
                              "......#...",
                              "..........",
                              "..........",
                          }};

// 10 x 13: a triangle pointing right.
const TGlyphDrawing Next{"NEXTBMP",
                         {
                             "..........",
                             "..........",
                             "...#......",
                             "...##.....",
                             "...###....",
                             "...####...",
                             "...#####..",
                             "...####...",
                             "...###....",
                             "...##.....",
                             "...#......",
                             "..........",
                             "..........",
                         }};

// 14 x 13: a triangle pointing right and a bar.
const TGlyphDrawing Last{"LASTBMP",
                         {
                             "..............",
                             "..............",
                             "...#......##..",
                             "...##.....##..",
                             "...###....##..",
                             "...####...##..",
                             "...#####..##..",
                             "...####...##..",
                             "...###....##..",
                             "...##.....##..",
                             "...#......##..",
                             "..............",
                             "..............",
                         }};

// 16 x 16: a green tick (write the form into the object).
const TGlyphDrawing Update{"UPDATEBMP",
                           {
                               "................",
                               "................",
                               "............#...",
                               "...........#G#..",
                               "..........#GG#..",
                               ".........#GGg#..",
                               "..#.....#GGg#...",
                               ".#G#...#GGg#....",
                               ".#GG#.#GGg#.....",
                               "..#GG#GGg#......",
                               "...#GGGg#.......",
                               "....#Gg#........",
                               ".....##.........",
                               "................",
                               "................",
                               "................",
                           }};

// 16 x 12: a green plus (insert a new object).
const TGlyphDrawing Add{"ADDBMP",
                        {
                            "................",
                            "......####......",
                            "......#GG#......",
                            "......#GG#......",
                            "...####GG####...",
                            "...#GGGGGGGG#...",
                            "...#GGGGGGGg#...",
                            "...####GG####...",
                            "......#GG#......",
                            "......#Gg#......",
                            "......####......",
                            "................",
                        }};

// 16 x 12: a red minus (delete the object).
const TGlyphDrawing Delete{"DELETEBMP",
                           {
                               "................",
                               "................",
                               "................",
                               "................",
                               "...##########...",
                               "...#RRRRRRRR#...",
                               "...#RRRRRRRr#...",
                               "...##########...",
                               "................",
                               "................",
                               "................",
                               "................",
                           }};

// 16 x 16: a magnifying glass (find an object).
const TGlyphDrawing Find{"FINDBMP",
                         {
                             "................",
                             "....####........",
                             "..##wwBB##......",
                             ".#wwBBBBBB#.....",
                             ".#wBBBBBBB#.....",
                             "#BBBBBBBBBB#....",
                             "#BBBBBBBBBB#....",
                             "#BBBBBBBBBB#....",
                             "#BBBBBBBBBB#....",
                             ".#BBBBBBBB#.....",
                             ".#BBBBBBBB##....",
                             "..##BBBB##oo#...",
                             "....####.#ooo#..",
                             "..........#ooo#.",
                             "...........#oo#.",
                             "............##..",
                         }};

// The image as a grid of colours: the drawing on the left; on the right
// its disabled form, the drawn pixels in shadow grey over a white copy
// shifted one pixel right and down (the engraved look of a disabled glyph).
std::vector<std::vector<TRgb>> Compose(const TGlyphDrawing& D) {
  const int h = static_cast<int>(D.rows.size());
  const int w = static_cast<int>(std::char_traits<char>::length(D.rows[0]));
  const TRgb clear = ColourOf('.');
  std::vector<std::vector<TRgb>> px(h, std::vector<TRgb>(2 * w, clear));
  auto drawn = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < w && y < h && D.rows[y][x] != '.';
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (!drawn(x, y)) continue;
      px[y][x] = ColourOf(D.rows[y][x]);
      if (x + 1 < w && y + 1 < h && !drawn(x + 1, y + 1)) px[y + 1][w + x + 1] = Highlight;
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (drawn(x, y)) px[y][w + x] = Shadow;
  return px;
}

void PutLE(std::vector<std::uint8_t>& Out, std::uint32_t V, int Bytes) {
  for (int i = 0; i < Bytes; ++i) Out.push_back(static_cast<std::uint8_t>(V >> (8 * i)));
}

// A 24-bit uncompressed BMP file of the grid: rows bottom-up, each padded
// to a multiple of four bytes.
std::vector<std::uint8_t> EncodeBmp(const std::vector<std::vector<TRgb>>& Px) {
  const std::uint32_t h = static_cast<std::uint32_t>(Px.size());
  const std::uint32_t w = static_cast<std::uint32_t>(Px[0].size());
  const std::uint32_t stride = (w * 3 + 3) & ~3u;
  const std::uint32_t imageSize = stride * h;
  std::vector<std::uint8_t> out;
  out.reserve(54 + imageSize);
  out.push_back('B');
  out.push_back('M');
  PutLE(out, 54 + imageSize, 4);  // file size
  PutLE(out, 0, 4);               // reserved
  PutLE(out, 54, 4);              // offset of the pixels
  PutLE(out, 40, 4);              // size of the info header
  PutLE(out, w, 4);
  PutLE(out, h, 4);
  PutLE(out, 1, 2);   // planes
  PutLE(out, 24, 2);  // bits per pixel
  PutLE(out, 0, 4);   // no compression
  PutLE(out, imageSize, 4);
  PutLE(out, 2835, 4);  // 72 dpi
  PutLE(out, 2835, 4);
  PutLE(out, 0, 4);  // no palette
  PutLE(out, 0, 4);
  for (std::uint32_t y = h; y-- > 0;) {
    for (const TRgb& c : Px[y]) {
      out.push_back(c.b);
      out.push_back(c.g);
      out.push_back(c.r);
    }
    for (std::uint32_t pad = w * 3; pad < stride; ++pad) out.push_back(0);
  }
  return out;
}

// One half of the two-image bitmap with its transparent colour cleared.
QPixmap Half(const QImage& Image, int Index) {
  const int w = Image.width() / 2;
  QImage half = Image.copy(Index * w, 0, w, Image.height()).convertToFormat(QImage::Format_ARGB32);
  const QRgb clear = half.pixel(0, half.height() - 1);
  for (int y = 0; y < half.height(); ++y)
    for (int x = 0; x < half.width(); ++x)
      if (half.pixel(x, y) == clear) half.setPixel(x, y, qRgba(0, 0, 0, 0));
  return QPixmap::fromImage(half);
}

}  // namespace

void RegisterNavigatorGlyphs() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const TGlyphDrawing* d : {&First, &Prior, &Next, &Last, &Update, &Add, &Delete, &Find})
      RegisterBitmapResource(d->name, EncodeBmp(Compose(*d)));
  });
}

QPixmap PixmapFromBitmap(const TBitmap& Bitmap) {
  QPixmap pixmap;
  const std::string_view data = Bitmap.Data();
  pixmap.loadFromData(reinterpret_cast<const uchar*>(data.data()), static_cast<uint>(data.size()));
  return pixmap;
}

TGlyph LoadGlyph(std::string_view ResName) {
  const std::unique_ptr<TBitmap> bitmap = LoadBitmapFromExeRes(ResName);
  if (bitmap == nullptr) return {};
  const QImage image = PixmapFromBitmap(*bitmap).toImage();
  if (image.isNull() || image.width() < 2) return {};
  return {Half(image, 0), Half(image, 1)};
}

QIcon GlyphIcon(const TGlyph& Glyph) {
  QIcon icon;
  if (!Glyph.Normal.isNull()) icon.addPixmap(Glyph.Normal, QIcon::Normal);
  if (!Glyph.Disabled.isNull()) icon.addPixmap(Glyph.Disabled, QIcon::Disabled);
  return icon;
}

void AssignGlyph(QAbstractButton& Button, std::string_view ResName) {
  const TGlyph glyph = LoadGlyph(ResName);
  Button.setIcon(GlyphIcon(glyph));
  if (!glyph.Normal.isNull()) Button.setIconSize(glyph.Normal.size());
}

}  // namespace corvid
