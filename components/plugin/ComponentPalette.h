// The form designer's component registration service: the one place where
// a design-time package hands over which components go on which palette
// page. The designer plugin (DesignerPackage.h) reads the pages back and
// offers one widget-box entry per registered class, in registration order.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

namespace corvid {

// A component class as the palette knows it.
struct TComponentClass {
  // The qualified C++ class name, as .ui files and uic's generated code
  // name it ("corvid::TObjectFileNavigator").
  QString ClassName;
  // The header that uic's generated code includes for the class.
  QString IncludeFile;
  // Makes a new instance owned by Parent.
  std::function<QWidget*(QWidget* Parent)> Create;
};

// Describes a widget class T that is constructible from a parent widget.
template <class T>
TComponentClass ComponentClass(const QString& IncludeFile) {
  return {QString::fromLatin1(T::staticMetaObject.className()), IncludeFile,
          [](QWidget* Parent) -> QWidget* { return new T(Parent); }};
}

struct TPalettePage {
  QString Name;
  std::vector<TComponentClass> Classes;
};

// Adds Classes, in order, to the palette page Page (created on first use).
// Throws std::invalid_argument on an empty page name or a class that is
// already registered on any page.
void RegisterComponents(const QString& Page, std::vector<TComponentClass> Classes);

// The registered pages in the order of their first registration.
const std::vector<TPalettePage>& PalettePages();

// The class name without its namespace: "TObjectFileNavigator". The name
// under which the palette image is looked up is its upper-case form.
QString UnqualifiedClassName(const QString& ClassName);

}  // namespace corvid
