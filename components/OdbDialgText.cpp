#include "corvid/components/OdbDialgText.h"

#include <QFile>

#include "corvid/persist/CodePage.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

QString SystemToQString(std::string_view S) {
  std::u16string utf16;
  if (SystemToUtf16(S, utf16)) {
    return QString::fromUtf16(utf16.data(), static_cast<qsizetype>(utf16.size()));
  }
  return QString::fromLatin1(S.data(), static_cast<qsizetype>(S.size()));
}

std::string QStringToSystem(const QString& S) {
  std::string result;
  const std::u16string_view utf16(reinterpret_cast<const char16_t*>(S.utf16()),
                                  static_cast<std::size_t>(S.size()));
  if (!Utf16ToSystem(utf16, result)) {
    throw EConvertError("Text cannot be converted to the system code page : " +
                        S.toUtf8().toStdString());
  }
  return result;
}

bool IsSystemText(const QString& S) {
  std::string result;
  const std::u16string_view utf16(reinterpret_cast<const char16_t*>(S.utf16()),
                                  static_cast<std::size_t>(S.size()));
  return Utf16ToSystem(utf16, result);
}

std::string QStringToPath(const QString& Path) {
  return QFile::encodeName(Path).toStdString();
}

QString PathToQString(const std::string& Path) {
  return QFile::decodeName(QByteArray::fromStdString(Path));
}

QValidator::State TSystemTextValidator::validate(QString& Input, int& /*Pos*/) const {
  return IsSystemText(Input) ? Acceptable : Invalid;
}

}  // namespace corvid
