// Named bitmap resources compiled into the program.
#include <cctype>
#include <map>
#include <mutex>

#include "corvid/persist/Graphics.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

namespace {

// Names are kept as they would fit the 128-byte name buffer of a resource
// look-up (127 characters), in upper case, so look-ups ignore letter case.
std::string ResourceKey(std::string_view Name) {
  std::string key(Name.substr(0, 127));
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

struct ResourceTable {
  std::mutex lock;
  std::map<std::string, std::vector<std::uint8_t>> entries;
};

// Created on first use, so modules may register from static initialisers.
ResourceTable& Resources() {
  static ResourceTable table;
  return table;
}

}  // namespace

void RegisterBitmapResource(std::string_view ResName, std::vector<std::uint8_t> Data) {
  ResourceTable& t = Resources();
  const std::lock_guard<std::mutex> guard(t.lock);
  t.entries[ResourceKey(ResName)] = std::move(Data);
}

std::unique_ptr<TBitmap> LoadBitmapFromExeRes(std::string_view ResName) {
  ResourceTable& t = Resources();
  const std::lock_guard<std::mutex> guard(t.lock);
  const auto it = t.entries.find(ResourceKey(ResName));
  if (it == t.entries.end()) return nullptr;
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetData(
      std::string_view(reinterpret_cast<const char*>(it->second.data()), it->second.size()));
  return bitmap;
}

}  // namespace corvid
