#include "corvid/components/Component.h"

namespace corvid {

void TComponentState::EnsureLoaded() {
  if (loaded_) return;
  // Marked first so that a hook which reaches EnsureLoaded() again (through
  // an operation it calls) does not recurse.
  loaded_ = true;
  try {
    Loaded();
  } catch (...) {
    loaded_ = false;
    throw;
  }
}

}  // namespace corvid
