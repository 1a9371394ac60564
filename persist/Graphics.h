/// @file
/// The platform's picture classes as the core library knows them: a picture
/// holds its native image bytes (a bitmap file, an icon file, a metafile)
/// and saves and loads them unchanged. The user-interface layer derives real
/// image handling from these classes by overriding LoadFromStream and
/// SaveToStream. TBitmap, TIcon and TMetafile are streamable (ReadGraphic /
/// WriteGraphic in persist/ObjPerst.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "corvid/containers/ObjRoot.h"
#include "corvid/persist/Streams.h"

namespace corvid {

/// A picture holding its native image bytes (see the file comment).
class TGraphic : public TObject {
  CORVID_CLASS(TGraphic, ::corvid::TObject)
 public:
  TGraphic() = default;

  /// Replaces the picture with the bytes from Stream's position to its end.
  virtual void LoadFromStream(TStream& Stream);
  /// Writes the picture's native data at Stream's position.
  virtual void SaveToStream(TStream& Stream) const;

  bool Empty() const { return data_.empty(); }
  /// The native image bytes.
  std::string_view Data() const { return data_; }
  void SetData(std::string_view Data) { data_.assign(Data); }

 protected:
  std::string data_;
};

/// A bitmap picture.
class TBitmap : public TGraphic {
  CORVID_CLASS(TBitmap, ::corvid::TGraphic)
 public:
  TBitmap() = default;
};

/// An icon picture.
class TIcon : public TGraphic {
  CORVID_CLASS(TIcon, ::corvid::TGraphic)
 public:
  TIcon() = default;
};

/// A metafile picture.
class TMetafile : public TGraphic {
  CORVID_CLASS(TMetafile, ::corvid::TGraphic)
 public:
  TMetafile() = default;
};

}  // namespace corvid
