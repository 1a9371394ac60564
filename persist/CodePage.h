/// @file
/// The 8-bit system code page and the conversions between it and Unicode.
///
/// Strings are 8-bit text throughout the library. The object stream stores
/// text that is not pure 7-bit ASCII as UTF-8 (and accepts UTF-16 too), so it
/// converts between the system code page and Unicode. The code page is one
/// process-wide setting:
///   cpWindows1252  the default; the code page of the platform the stream
///                  format comes from, so text in files exchanged with it
///                  keeps its meaning. Every byte converts: the five bytes the
///                  code page leaves undefined (81 8D 8F 90 9D) stand for the
///                  control characters of the same number, as on that
///                  platform, so any 8-bit string survives a round trip.
///   cpUtf8         for applications whose strings hold UTF-8.
/// Set it at start-up, before streams are read or written.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvid {

enum TCodePage : std::uint16_t { cpWindows1252 = 1252, cpUtf8 = 65001 };

void SetSystemCodePage(TCodePage CodePage);
TCodePage GetSystemCodePage();

/// True when every byte of S is below 0x80.
bool IsAscii(std::string_view S);

/// Each conversion returns false, leaving its output unchanged, when the text
/// cannot be represented in the target (a character outside the code page,
/// malformed UTF-8 or UTF-16); on success the result replaces the output.
bool SystemToUtf8(std::string_view S, std::string& Utf8);
bool Utf8ToSystem(std::string_view Utf8, std::string& S);
bool SystemToUtf16(std::string_view S, std::u16string& Utf16);
bool Utf16ToSystem(std::u16string_view Utf16, std::string& S);

}  // namespace corvid
