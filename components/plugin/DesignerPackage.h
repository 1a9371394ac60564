// The design-time package as a Qt Designer plugin: a custom-widget
// collection whose entries are the classes that Register() put on the
// palette, grouped under their palette page in Designer's widget box.
//
// Designer calls initialize() with its form editor on each entry before it
// creates widgets, and while that form editor exists the widgets the entry
// creates are in design mode. QUiLoader uses the same plugin to build forms
// at run time without calling initialize(), so the widgets it builds run
// normally.
#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include "corvid/components/plugin/ComponentPalette.h"

namespace corvid {

// The palette image registered under ResName, with its background (the
// colour of the bottom-left pixel) made transparent; a null icon when no
// such bitmap resource exists or it cannot be read.
QIcon PaletteIcon(const QString& ResName);

// One widget-box entry.
class TDesignerComponent : public QObject, public QDesignerCustomWidgetInterface {
  Q_OBJECT
  Q_INTERFACES(QDesignerCustomWidgetInterface)

 public:
  TDesignerComponent(TComponentClass Class, QString Group, QObject* Parent);

  QString name() const override { return class_.ClassName; }
  QString group() const override { return group_; }
  QString toolTip() const override;
  QString whatsThis() const override;
  QString includeFile() const override { return class_.IncludeFile; }
  QIcon icon() const override { return icon_; }
  bool isContainer() const override { return false; }
  QWidget* createWidget(QWidget* Parent) override;
  bool isInitialized() const override { return !core_.isNull(); }
  void initialize(QDesignerFormEditorInterface* Core) override;
  QString domXml() const override;

 private:
  TComponentClass class_;
  QString group_;
  QIcon icon_;
  QPointer<QDesignerFormEditorInterface> core_;  // Designer's, not owned
};

// The plugin's root object, which Designer and QUiLoader instantiate.
class TCorvidDesignerPackage : public QObject, public QDesignerCustomWidgetCollectionInterface {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface" FILE
                        "OdbReg.json")
  Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)

 public:
  explicit TCorvidDesignerPackage(QObject* Parent = nullptr);

  QList<QDesignerCustomWidgetInterface*> customWidgets() const override { return widgets_; }

 private:
  QList<QDesignerCustomWidgetInterface*> widgets_;  // children of this object
};

}  // namespace corvid
