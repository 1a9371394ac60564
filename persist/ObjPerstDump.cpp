#include "corvid/persist/ObjPerstDump.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "corvid/persist/CodePage.h"
#include "corvid/persist/ObjPerst.h"

namespace corvid {
namespace {

std::string Num(std::int64_t v) {
  return std::to_string(v);
}

// --- Library payloads --------------------------------------------------------

void DumpContainerPart(TReader& R, TObjectDumper& D, int Indent) {
  D.Field(Indent, "ObjClass", TObjectDumper::Quote(R.ReadString()));
  D.Field(Indent, "CompareFunc", TObjectDumper::Quote(R.ReadString()));
}

void DumpChildren(TReader& R, TObjectDumper& D, int Indent, std::int64_t N) {
  for (std::int64_t i = 1; i <= N; ++i) {
    char label[32];
    std::snprintf(label, sizeof label, "[%lld] ", static_cast<long long>(i));
    D.Record(R, Indent, label);
  }
}

void DumpList(TReader& R, TObjectDumper& D, std::string_view /*Class*/, int Indent) {
  DumpContainerPart(R, D, Indent);
  const std::int32_t n = R.ReadInteger();
  D.Field(Indent, "Count", Num(n));
  DumpChildren(R, D, Indent, n);
}

void DumpStack(TReader& R, TObjectDumper& D, std::string_view /*Class*/, int Indent) {
  DumpContainerPart(R, D, Indent);
  D.Record(R, Indent, "List: ");
}

void DumpArray(TReader& R, TObjectDumper& D, std::string_view /*Class*/, int Indent) {
  DumpContainerPart(R, D, Indent);
  const std::int32_t n = R.ReadInteger();
  D.Field(Indent, "Count", Num(n));
  D.Field(Indent, "Capacity", Num(R.ReadInteger()));
  D.Field(Indent, "Delta", Num(R.ReadInteger()));
  D.Field(Indent, "Sorted", R.ReadBoolean() ? "true" : "false");
  DumpChildren(R, D, Indent, n);
}

void DumpHashTable(TReader& R, TObjectDumper& D, std::string_view /*Class*/, int Indent) {
  DumpContainerPart(R, D, Indent);
  const std::int32_t n = R.ReadInteger();
  D.Field(Indent, "Count", Num(n));
  D.Field(Indent, "HashFunc", TObjectDumper::Quote(R.ReadString()));
  D.Field(Indent, "TableSize", Num(R.ReadInteger()));
  DumpChildren(R, D, Indent, n);
}

void DumpStringCombo(TReader& R, TObjectDumper& D, std::string_view /*Class*/, int Indent) {
  D.Field(Indent, "Str", TObjectDumper::Quote(R.ReadString()));
  if (R.ReadBoolean()) {
    D.Record(R, Indent, "Obj: ");
  } else {
    D.Field(Indent, "Obj", "none");
  }
}

template <class T>
T Load(const std::string& b) {
  T v;
  std::memcpy(&v, b.data(), sizeof v);
  return v;
}

std::string Format(const char* fmt, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

// The value of a typed bucket's block; empty when the size does not fit.
std::string BucketValue(std::string_view Class, const std::string& b) {
  const std::size_t n = b.size();
  if (Class == "TShortIntBucket" && n == 1) return Num(Load<std::int8_t>(b));
  if ((Class == "TIntegerBucket" || Class == "TLongIntBucket") && n == 4)
    return Num(Load<std::int32_t>(b));
  if (Class == "TByteBucket" && n == 1) return Num(Load<std::uint8_t>(b));
  if (Class == "TWordBucket" && n == 2) return Num(Load<std::uint16_t>(b));
  if (Class == "TCharBucket" && n == 1)
    return Num(Load<std::uint8_t>(b)) + " " + TObjectDumper::Quote(b);
  if (Class == "TBooleanBucket" && n == 1) return Load<std::uint8_t>(b) ? "true" : "false";
  if (Class == "TWordBoolBucket" && n == 2) return Load<std::uint16_t>(b) ? "true" : "false";
  if (Class == "TLongBoolBucket" && n == 4) return Load<std::uint32_t>(b) ? "true" : "false";
  if ((Class == "TRealBucket" || Class == "TDoubleBucket" || Class == "TDateTimeBucket") && n == 8)
    return Format("%.17g", Load<double>(b));
  if (Class == "TSingleBucket" && n == 4) return Format("%.9g", Load<float>(b));
  if (Class == "TCompBucket" && n == 8) return Num(Load<std::int64_t>(b));
  if (Class == "TExtendedBucket" && n == 10) {
    std::uint8_t ext[10];
    std::memcpy(ext, b.data(), 10);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.21Lg", ExtendedToLongDouble(ext));
    return buf;
  }
  return {};
}

void DumpBucket(TReader& R, TObjectDumper& D, std::string_view Class, int Indent) {
  const auto size = static_cast<std::uint16_t>(R.ReadInteger());
  R.CheckAvailable(size);
  std::string block(size, '\0');
  R.Read(block.data(), size);
  D.Field(Indent, "Size", Num(size));
  const std::string value = BucketValue(Class, block);
  if (!value.empty()) {
    D.Field(Indent, "Value", value);
  } else if (size > 0) {
    D.Field(Indent, "Bytes", TObjectDumper::HexBytes(block));
  }
}

void DumpBlock(TReader& R, TObjectDumper& D, std::string_view /*Class*/, int Indent) {
  const std::int64_t n = R.ReadInt64();
  R.CheckAvailable(n);
  D.Field(Indent, "Size", Num(n));
  std::string head(static_cast<std::size_t>(std::min<std::int64_t>(n, 32)), '\0');
  R.Read(head.data(), static_cast<std::int64_t>(head.size()));
  // Skip the rest without holding it.
  char skip[4096];
  for (std::int64_t left = n - static_cast<std::int64_t>(head.size()); left > 0;) {
    const std::int64_t k = std::min<std::int64_t>(left, sizeof skip);
    R.Read(skip, k);
    left -= k;
  }
  if (n > 0) D.Field(Indent, "Data", TObjectDumper::HexBytes(head) + (n > 32 ? " ..." : ""));
}

struct Decoders {
  std::mutex lock;
  std::map<std::string, TDumpPayloadProc, std::less<>> procs;
  Decoders() {
    for (const char* c : {"TOrderedList", "TUnorderedList", "TCircularList"}) procs[c] = DumpList;
    procs["TStack"] = DumpStack;
    procs["TArray"] = DumpArray;
    procs["THashTable"] = DumpHashTable;
    procs["TStringCombo"] = DumpStringCombo;
    for (const char* c : {"TBucket", "TShortIntBucket", "TIntegerBucket", "TLongIntBucket",
                          "TByteBucket", "TWordBucket", "TCharBucket", "TBooleanBucket",
                          "TWordBoolBucket", "TLongBoolBucket", "TRealBucket", "TDateTimeBucket",
                          "TSingleBucket", "TDoubleBucket", "TExtendedBucket", "TCompBucket"})
      procs[c] = DumpBucket;
    for (const char* c : {"TBitmap", "TIcon", "TMetafile", "TMemoryStream"}) procs[c] = DumpBlock;
  }
};

Decoders& AllDecoders() {
  static Decoders d;
  return d;
}

TDumpPayloadProc FindDecoder(std::string_view Class) {
  Decoders& d = AllDecoders();
  std::lock_guard<std::mutex> lock(d.lock);
  const auto it = d.procs.find(Class);
  return it == d.procs.end() ? nullptr : it->second;
}

}  // namespace

void RegisterDumpPayload(const std::string& ClassName, TDumpPayloadProc Proc) {
  Decoders& d = AllDecoders();
  std::lock_guard<std::mutex> lock(d.lock);
  d.procs[ClassName] = Proc;
}

std::string TObjectDumper::Quote(std::string_view S) {
  // Shown as UTF-8 where the text converts, with control characters and
  // unconvertible bytes escaped.
  std::string utf8;
  const bool converted = SystemToUtf8(S, utf8);
  const std::string_view text = converted ? std::string_view(utf8) : S;
  std::string out = "\"";
  char buf[8];
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && !converted)) {
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string TObjectDumper::HexBytes(std::string_view Bytes, std::size_t Max) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < Bytes.size() && i < Max; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(Bytes[i]));
    if (!out.empty()) out += ' ';
    out += buf;
  }
  if (Bytes.size() > Max) out += " ...";
  return out;
}

