// The palette images: registered under the upper-case class names, as
// 24 x 24 bitmaps of 16 colours that show a drawing.
#include <gtest/gtest.h>

#include <QImage>
#include <QSet>
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "corvid/components/plugin/OdbRegRes.h"
#include "corvid/persist/Graphics.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {
namespace {

std::uint32_t LE(std::string_view Data, std::size_t At, int Bytes) {
  std::uint32_t v = 0;
  for (int i = Bytes - 1; i >= 0; --i)
    v = v << 8 | static_cast<std::uint8_t>(Data[At + static_cast<std::size_t>(i)]);
  return v;
}

TEST(OdbRegPalette, BitmapsAre24By24In16ColoursAndShowADrawing) {
  for (const char* name : {"TOBJECTFILENAVIGATOR", "TOPENDATABASEDIALOG"}) {
    SCOPED_TRACE(name);
    const std::unique_ptr<TBitmap> bitmap = LoadBitmapFromExeRes(name);
    ASSERT_NE(bitmap, nullptr);
    const std::string_view data = bitmap->Data();
    ASSERT_GE(data.size(), 54u);
    EXPECT_EQ(data.substr(0, 2), "BM");
    EXPECT_EQ(LE(data, 2, 4), data.size());
    EXPECT_EQ(LE(data, 18, 4), 24u);  // width
    EXPECT_EQ(LE(data, 22, 4), 24u);  // height
    EXPECT_EQ(LE(data, 28, 2), 4u);   // bits a pixel
    EXPECT_EQ(LE(data, 46, 4), 16u);  // palette entries

    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(data.data()),
                                          static_cast<int>(data.size()), "BMP");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(24, 24));
    QSet<QRgb> colours;
    int background = 0;
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x) {
        colours.insert(image.pixel(x, y));
        if (image.pixel(x, y) == image.pixel(0, 23)) ++background;
      }
    EXPECT_GE(colours.size(), 5);
    EXPECT_LT(background, 24 * 24 / 2);
  }
  // The two components have different pictures.
  EXPECT_NE(LoadBitmapFromExeRes("TOBJECTFILENAVIGATOR")->Data(),
            LoadBitmapFromExeRes("TOPENDATABASEDIALOG")->Data());
}

TEST(OdbRegPalette, PixelsLandWhereTheDrawingPutsThem) {
  std::array<const char*, 24> drawing;
  const std::string plain(24, 'o');
  std::string top = plain, bottom = plain;
  top[0] = 'r';     // top left: red
  top[23] = 'b';    // top right: blue
  bottom[1] = 'w';  // bottom row, second pixel: white
  drawing.fill(plain.c_str());
  drawing[0] = top.c_str();
  drawing[23] = bottom.c_str();
  const std::vector<std::uint8_t> file = PaletteBitmapFile(drawing);
  const QImage image = QImage::fromData(file.data(), static_cast<int>(file.size()), "BMP");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(23, 0), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(1, 23), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(0, 23), qRgb(128, 128, 0));

  drawing[5] = "oooo";
  EXPECT_THROW(PaletteBitmapFile(drawing), std::logic_error);
  const std::string unknown(24, 'x');
  drawing[5] = unknown.c_str();
  EXPECT_THROW(PaletteBitmapFile(drawing), std::logic_error);
}

}  // namespace
}  // namespace corvid
