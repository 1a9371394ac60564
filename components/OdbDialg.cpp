#include "corvid/components/OdbDialg.h"

#include <QPainter>
#include <filesystem>
#include <utility>

#include "corvid/components/OdbDialgHistory.h"
#include "corvid/components/OdbDialgText.h"
#include "corvid/odb/OdbDatabase.h"
#include "corvid/odb/OdbDriver.h"
#include "corvid/util/OdbMisc.h"

namespace corvid {

namespace {

// Side of the stand-in that a form designer shows for the component.
constexpr int DesignSide = 28;

TLoginDialogRunner& LoginDialogRunner() {
  static TLoginDialogRunner runner;
  return runner;
}

bool RunLoginDialog(TLoginDialog& Dialog) {
  const TLoginDialogRunner& runner = LoginDialogRunner();
  if (runner) return runner(Dialog);
  return Dialog.exec() == QDialog::Accepted;
}

}  // namespace

TLoginDialogRunner SetLoginDialogRunner(TLoginDialogRunner Runner) {
  return std::exchange(LoginDialogRunner(), std::move(Runner));
}

TOpenDatabaseDialog::TOpenDatabaseDialog(QWidget* Parent) : QWidget(Parent) {
  // A non-visual component: hidden explicitly, so that showing the form does
  // not show it, and of no size whatever geometry a form file gives it.
  setFixedSize(0, 0);
  setVisible(false);
}

TOpenDatabaseDialog::~TOpenDatabaseDialog() {
  if (DesignMode() || !IsLoaded()) return;
  try {
    SaveHistory();
  } catch (const std::exception& e) {
    if (DebugOutputStr != nullptr) DebugOutputStr(e.what());
  }
}

TOpenDatabaseDialog::TOpenDatabaseOptionFlags TOpenDatabaseDialog::GetOptionFlags() const {
  return TOpenDatabaseOptionFlags::fromInt(options_.Bits());
}

void TOpenDatabaseDialog::SetOptionFlags(TOpenDatabaseOptionFlags Value) {
  options_ = TOpenDatabaseOptions::FromBits(static_cast<std::uint8_t>(Value.toInt() & 0x0F));
}

void TOpenDatabaseDialog::Loaded() {
  TComponentState::Loaded();
  namespace fs = std::filesystem;
  const std::string file = QStringToPath(historyFile_);
  std::error_code ec;
  if (!file.empty() && fs::exists(file, ec) && !fs::is_directory(file, ec)) {
    // Everything is read before anything changes: a file that fails leaves
    // the component without histories, so it is never written back.
    TOpenDatabaseHistories read = ReadOpenDatabaseHistories(file);
    historyPath_ = fs::absolute(file).lexically_normal().string();
    lastDriver_ = std::move(read.LastDriver);
    databaseHistory_ = std::move(read.DatabaseHistory);
    serverHistory_ = std::move(read.ServerHistory);
    userHistory_ = std::move(read.UserHistory);
  } else {
    historyPath_ = file;
    lastDriver_.clear();
    databaseHistory_ = NewOpenDatabaseHistory();
    serverHistory_ = NewOpenDatabaseHistory();
    userHistory_ = NewOpenDatabaseHistory();
  }
}

std::unique_ptr<TObjectDatabase> TOpenDatabaseDialog::Execute() {
  EnsureLoaded();
  // A component without a parent has no form to be modal over.
  TLoginDialog dialog(*this, parentWidget() != nullptr ? window() : nullptr);
  if (!RunLoginDialog(dialog)) return nullptr;
  TLoginEntries entries = dialog.Entries();
  const TClass driverClass = GetOdbDriverClass(entries.Driver);
  auto database = std::make_unique<TObjectDatabase>(driverClass, entries.Database);
  database->Open(entries.Server, entries.User, entries.Password);
  Remember(entries);
  return database;
}

void TOpenDatabaseDialog::Remember(const TLoginEntries& Entries) {
  lastDriver_ = Entries.Driver;
  AddToOpenDatabaseHistory(*databaseHistory_, Entries.Database, historySize_);
  AddToOpenDatabaseHistory(*serverHistory_, Entries.Server, historySize_);
  AddToOpenDatabaseHistory(*userHistory_, Entries.User, historySize_);
}

void TOpenDatabaseDialog::SaveHistory() {
  if (databaseHistory_ == nullptr || historyPath_.empty()) return;
  // HistorySize may have shrunk since the histories were read.
  TrimOpenDatabaseHistory(*databaseHistory_, historySize_);
  TrimOpenDatabaseHistory(*serverHistory_, historySize_);
  TrimOpenDatabaseHistory(*userHistory_, historySize_);
  WriteOpenDatabaseHistories(historyPath_, lastDriver_, *databaseHistory_, *serverHistory_,
                             *userHistory_);
}

QSize TOpenDatabaseDialog::sizeHint() const {
  return DesignMode() ? QSize(DesignSide, DesignSide) : QSize(0, 0);
}

void TOpenDatabaseDialog::DesignModeChanged() {
  if (DesignMode()) {
    setFixedSize(DesignSide, DesignSide);
    setVisible(true);
  } else {
    setFixedSize(0, 0);
    setVisible(false);
  }
  update();
}

void TOpenDatabaseDialog::paintEvent(QPaintEvent* /*Event*/) {
  if (!DesignMode()) return;
  // A raised tile with a small database drum: the component's place on the
  // form, like the other non-visual components a designer shows.
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF tile = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  p.setPen(palette().color(QPalette::Dark));
  p.setBrush(palette().color(QPalette::Button));
  p.drawRoundedRect(tile, 3, 3);
  const QRectF drum(7, 6, 14, 16);
  const qreal lid = 5;
  p.setPen(QPen(QColor(40, 70, 120), 1));
  p.setBrush(QColor(120, 160, 215));
  p.drawRect(QRectF(drum.left(), drum.top() + lid / 2, drum.width(), drum.height() - lid));
  p.drawEllipse(QRectF(drum.left(), drum.bottom() - lid, drum.width(), lid));
  p.setPen(Qt::NoPen);
  p.drawRect(
      QRectF(drum.left() + 0.5, drum.top() + lid / 2, drum.width() - 1, drum.height() - lid));
  p.setPen(QPen(QColor(40, 70, 120), 1));
  p.drawLine(QPointF(drum.left(), drum.top() + lid / 2),
             QPointF(drum.left(), drum.bottom() - lid / 2));
  p.drawLine(QPointF(drum.right(), drum.top() + lid / 2),
             QPointF(drum.right(), drum.bottom() - lid / 2));
  p.setBrush(QColor(170, 200, 240));
  p.drawEllipse(QRectF(drum.left(), drum.top(), drum.width(), lid));
}

}  // namespace corvid
