// The navigator's glyphs: eight bitmap resources (FIRSTBMP, PRIORBMP,
// NEXTBMP, LASTBMP, UPDATEBMP, ADDBMP, DELETEBMP, FINDBMP), each holding two
// images side by side, the normal one on the left and the disabled one on
// the right. The colour of a glyph's bottom-left pixel is its transparent
// colour, as with the platform's button glyphs.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <string_view>

class QAbstractButton;

namespace corvid {

class TBitmap;

// Registers the eight bitmaps as resources (once; later calls do nothing).
void RegisterNavigatorGlyphs();

// A bitmap's native bytes (a BMP file) as a pixmap; null when they do not
// form an image.
QPixmap PixmapFromBitmap(const TBitmap& Bitmap);

struct TGlyph {
  QPixmap Normal;
  QPixmap Disabled;
};

// Loads the two-image bitmap ResName through LoadBitmapFromExeRes and splits
// it into its halves, the transparent colour made transparent. Both halves
// are null when there is no such resource.
TGlyph LoadGlyph(std::string_view ResName);

// An icon showing Glyph.Normal, and Glyph.Disabled when its button is
// disabled.
QIcon GlyphIcon(const TGlyph& Glyph);

// Gives Button the glyph ResName, the icon sized to one image.
void AssignGlyph(QAbstractButton& Button, std::string_view ResName);

}  // namespace corvid
