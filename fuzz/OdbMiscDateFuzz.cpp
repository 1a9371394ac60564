// Feeds arbitrary texts and formats to the date and time parsers. The first
// byte splits the input into a format and a text. Any input must either
// parse or raise EConvertError; a parsed date must format and parse back to
// the same day number.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "corvid/util/OdbMisc.h"

using namespace corvid;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0) return 0;
  const std::size_t split = Data[0] % Size;
  const std::string all(reinterpret_cast<const char*>(Data + 1), Size - 1);
  const std::string format = all.substr(0, split);
  const std::string text = all.substr(split < all.size() ? split : all.size());
  const TOdbFormatSettings before = OdbFormatSettings();
  try {
    const TDateTime d = DateStrToDate(text, format);
    const std::string again = DateToSortString(d);
    if (DateStrToDate(again, "yyyymmdd") != static_cast<double>(static_cast<long long>(d))) {
      std::abort();
    }
  } catch (const EConvertError&) {
  }
  try {
    const TDateTime t = TimeStrToTime(text, format);
    if (t < 0 || t >= 1) std::abort();
    (void)TimeToTimeStr(t, format);
  } catch (const EConvertError&) {
  }
  const TOdbFormatSettings& after = OdbFormatSettings();
  if (after.ShortDateFormat != before.ShortDateFormat ||
      after.DateSeparator != before.DateSeparator ||
      after.LongTimeFormat != before.LongTimeFormat) {
    std::abort();  // settings must be restored on every exit
  }
  return 0;
}
