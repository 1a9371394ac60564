// Scratch streams for writing object images, kept by object files and
// update objects between records.
#pragma once

#include <memory>

#include "corvid/persist/ObjPerst.h"
#include "corvid/persist/Streams.h"

namespace corvid {

/// Lends an object's kept image streams (a memory stream and an object
/// stream over it, made on first use) to one insert or update, or makes
/// streams of its own while they are lent already, so that an insert or
/// update started from one of its own hooks does not write over the image
/// of the one that is running.
class TImageStreams {
 public:
  TImageStreams(std::unique_ptr<TMemoryStream>& Buffer, std::unique_ptr<TObjectStream>& Objects,
                bool& Busy)
      : busy_(Busy) {
    if (busy_) {
      ownBuffer_ = std::make_unique<TMemoryStream>();
      ownObjects_ = std::make_unique<TObjectStream>(ownBuffer_.get(), false);
      buffer_ = ownBuffer_.get();
      objects_ = ownObjects_.get();
      return;
    }
    if (Buffer == nullptr) {
      Buffer = std::make_unique<TMemoryStream>();
      Objects = std::make_unique<TObjectStream>(Buffer.get(), false);
    }
    buffer_ = Buffer.get();
    objects_ = Objects.get();
    busy_ = true;
    lent_ = true;
  }
  ~TImageStreams() {
    if (lent_) busy_ = false;
  }
  TImageStreams(const TImageStreams&) = delete;
  TImageStreams& operator=(const TImageStreams&) = delete;

  TMemoryStream& Buffer() { return *buffer_; }
  TObjectStream& Objects() { return *objects_; }

 private:
  bool& busy_;
  bool lent_ = false;
  std::unique_ptr<TMemoryStream> ownBuffer_;
  std::unique_ptr<TObjectStream> ownObjects_;
  TMemoryStream* buffer_ = nullptr;
  TObjectStream* objects_ = nullptr;
};

}  // namespace corvid
