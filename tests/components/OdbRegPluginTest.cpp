// The design-time package as Designer and QUiLoader see it: the built plugin
// is loaded from the build folder, its palette entries are checked, and a
// form holding both components is built from a .ui file, once by QUiLoader
// through the plugin and once by uic's generated code.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QUiLoader>
#include <QXmlStreamReader>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <memory>

#include "corvid/components/Component.h"
#include "corvid/components/OdbDialg.h"
#include "corvid/components/OdbNav.h"
#include "ui_OdbRegForm.h"

namespace corvid {
namespace {

// Loads the package as Designer does. The plugin's root object is shared by
// every loader in the process (QUiLoader's too); an entry is in Designer's
// hands while the form editor given to initialize() exists.
class OdbRegPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    package_ = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(loader_.instance());
    ASSERT_NE(package_, nullptr) << loader_.errorString().toStdString();
  }

  QPluginLoader loader_{QStringLiteral(CORVID_DESIGNER_PLUGIN)};
  QDesignerCustomWidgetCollectionInterface* package_ = nullptr;
};

// The plugin's widgets come from its own copy of the components library,
// so they are recognised by class name and reached through their
// properties, as Designer reaches them.
bool InDesignMode(QWidget* Widget) {
  auto* state = dynamic_cast<TComponentState*>(Widget);
  return state != nullptr && state->DesignMode();
}

TEST_F(OdbRegPlugin, PutsTheTwoComponentsOnThePageCorvidOdb) {
  EXPECT_EQ(loader_.metaData().value("MetaData").toObject().value("Description").toString(),
            "Corvid Object Database Design Time Package");

  const QList<QDesignerCustomWidgetInterface*> entries = package_->customWidgets();
  ASSERT_EQ(entries.size(), 2);
  EXPECT_EQ(entries[0]->name(), "corvid::TObjectFileNavigator");
  EXPECT_EQ(entries[1]->name(), "corvid::TOpenDatabaseDialog");
  EXPECT_EQ(entries[0]->includeFile(), "corvid/components/OdbNav.h");
  EXPECT_EQ(entries[1]->includeFile(), "corvid/components/OdbDialg.h");
  for (QDesignerCustomWidgetInterface* entry : entries) {
    SCOPED_TRACE(entry->name().toStdString());
    EXPECT_EQ(entry->group(), "Corvid ODB");
    EXPECT_FALSE(entry->isContainer());
    EXPECT_EQ(entry->icon().availableSizes(), QList<QSize>{QSize(24, 24)});
    // The background is transparent, the drawing is not.
    const QImage image = entry->icon().pixmap(24, 24).toImage();
    EXPECT_EQ(qAlpha(image.pixel(0, 23)), 0);
    EXPECT_EQ(qAlpha(image.pixel(12, 12)), 255);
    // Designer creates new instances from domXml: it must name the class.
    QXmlStreamReader xml(entry->domXml());
    while (!xml.atEnd() && !(xml.isStartElement() && xml.name() == QLatin1String("widget")))
      xml.readNext();
    EXPECT_EQ(xml.attributes().value("class").toString(), entry->name());
  }
}

