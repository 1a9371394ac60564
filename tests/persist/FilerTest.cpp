// The filer's value encoding, its buffer and read-ahead, and the code-page
// conversions of strings.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "PersistTestSupport.h"
#include "corvid/persist/CodePage.h"
#include "corvid/persist/Filer.h"

namespace corvid {
namespace {

using test::Bytes;
using test::Content;
using test::Fill;
using test::Hex;

template <class F>
std::string Written(F&& f) {
  TMemoryStream m;
  {
    TWriter w(m);
    f(w);
  }
  return Content(m);
}

// Restores the process-wide code page after a test.
class CodePageGuard {
 public:
  explicit CodePageGuard(TCodePage cp) : old_(GetSystemCodePage()) { SetSystemCodePage(cp); }
  ~CodePageGuard() { SetSystemCodePage(old_); }

 private:
  TCodePage old_;
};

std::string ExpectReadError(const std::string& data, void (*read)(TReader&)) {
  TMemoryStream m;
  Fill(m, data);
  TReader r(m);
  try {
    read(r);
  } catch (const EReadError& e) {
    return e.Message();
  }
  return "no error";
}

TEST(FilerIntegers, SmallestTagThatFits) {
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInteger(127); })), "02 7F");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInteger(128); })), "03 80 00");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInteger(-128); })), "02 80");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInteger(-129); })), "03 7F FF");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInteger(32767); })), "03 FF 7F");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInteger(-32769); })), "04 FF 7F FF FF");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInteger(32768); })), "04 00 80 00 00");
}

TEST(FilerIntegers, SixtyFourBitValuesUseTag13OnlyOutsideThe32BitRange) {
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInt64(5); })), "02 05");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInt64(std::int64_t{2147483647}); })),
            "04 FF FF FF 7F");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInt64(std::int64_t{2147483648}); })),
            "13 00 00 00 80 00 00 00 00");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteInt64(-2147483649LL); })),
            "13 FF FF FF 7F FF FF FF FF");
}

TEST(FilerIntegers, ReadBackSignExtendedAndTag13OnlyAs64Bit) {
  const std::string data = Written([](TWriter& w) {
    for (std::int32_t v :
         {0, -1, 127, -128, 128, -32768, 32767, -32769, 2147483647, -2147483647 - 1})
      w.WriteInteger(v);
  });
  TMemoryStream m;
  Fill(m, data);
  TReader r(m);
  for (std::int32_t v : {0, -1, 127, -128, 128, -32768, 32767, -32769, 2147483647, -2147483647 - 1})
    EXPECT_EQ(r.ReadInteger(), v);
  EXPECT_TRUE(r.EndOfStream());

  const std::string big = Bytes().Byte(0x13).U32(0).U32(1);
  EXPECT_EQ(ExpectReadError(big, [](TReader& r) { r.ReadInteger(); }), "Invalid property value");
  TMemoryStream m2;
  Fill(m2, big);
  TReader r2(m2);
  EXPECT_EQ(r2.ReadInt64(), std::int64_t{1} << 32);
  EXPECT_EQ(ExpectReadError("\x06\x01x", [](TReader& r) { r.ReadInteger(); }),
            "Invalid property value");
  EXPECT_EQ(ExpectReadError("\x05", [](TReader& r) { r.ReadInt64(); }), "Invalid property value");
}

TEST(FilerBooleans, NineIsTrueAnythingElseFalse) {
  EXPECT_EQ(Hex(Written([](TWriter& w) {
              w.WriteBoolean(true);
              w.WriteBoolean(false);
            })),
            "09 08");
  TMemoryStream m;
  Fill(m, std::string("\x09\x08\x01\x00\xFF", 5));
  TReader r(m);
  EXPECT_TRUE(r.ReadBoolean());
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(r.ReadBoolean());
}

TEST(FilerCharsAndFloats, EncodingAndAcceptedTags) {
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteChar('A'); })), "06 01 41");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteChar('\xE9'); })), "06 01 E9");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteFloat(1.0L); })),
            "05 00 00 00 00 00 00 00 80 FF 3F");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteFloat(-2.5L); })),
            "05 00 00 00 00 00 00 00 A0 00 C0");

  TMemoryStream m;
  Fill(m, Written([](TWriter& w) {
         w.WriteChar('\xE9');
         w.WriteFloat(0.1L);
         w.WriteFloat(-std::numeric_limits<long double>::infinity());
         w.WriteInteger(-7);
         w.WriteInteger(100000);
       }));
  TReader r(m);
  EXPECT_EQ(r.ReadChar(), '\xE9');
  EXPECT_EQ(r.ReadFloat(), 0.1L);
  EXPECT_EQ(r.ReadFloat(), -std::numeric_limits<long double>::infinity());
  EXPECT_EQ(r.ReadFloat(), -7.0L);
  EXPECT_EQ(r.ReadFloat(), 100000.0L);

  // A char is exactly a string of length one.
  EXPECT_EQ(ExpectReadError("\x06\x02xy", [](TReader& r) { r.ReadChar(); }),
            "Invalid property value");
  EXPECT_EQ(ExpectReadError(std::string("\x02\x41", 2), [](TReader& r) { r.ReadChar(); }),
            "Invalid property value");
  EXPECT_EQ(ExpectReadError("\x09", [](TReader& r) { r.ReadFloat(); }), "Invalid property value");
}