void TObjectDumper::Line(int Indent, std::string_view Text) {
  out_ << std::string(static_cast<std::size_t>(Indent) * 2, ' ') << Text << '\n';
}

void TObjectDumper::Field(int Indent, std::string_view Label, std::string_view Value) {
  out_ << std::string(static_cast<std::size_t>(Indent) * 2, ' ') << Label << ": " << Value << '\n';
}

void TObjectDumper::Record(TReader& Reader, int Indent, std::string_view Label) {
  // A payload shown by its tags took everything to the end, the records
  // expected after it included: they were shown there.
  if (untilEnd_ && Reader.EndOfStream()) return;
  if (depth_ >= MaxObjectDepth) throw EReadError("Objects nested too deeply");
  ++depth_;
  struct Guard {
    int& d;
    ~Guard() { --d; }
  } guard{depth_};
  const std::int64_t start = Reader.Position();
  Reader.ReadSignature();
  const std::string name = Reader.ReadString();
  if (name == NilObjectName) {
    Line(Indent, std::string(Label) + "nil");
    return;
  }
  const std::uint16_t version = Reader.ReadWord();
  std::string shown = Quote(name);
  shown = shown.substr(1, shown.size() - 2);
  Line(Indent, std::string(Label) + shown + " v" + Num(version));
  const TDumpPayloadProc proc = version == 1 ? FindDecoder(name) : nullptr;
  try {
    if (proc == nullptr) {
      Line(Indent + 1, "(payload not known to the dumper: its values by their tags, to the end)");
      DumpTagged(Reader, Indent + 1);
    } else {
      proc(Reader, *this, name, Indent + 1);
    }
  } catch (EReadError& e) {
    // Like the object stream: the innermost failing record is named.
    if (e.Detail().empty()) AddRecordContext(e, name, version, start);
    throw;
  }
}

