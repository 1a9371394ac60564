/// @file
/// A readable dump of object-stream data: every object record as an indented
/// tree of class name, version and decoded payload. It decodes the bytes
/// itself and creates no objects, so it also shows records that could not be
/// read back (an element class that is not registered, for instance).
///
/// Payloads carry no length: the dumper knows the payloads of the library's
/// classes, and more can be added with RegisterDumpPayload. A record of any
/// other class (or of a version the decoder does not know) is shown with its
/// class name and version, then value by value from the tags: integers,
/// strings, floats, booleans and nested records. Since nothing says where
/// such a payload ends, everything up to the end of the data is shown under
/// it (the records after it included), and bytes without a tag end it as a
/// hex line. A database record's image holds one record, so there the values
/// shown are exactly that object's.
///
/// Example:
///   TUnorderedList v1
///     ObjClass: TIntegerBucket
///     CompareFunc: CompareIntegerBucket
///     Count: 1
///     [1] TIntegerBucket v1
///       Size: 4
///       Value: 1000
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "corvid/persist/Filer.h"

namespace corvid {

/// Declared for payload decoders that find data they cannot show; the
/// dumper itself shows unknown payloads by their tags instead.
CORVID_EXCEPTION(EDumpError)

class TObjectDumper;

/// Decodes one payload (the bytes after the record's version) of a record of
/// ClassName and prints it at Indent through the dumper.
using TDumpPayloadProc = void (*)(TReader& Reader, TObjectDumper& Dumper,
                                  std::string_view ClassName, int Indent);

/// Adds (or replaces) the payload decoder of ClassName.
void RegisterDumpPayload(const std::string& ClassName, TDumpPayloadProc Proc);

/// Prints the object records of a byte stream as an indented tree.
class TObjectDumper {
 public:
  explicit TObjectDumper(std::ostream& Out) : out_(Out) {}

  /// Dumps every record from Stream's position to its end. Damaged data
  /// raises the reader's exceptions (EReadError); what was decoded before
  /// stays printed.
  void DumpStream(TStream& Stream);

  /// For payload decoders: one line of text at Indent (two spaces a level).
  void Line(int Indent, std::string_view Text);
  /// "Label: value" at Indent.
  void Field(int Indent, std::string_view Label, std::string_view Value);
  /// One complete nested record, its first line prefixed with Label.
  void Record(TReader& Reader, int Indent, std::string_view Label);
  /// Every value from the reader's position to the end, by its tag (the
  /// payload of a class no decoder knows).
  void DumpTagged(TReader& Reader, int Indent);

  /// Text helpers: a string in quotes with non-printable bytes escaped, and
  /// bytes in hex (at most Max of them, then "...").
  static std::string Quote(std::string_view S);
  static std::string HexBytes(std::string_view Bytes, std::size_t Max = 32);

 private:
  std::ostream& out_;
  int depth_ = 0;
  bool untilEnd_ = false;  // a payload was shown by its tags to the end
};

/// Dumps a whole stream to Out (see TObjectDumper::DumpStream).
void DumpObjectStream(TStream& Stream, std::ostream& Out);

}  // namespace corvid