TEST(FilerStrings, SevenBitTextUsesTag06Or0C) {
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteString("TPF"); })), "06 03 54 50 46");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteString(""); })), "06 00");
  const std::string s255(255, 'a');
  const std::string s256(256, 'b');
  EXPECT_EQ(Written([](TWriter& w) { w.WriteString(std::string(255, 'a')); }), "\x06\xFF" + s255);
  EXPECT_EQ(Written([](TWriter& w) { w.WriteString(std::string(256, 'b')); }),
            std::string("\x0C\x00\x01\x00\x00", 5) + s256);

  TMemoryStream m;
  Fill(m, Written([&](TWriter& w) {
         w.WriteString(s255);
         w.WriteString(s256);
         w.WriteString("");
       }));
  TReader r(m);
  EXPECT_EQ(r.ReadString(), s255);
  EXPECT_EQ(r.ReadString(), s256);
  EXPECT_EQ(r.ReadString(), "");
  EXPECT_EQ(ExpectReadError("\x07\x01x", [](TReader& r) { r.ReadString(); }),
            "Invalid property value");
}

TEST(FilerStrings, Windows1252TextIsStoredAsUtf8) {
  CodePageGuard cp(cpWindows1252);
  // e acute, the euro sign (0x80) and an undefined byte (0x81).
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteString("caf\xE9"); })),
            "14 05 00 00 00 63 61 66 C3 A9");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteString("\x80"); })), "14 03 00 00 00 E2 82 AC");
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteString("\x81"); })), "14 02 00 00 00 C2 81");
}

TEST(FilerStrings, EveryByteRoundTripsInBothCodePages) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  for (TCodePage page : {cpWindows1252, cpUtf8}) {
    CodePageGuard cp(page);
    TMemoryStream m;
    Fill(m, Written([&](TWriter& w) {
           w.WriteString(all);
           for (int c = 128; c < 256; ++c) w.WriteString(std::string(1, static_cast<char>(c)));
           w.WriteString("gr\xC3\xBC\xC3\x9F");  // valid UTF-8: stored as it is
         }));
    TReader r(m);
    EXPECT_EQ(r.ReadString(), all) << page;
    for (int c = 128; c < 256; ++c) EXPECT_EQ(r.ReadString(), std::string(1, static_cast<char>(c)));
    EXPECT_EQ(r.ReadString(), "gr\xC3\xBC\xC3\x9F");
    EXPECT_TRUE(r.EndOfStream());
  }
}

TEST(FilerStrings, Utf8CodePageWritesValidTextAsIsAndMalformedTextRaw) {
  CodePageGuard cp(cpUtf8);
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteString("\xC3\xA9"); })), "14 02 00 00 00 C3 A9");
  // Not UTF-8: kept byte for byte as a plain string.
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteString("\xE9"); })), "06 01 E9");
}

TEST(FilerStrings, ForeignUtf8AndUtf16AreConverted) {
  // "ü€" as UTF-8 and as UTF-16 (count of 16-bit characters).
  const std::string utf8 = Bytes().Byte(0x14).U32(5).Raw("\xC3\xBC\xE2\x82\xAC");
  const std::string utf16 = Bytes().Byte(0x12).U32(2).Raw(std::string("\xFC\x00\xAC\x20", 4));
  {
    CodePageGuard cp(cpWindows1252);
    TMemoryStream m;
    Fill(m, utf8 + utf16);
    TReader r(m);
    EXPECT_EQ(r.ReadString(), "\xFC\x80");
    EXPECT_EQ(r.ReadString(), "\xFC\x80");
  }
  {
    CodePageGuard cp(cpUtf8);
    TMemoryStream m;
    // Plus U+1F600 as a surrogate pair.
    Fill(m, utf8 + utf16 +
                std::string(Bytes().Byte(0x12).U32(2).Raw(std::string("\x3D\xD8\x00\xDE", 4))));
    TReader r(m);
    EXPECT_EQ(r.ReadString(), "\xC3\xBC\xE2\x82\xAC");
    EXPECT_EQ(r.ReadString(), "\xC3\xBC\xE2\x82\xAC");
    EXPECT_EQ(r.ReadString(), "\xF0\x9F\x98\x80");
  }
}

