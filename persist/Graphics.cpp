#include "corvid/persist/Graphics.h"

namespace corvid {

void TGraphic::LoadFromStream(TStream& Stream) {
  const std::int64_t n = Stream.GetSize() - Stream.GetPosition();
  std::string data(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  Stream.ReadBuffer(data.data(), static_cast<std::int64_t>(data.size()));
  data_ = std::move(data);
}

void TGraphic::SaveToStream(TStream& Stream) const {
  Stream.WriteBuffer(data_.data(), static_cast<std::int64_t>(data_.size()));
}

}  // namespace corvid