void TObjectDumper::DumpTagged(TReader& Reader, int Indent) {
  untilEnd_ = true;
  while (!Reader.EndOfStream()) {
    switch (Reader.NextValue()) {
      case vaInt8:
      case vaInt16:
      case vaInt32:
      case vaInt64:
        Field(Indent, "Integer", Num(Reader.ReadInt64()));
        break;
      case vaString:
      case vaLString:
      case vaWString:
      case vaUTF8String:
        Field(Indent, "String", Quote(Reader.ReadString()));
        break;
      case vaExtended: {
        // Most floats were doubles before they were widened: show those as
        // the shortest text that reads back as the same double.
        const long double v = Reader.ReadFloat();
        char buf[64];
        const auto d = static_cast<double>(v);
        const auto r = static_cast<long double>(d) == v ? std::to_chars(buf, buf + sizeof buf, d)
                                                        : std::to_chars(buf, buf + sizeof buf, v);
        Field(Indent, "Float", std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
        break;
      }
      case vaFalse:
      case vaTrue:
        Field(Indent, "Boolean", Reader.ReadBoolean() ? "true" : "false");
        break;
      default:
        if (Reader.NextValue() == 'T') {
          // No tag starts with 'T': a nested record ("TPF0"), or damage,
          // which its signature check reports.
          Record(Reader, Indent, "");
        } else {
          // Raw bytes have no tag and no length: show the rest as they are.
          std::string rest(static_cast<std::size_t>(std::min<std::int64_t>(Reader.Remaining(), 33)),
                           '\0');
          Reader.Read(rest.data(), static_cast<std::int64_t>(rest.size()));
          Field(Indent, "Bytes", HexBytes(rest));
          char skip[4096];
          while (Reader.Remaining() > 0) {
            Reader.Read(skip, std::min<std::int64_t>(Reader.Remaining(), sizeof skip));
          }
        }
        break;
    }
  }
}

void TObjectDumper::DumpStream(TStream& Stream) {
  untilEnd_ = false;
  TReader reader(Stream);
  while (!reader.EndOfStream()) Record(reader, 0, "");
}

void DumpObjectStream(TStream& Stream, std::ostream& Out) {
  TObjectDumper dumper(Out);
  dumper.DumpStream(Stream);
}

}  // namespace corvid