TEST(FilerStrings, UnconvertibleTextRaisesReadError) {
  const std::string text = "Text cannot be converted to the system code page";
  auto read = [](TReader& r) { r.ReadString(); };
  {
    CodePageGuard cp(cpWindows1252);
    // U+4E2D has no Windows-1252 byte.
    EXPECT_EQ(ExpectReadError(Bytes().Byte(0x14).U32(3).Raw("\xE4\xB8\xAD"), read), text);
  }
  for (TCodePage page : {cpWindows1252, cpUtf8}) {
    CodePageGuard cp(page);
    // Malformed UTF-8: a lone continuation byte, an overlong '/', a
    // surrogate, a truncated sequence.
    for (std::string bad : {"\x80", "\xC0\xAF", "\xED\xA0\x80", "\xE2\x82"}) {
      EXPECT_EQ(ExpectReadError(
                    Bytes().Byte(0x14).U32(static_cast<std::uint32_t>(bad.size())).Raw(bad), read),
                text)
          << Hex(bad);
    }
    // A lone high surrogate in UTF-16.
    EXPECT_EQ(ExpectReadError(Bytes().Byte(0x12).U32(1).Raw(std::string("\x00\xD8", 2)), read),
              text);
  }
}

TEST(FilerStrings, LengthBeyondTheStreamFailsBeforeAllocating) {
  auto read = [](TReader& r) { r.ReadString(); };
  EXPECT_EQ(ExpectReadError(Bytes().Byte(0x0C).U32(0xFFFFFFF0u).Raw("abc"), read),
            "Stream read error");
  EXPECT_EQ(ExpectReadError(Bytes().Byte(0x14).U32(0x7FFFFFFFu), read), "Stream read error");
  EXPECT_EQ(ExpectReadError(Bytes().Byte(0x12).U32(0x80000000u).Raw("ab"), read),
            "Stream read error");
  EXPECT_EQ(ExpectReadError("\x06\x05"
                            "abc",
                            read),
            "Stream read error");
  EXPECT_EQ(ExpectReadError("", read), "Stream read error");
  EXPECT_EQ(ExpectReadError("\x04\x01", [](TReader& r) { r.ReadInteger(); }), "Stream read error");
}

TEST(FilerSignature, ExactlyTPF0) {
  EXPECT_EQ(Hex(Written([](TWriter& w) { w.WriteSignature(); })), "54 50 46 30");
  EXPECT_EQ(ExpectReadError("TPF1", [](TReader& r) { r.ReadSignature(); }),
            "Invalid stream format");
  EXPECT_EQ(ExpectReadError("TPF", [](TReader& r) { r.ReadSignature(); }), "Stream read error");
}

TEST(FilerBuffering, WriterFlushesInOrderAcrossTheBufferBoundary) {
  // Values straddling the 4096-byte buffer and a block larger than it.
  std::string expected;
  const std::string block(10000, 'z');
  const std::string data = Written([&](TWriter& w) {
    for (int i = 0; i < 3000; ++i) w.WriteInteger(i);
    w.Write(block.data(), static_cast<std::int64_t>(block.size()));
    w.WriteString("end");
  });
  TMemoryStream m;
  Fill(m, data);
  TReader r(m);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(r.ReadInteger(), i);
  std::string back(block.size(), '\0');
  r.Read(back.data(), static_cast<std::int64_t>(back.size()));
  EXPECT_EQ(back, block);
  EXPECT_EQ(r.ReadString(), "end");
  EXPECT_TRUE(r.EndOfStream());
}

TEST(FilerBuffering, ReaderGivesBackItsReadAhead) {
  TMemoryStream m;
  Fill(m, "\x02\x07" + std::string(9000, 'x'));
  {
    TReader r(m);
    EXPECT_EQ(r.ReadInteger(), 7);
    EXPECT_EQ(r.Position(), 2);
    EXPECT_EQ(r.Remaining(), 9000);
  }
  // The reader read ahead, but the stream stands right after the integer.
  EXPECT_EQ(m.GetPosition(), 2);

  // A read that fails at the end consumes what was there.
  m.SetPosition(8995);
  {
    TReader r(m);
    EXPECT_EQ(r.ReadByte(), 'x');
    char buf[10];
    EXPECT_THROW(r.Read(buf, 10), EReadError);
  }
  EXPECT_EQ(m.GetPosition(), 9002);
}

}  // namespace
}  // namespace corvid
