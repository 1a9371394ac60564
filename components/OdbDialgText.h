// Text crossing between the library and the widgets. The library's strings
// are 8-bit text in the system code page; Qt's are UTF-16. Paths are neither:
// they are the bytes the file system sees, which Qt encodes with
// QFile::encodeName.
#pragma once

#include <QString>
#include <QValidator>
#include <string>
#include <string_view>

namespace corvid {

// S in the system code page as a QString. A string that is not valid in
// the code page (malformed UTF-8 under cpUtf8) shows its bytes as Latin-1,
// so nothing is dropped from view.
QString SystemToQString(std::string_view S);
// S in the system code page; EConvertError when S holds a character the
// code page cannot represent.
std::string QStringToSystem(const QString& S);
// True when QStringToSystem would succeed.
bool IsSystemText(const QString& S);

// Path bytes for the file system, and back.
std::string QStringToPath(const QString& Path);
QString PathToQString(const std::string& Path);

// Refuses input the system code page cannot represent, so that a user
// cannot type a name the library could not store.
class TSystemTextValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& Input, int& Pos) const override;
};

}  // namespace corvid
