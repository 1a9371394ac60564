// corvid-dump FILE: prints every object record of an object-stream file as
// an indented tree (class name, version, decoded payload).
//
//   corvid-dump [--code-page=1252|utf8] FILE
//
// Exit status 0 when the whole file was dumped; 1 with the error's message
// when the file is damaged or holds a record whose payload the dumper does
// not know (payloads are not self-describing, so the dump stops there);
// 2 for a usage error.
#include <cstring>
#include <iostream>
#include <string>

#include "odb/OdbField.h"
#include "persist/ObjPerst.h"
#include "persist/ObjPerstDump.h"

namespace {

using namespace corvid;

// The payload of a database field: name, type ordinal, size, then the
// value's bytes in the layout of the type.
void DumpOdbField(TReader& R, TObjectDumper& D, std::string_view, int Indent) {
  D.Field(Indent, "Name", TObjectDumper::Quote(R.ReadString()));
  const std::int32_t type = R.ReadInteger();
  const std::int32_t size = R.ReadInteger();
  const char* names[] = {"oftString", "oftFloat", "oftInteger", "oftAutoInc"};
  D.Field(Indent, "FieldType",
          type >= 0 && type < 4 ? names[type] : "unknown (" + std::to_string(type) + ")");
  D.Field(Indent, "Size", std::to_string(size));
  if (size < 0) throw EReadError("Invalid property value");
  R.CheckAvailable(size);
  std::string b(static_cast<std::size_t>(size), '\0');
  R.Read(b.data(), size);
  if (type == oftString && size >= 1) {
    const std::size_t n = std::min<std::size_t>(static_cast<unsigned char>(b[0]), b.size() - 1);
    D.Field(Indent, "Value", TObjectDumper::Quote(std::string_view(b).substr(1, n)));
  } else if (type == oftFloat && size == 8) {
    double v;
    std::memcpy(&v, b.data(), 8);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    D.Field(Indent, "Value", buf);
  } else if ((type == oftInteger || type == oftAutoInc) && size == 4) {
    std::int32_t v;
    std::memcpy(&v, b.data(), 4);
    D.Field(Indent, "Value", std::to_string(v));
  } else if (size > 0) {
    D.Field(Indent, "Bytes", TObjectDumper::HexBytes(b));
  }
}

int Usage() {
  std::cerr << "usage: corvid-dump [--code-page=1252|utf8] FILE\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--code-page=1252") {
      SetSystemCodePage(cpWindows1252);
    } else if (arg == "--code-page=utf8") {
      SetSystemCodePage(cpUtf8);
    } else if (arg.rfind("--", 0) == 0 || file != nullptr) {
      return Usage();
    } else {
      file = argv[i];
    }
  }
  if (file == nullptr) return Usage();
  RegisterDumpPayload("TOdbField", DumpOdbField);
  try {
    TFileStream stream(file, fmOpenRead);
    DumpObjectStream(stream, std::cout);
  } catch (const Exception& e) {
    std::cout.flush();
    std::cerr << "corvid-dump: " << file << ": " << e.Message() << '\n';
    return 1;
  }
  return 0;
}
