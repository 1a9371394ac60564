#include "corvid/persist/CodePage.h"

#include <atomic>
#include <cstring>

namespace corvid {
namespace {

std::atomic<TCodePage> gCodePage{cpWindows1252};

// Unicode code points of the bytes 0x80..0x9F in Windows-1252. The five
// undefined bytes map to the C1 control characters of the same value.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char32_t Cp1252ToUnicode(unsigned char c) {
  if (c >= 0x80 && c < 0xA0) return kCp1252High[c - 0x80];
  return c;
}

// -1 when the code point has no byte in Windows-1252.
int UnicodeToCp1252(char32_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<int>(u);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == u) return 0x80 + i;
  }
  return -1;
}

void AppendUtf8(std::string& out, char32_t u) {
  if (u < 0x80) {
    out.push_back(static_cast<char>(u));
  } else if (u < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (u >> 6)));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  } else if (u < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (u >> 12)));
    out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (u >> 18)));
    out.push_back(static_cast<char>(0x80 | ((u >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
}

// Decodes one well-formed UTF-8 sequence at s[i] (shortest form, no
// surrogates, at most U+10FFFF). Returns false on malformed input.
bool NextUtf8(std::string_view s, std::size_t& i, char32_t& u) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    u = b0;
    ++i;
    return true;
  }
  int extra;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    min = 0x80;
    u = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    min = 0x800;
    u = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    min = 0x10000;
    u = b0 & 0x07;
  } else {
    return false;
  }
  if (s.size() - i <= static_cast<std::size_t>(extra)) return false;
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    u = (u << 6) | (b & 0x3F);
  }
  if (u < min || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) return false;
  i += extra + 1;
  return true;
}

bool ValidUtf8(std::string_view s) {
  std::size_t i = 0;
  char32_t u;
  while (i < s.size()) {
    if (!NextUtf8(s, i, u)) return false;
  }
  return true;
}

// Appends code point u in the system code page; false when impossible.
bool AppendSystem(std::string& out, char32_t u, TCodePage cp) {
  if (cp == cpUtf8) {
    AppendUtf8(out, u);
    return true;
  }
  const int b = UnicodeToCp1252(u);
  if (b < 0) return false;
  out.push_back(static_cast<char>(b));
  return true;
}

}  // namespace

void SetSystemCodePage(TCodePage CodePage) {
  gCodePage.store(CodePage, std::memory_order_relaxed);
}

TCodePage GetSystemCodePage() {
  return gCodePage.load(std::memory_order_relaxed);
}

bool IsAscii(std::string_view S) {
  // Eight bytes at a time: the common case is short ASCII names.
  std::size_t i = 0;
  for (; i + 8 <= S.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, S.data() + i, 8);
    if (w & 0x8080808080808080ULL) return false;
  }
  for (; i < S.size(); ++i) {
    if (static_cast<unsigned char>(S[i]) & 0x80) return false;
  }
  return true;
}

bool SystemToUtf8(std::string_view S, std::string& Utf8) {
  if (GetSystemCodePage() == cpUtf8) {
    if (!ValidUtf8(S)) return false;
    Utf8.assign(S);
    return true;
  }
  std::string out;
  out.reserve(S.size() + S.size() / 2);
  for (char c : S) AppendUtf8(out, Cp1252ToUnicode(static_cast<unsigned char>(c)));
  Utf8 = std::move(out);
  return true;
}

bool Utf8ToSystem(std::string_view Utf8, std::string& S) {
  const TCodePage cp = GetSystemCodePage();
  if (cp == cpUtf8) {
    if (!ValidUtf8(Utf8)) return false;
    S.assign(Utf8);
    return true;
  }
  std::string out;
  out.reserve(Utf8.size());
  std::size_t i = 0;
  char32_t u;
  while (i < Utf8.size()) {
    if (!NextUtf8(Utf8, i, u) || !AppendSystem(out, u, cp)) return false;
  }
  S = std::move(out);
  return true;
}

bool SystemToUtf16(std::string_view S, std::u16string& Utf16) {
  std::u16string out;
  out.reserve(S.size());
  auto put = [&out](char32_t u) {
    if (u >= 0x10000) {
      u -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (u >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (u & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(u));
    }
  };
  if (GetSystemCodePage() == cpUtf8) {
    std::size_t i = 0;
    char32_t u;
    while (i < S.size()) {
      if (!NextUtf8(S, i, u)) return false;
      put(u);
    }
  } else {
    for (char c : S) put(Cp1252ToUnicode(static_cast<unsigned char>(c)));
  }
  Utf16 = std::move(out);
  return true;
}

bool Utf16ToSystem(std::u16string_view Utf16, std::string& S) {
  const TCodePage cp = GetSystemCodePage();
  std::string out;
  out.reserve(Utf16.size());
  for (std::size_t i = 0; i < Utf16.size(); ++i) {
    char32_t u = Utf16[i];
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= Utf16.size()) return false;
      const char32_t lo = Utf16[i + 1];
      if (lo < 0xDC00 || lo > 0xDFFF) return false;
      u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return false;
    }
    if (!AppendSystem(out, u, cp)) return false;
  }
  S = std::move(out);
  return true;
}

}  // namespace corvid