TEST_F(OdbRegPlugin, WidgetsCreatedInDesignerAreInDesignMode) {
  const QList<QDesignerCustomWidgetInterface*> entries = package_->customWidgets();
  ASSERT_EQ(entries.size(), 2);

  // Before Designer initialises an entry (QUiLoader never does), widgets
  // are made for running.
  QWidget form;
  std::unique_ptr<QWidget> running(entries[1]->createWidget(&form));
  ASSERT_NE(running, nullptr);
  EXPECT_FALSE(InDesignMode(running.get()));

  auto core = std::make_unique<QDesignerFormEditorInterface>();
  for (QDesignerCustomWidgetInterface* entry : entries) entry->initialize(core.get());
  for (QDesignerCustomWidgetInterface* entry : entries) {
    SCOPED_TRACE(entry->name().toStdString());
    EXPECT_TRUE(entry->isInitialized());
    std::unique_ptr<QWidget> widget(entry->createWidget(&form));
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parent(), &form);
    EXPECT_EQ(QString::fromLatin1(widget->metaObject()->className()), entry->name());
    EXPECT_TRUE(InDesignMode(widget.get()));
  }

  std::unique_ptr<QWidget> navigator(entries[0]->createWidget(&form));
  ASSERT_TRUE(navigator->setProperty("AutoPost", true));
  EXPECT_TRUE(navigator->property("AutoPost").toBool());
  ASSERT_TRUE(navigator->setProperty("SearchIndices", QStringList{"ByName;Name"}));
  EXPECT_EQ(navigator->property("SearchIndices").toStringList(), QStringList{"ByName;Name"});

  // A loaded dialog writes its history when destroyed, unless it lived
  // only in Designer.
  QTemporaryDir dir;
  const QString designedHistory = dir.filePath("designed.odb");
  const QString runningHistory = dir.filePath("running.odb");
  std::unique_ptr<QWidget> designed(entries[1]->createWidget(&form));
  ASSERT_TRUE(designed->setProperty("HistoryFile", designedHistory));
  ASSERT_TRUE(running->setProperty("HistoryFile", runningHistory));
  dynamic_cast<TComponentState&>(*designed).EnsureLoaded();
  dynamic_cast<TComponentState&>(*running).EnsureLoaded();
  designed.reset();
  running.reset();
  EXPECT_FALSE(QFileInfo::exists(designedHistory));
  EXPECT_TRUE(QFileInfo::exists(runningHistory));

  // Once Designer's form editor is gone, nothing is made for it any more.
  core.reset();
  std::unique_ptr<QWidget> later(entries[0]->createWidget(&form));
  EXPECT_FALSE(InDesignMode(later.get()));
}

// The properties that OdbRegForm.ui sets, as each form reads them back.
void ExpectFormProperties(QWidget* Navigator, QWidget* Dialog) {
  ASSERT_NE(Navigator, nullptr);
  ASSERT_NE(Dialog, nullptr);
  EXPECT_STREQ(Navigator->metaObject()->className(), "corvid::TObjectFileNavigator");
  EXPECT_STREQ(Dialog->metaObject()->className(), "corvid::TOpenDatabaseDialog");
  EXPECT_TRUE(Navigator->property("AutoPost").toBool());
  EXPECT_EQ(Navigator->property("SearchIndices").toStringList(),
            (QStringList{"ByName;Name", "ByCity"}));
  EXPECT_EQ(Dialog->property("DriverList").toStringList(), (QStringList{"SQLite", "Memory"}));
  EXPECT_EQ(Dialog->property("HistoryFile").toString(), "corvid-history.odb");
  EXPECT_EQ(Dialog->property("HistorySize").toInt(), 3);
  EXPECT_EQ(Dialog->property("Options").toInt(), 0b1110);  // database, server, user
  EXPECT_EQ(Dialog->property("DefaultDriver").toString(), "SQLite");
  EXPECT_EQ(Dialog->property("DefaultDatabase").toString(), "contacts.db");
  EXPECT_EQ(Dialog->property("DefaultServer").toString(), "localhost");
  EXPECT_EQ(Dialog->property("DefaultUser").toString(), "ada");
  EXPECT_FALSE(InDesignMode(Navigator));
  EXPECT_FALSE(InDesignMode(Dialog));
}

TEST_F(OdbRegPlugin, UiLoaderBuildsTheFormThroughThePlugin) {
  QUiLoader loader;
  // Only the package's own folder, not the system's designer plugins.
  loader.clearPluginPaths();
  loader.addPluginPath(QFileInfo(QStringLiteral(CORVID_DESIGNER_PLUGIN)).absolutePath());
  QFile file(QStringLiteral(CORVID_ODBREG_FORM));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const std::unique_ptr<QWidget> form(loader.load(&file));
  ASSERT_NE(form, nullptr) << loader.errorString().toStdString();
  ExpectFormProperties(form->findChild<QWidget*>("navigator"),
                       form->findChild<QWidget*>("openDatabaseDialog"));
}

TEST(OdbRegForm, UicFormUsesTheComponentsAtRunTime) {
  QWidget form;
  Ui::OdbRegForm ui;
  ui.setupUi(&form);
  ExpectFormProperties(ui.navigator, ui.openDatabaseDialog);
  EXPECT_EQ(ui.openDatabaseDialog->GetOptions(),
            (TOpenDatabaseOptions{ShowDatabase, ShowServer, ShowUser}));
  EXPECT_EQ(ui.openDatabaseDialog->GetHistorySize(), 3);
  form.show();
  EXPECT_TRUE(ui.navigator->isVisible());
  // The dialog is non-visual: it takes no room on a running form.
  EXPECT_FALSE(ui.openDatabaseDialog->isVisible());
}

}  // namespace
}  // namespace corvid
