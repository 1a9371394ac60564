#include "corvid/components/plugin/DesignerPackage.h"

#include <QImage>
#include <QPixmap>
#include <memory>
#include <mutex>
#include <utility>

#include "corvid/components/Component.h"
#include "corvid/components/plugin/OdbReg.h"
#include "corvid/persist/Graphics.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

QIcon PaletteIcon(const QString& ResName) {
  const std::unique_ptr<TBitmap> bitmap = LoadBitmapFromExeRes(ResName.toStdString());
  if (!bitmap) return {};
  const std::string_view data = bitmap->Data();
  QImage image = QImage::fromData(reinterpret_cast<const uchar*>(data.data()),
                                  static_cast<int>(data.size()), "BMP");
  if (image.isNull()) return {};
  image = image.convertToFormat(QImage::Format_ARGB32);
  const QRgb background = image.pixel(0, image.height() - 1);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) == background) image.setPixel(x, y, qRgba(0, 0, 0, 0));
  return QIcon(QPixmap::fromImage(image));
}

TDesignerComponent::TDesignerComponent(TComponentClass Class, QString Group, QObject* Parent)
    : QObject(Parent), class_(std::move(Class)), group_(std::move(Group)) {
  icon_ = PaletteIcon(UnqualifiedClassName(class_.ClassName).toUpper());
}

QString TDesignerComponent::toolTip() const {
  return UnqualifiedClassName(class_.ClassName);
}

QString TDesignerComponent::whatsThis() const {
  return QStringLiteral("%1, from the %2.")
      .arg(UnqualifiedClassName(class_.ClassName), QString::fromLatin1(kOdbPackageDescription));
}

QWidget* TDesignerComponent::createWidget(QWidget* Parent) {
  QWidget* widget = class_.Create(Parent);
  if (!core_.isNull()) {
    if (auto* state = dynamic_cast<TComponentState*>(widget)) state->SetDesignMode(true);
  }
  return widget;
}

void TDesignerComponent::initialize(QDesignerFormEditorInterface* Core) {
  if (core_.isNull()) core_ = Core;
}

QString TDesignerComponent::domXml() const {
  // The widget box shows the class name without the namespace; a new
  // instance is named after it, without the leading T: objectFileNavigator.
  const QString shortName = UnqualifiedClassName(class_.ClassName);
  QString objectName = shortName;
  if (objectName.size() > 1 && objectName.startsWith(QLatin1Char('T'))) objectName.remove(0, 1);
  if (!objectName.isEmpty()) objectName[0] = objectName[0].toLower();
  return QStringLiteral(
             "<ui language=\"c++\" displayname=\"%1\">\n"
             " <widget class=\"%2\" name=\"%3\"/>\n"
             "</ui>\n")
      .arg(shortName, class_.ClassName, objectName);
}

TCorvidDesignerPackage::TCorvidDesignerPackage(QObject* Parent) : QObject(Parent) {
  // The package registers once per process, however often it is loaded.
  static std::once_flag registered;
  std::call_once(registered, Register);
  for (const TPalettePage& page : PalettePages())
    for (const TComponentClass& c : page.Classes)
      widgets_.append(new TDesignerComponent(c, page.Name, this));
}

}  // namespace corvid
