#include "ui/login_page.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpressionValidator>

#include <orbilo/sdk.h>

#include "ui/dialog_units.h"
#include "ui/message_boxes.h"
#include "ui/status_page.h"

namespace {

QMessageBox::Icon icon_of(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kError:
      return QMessageBox::Critical;
    case BoxIcon::kWarning:
      return QMessageBox::Warning;
    case BoxIcon::kInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// The core's text is single-byte: each byte is one character of Latin-1,
// both ways, so that a byte the settings hold comes back unchanged and a
// limit of N characters is a limit of N bytes.
QString from_core(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string to_core(const QString& text) {
  return text.toLatin1().toStdString();
}

// A text box takes at most limit characters from the user (no limit when 0),
// only characters that have a byte, and only digits when digits is set; text
// that the program puts there is not cut.
QValidator* entry_rule(QObject* parent, int limit, bool digits) {
  QString pattern = QString(digits ? "[0-9]" : "[\\x{1}-\\x{ff}]") +
                    (limit > 0 ? QString("{0,%1}").arg(limit) : "*");
  return new QRegularExpressionValidator(QRegularExpression(pattern), parent);
}

}  // namespace

COrbLogin::COrbLogin(COrbStatus* status, QWidget* parent) : QWidget(parent), status_(status) {
  use_page_font(this);
  QLineEdit* name = AddEdit(1000, "Bot name:", 11, 11, 46, 10, 53, 12);
  name->setValidator(entry_rule(name, 16, false));
  QLineEdit* citizen = AddEdit(1001, "Citizen number:", 106, 11, 159, 10, 53, 12);
  citizen->setValidator(entry_rule(citizen, 0, true));
  QLineEdit* password = AddEdit(1002, "Priv pwd:", 11, 25, 46, 23, 53, 12);
  password->setEchoMode(QLineEdit::Password);
  password->setValidator(entry_rule(password, 20, false));
  QLineEdit* world = AddEdit(1003, "World:", 133, 26, 159, 23, 54, 12);
  world->setValidator(entry_rule(world, 8, false));
  QLineEdit* location = AddEdit(1004, "Location:", 11, 38, 46, 36, 113, 12);
  location->setValidator(entry_rule(location, 0, false));
  QLineEdit* avatar = AddEdit(1005, "Avatar:", 168, 39, 196, 36, 17, 12);
  avatar->setValidator(entry_rule(avatar, 0, true));

  auto* kicking = new QCheckBox("Don't allow bots to kick the ball.", this);
  kicking->setObjectName("1009");
  place(kicking, 11, 52, 114, 10);
  auto* home = new QCheckBox("Automatically return to the home location every 2 minutes.", this);
  home->setObjectName("1010");
  place(home, 11, 64, 197, 10);
  auto* login = new QPushButton("&Login", this);
  login->setObjectName("1006");
  login->setDefault(true);
  place(login, 7, 90, 50, 14);
  auto* return_home = new QPushButton("&Return home", this);
  return_home->setObjectName("1012");
  return_home->setEnabled(false);
  place(return_home, 163, 90, 50, 14);

  connect(login, &QPushButton::clicked, this, [this] {
    WatchDescriptor();
    core_.OnLogin();
  });
  connect(return_home, &QPushButton::clicked, this, [this] { core_.OnReturnHome(); });
  for (int id : {1003, 1004, 1005}) {
    connect(Edit(id), &QLineEdit::textChanged, this, [this] {
      if (!filling_) core_.OnSettingChanged();
    });
  }
  for (QCheckBox* box : {kicking, home}) {
    connect(box, &QCheckBox::clicked, this, [this] { core_.OnSettingChanged(); });
  }
  // While the version query serves painting, the timers wait: the pump must
  // not run inside the query.
  connect(&pump_timer_, &QTimer::timeout, this, [this] { Pump(); });
  connect(&home_timer_, &QTimer::timeout, this, [this] {
    if (!serving_) core_.OnTimer(kHomeTimer);
  });
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

COrbLogin::~COrbLogin() {
  Finish();
}

QLineEdit* COrbLogin::AddEdit(int id, const char* text, int lx, int ly, int x, int y, int w,
                              int h) {
  auto* label = new QLabel(text, this);
  label->move(dialog_rect(this, lx, ly, 0, 0).topLeft());
  label->adjustSize();
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::number(id));
  place(edit, x, y, w, h);
  return edit;
}

QLineEdit* COrbLogin::Edit(int id) const {
  return findChild<QLineEdit*>(QString::number(id));
}
QCheckBox* COrbLogin::Box(int id) const {
  return findChild<QCheckBox*>(QString::number(id));
}
QPushButton* COrbLogin::Button(int id) const {
  return findChild<QPushButton*>(QString::number(id));
}

void COrbLogin::Initialise() {
  pump_timer_.start(kPumpIntervalMs);
  home_timer_.start(kHomeIntervalMs);
  core_.Init();
  WatchDescriptor();
}

void COrbLogin::SetDescriptorWake(bool on) {
  descriptor_wake_ = on;
  if (on) {
    WatchDescriptor();
  } else {
    wake_.reset();
  }
}

void COrbLogin::WatchDescriptor() {
  if (!descriptor_wake_ || finished_ || wake_ != nullptr) return;
  int descriptor = api_descriptor();
  if (descriptor < 0) return;  // the library is not up
  wake_ = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
  // A message from a server is answered as soon as it arrives, not at the
  // next tick of the pump timer.
  connect(wake_.get(), &QSocketNotifier::activated, this, [this] { Pump(); });
}

void COrbLogin::Pump() {
  if (!serving_) core_.OnTimer(kPumpTimer);
}

void COrbLogin::Finish() {
  if (finished_) return;
  finished_ = true;
  pump_timer_.stop();
  home_timer_.stop();
  wake_.reset();  // the descriptor ends with the library
  core_.Destroy();
}

bool COrbLogin::eventFilter(QObject* watched, QEvent* event) {
  // Enter acts as Space on the login page: it presses the focused button or
  // toggles the focused box, not the default button.
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      QKeyEvent space(event->type(), Qt::Key_Space, key->modifiers(), " ", key->isAutoRepeat(),
                      key->count());
      QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget()
                                                               : static_cast<QWidget*>(watched);
      QApplication::sendEvent(target, &space);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void COrbLogin::SetStatus(const std::string& text) {
  status_->SetStatus(from_core(text));
}

void COrbLogin::AppendLog(const std::string& text, Colour colour, bool bold, bool italic,
                          bool underline, bool newline) {
  status_->AppendLog(from_core(text), colour, bold, italic, underline, newline);
}

void COrbLogin::MessageBox(bool owned, const std::string& caption, const std::string& text,
                           BoxIcon icon) {
  MessageBoxes::Current()->Show(owned ? this : nullptr, from_core(caption), from_core(text),
                                icon_of(icon));
}

std::string COrbLogin::ApplicationName() const {
  return to_core(QFileInfo(QApplication::applicationFilePath()).completeBaseName());
}

void COrbLogin::EnableLoginControls(bool enable) {
  for (int id : {1006, 1000, 1001, 1002, 1003, 1004, 1005, 1009, 1010}) {
    if (QWidget* widget = findChild<QWidget*>(QString::number(id))) widget->setEnabled(enable);
  }
}

void COrbLogin::EnableRunningControls(bool enable) {
  for (int id : {1003, 1004, 1012, 1005, 1009, 1010}) {
    if (QWidget* widget = findChild<QWidget*>(QString::number(id))) widget->setEnabled(enable);
  }
}

void COrbLogin::SetModified(bool modified) {
  if (on_modified) on_modified(modified);
}

ControlTexts COrbLogin::ReadControls() {
  ControlTexts texts;
  texts.name = to_core(Edit(1000)->text());
  texts.citizen = to_core(Edit(1001)->text());
  texts.password = to_core(Edit(1002)->text());
  texts.world = to_core(Edit(1003)->text());
  texts.location = to_core(Edit(1004)->text());
  texts.avatar = to_core(Edit(1005)->text());
  texts.disable_bot_kicking = Box(1009)->isChecked();
  texts.return_home = Box(1010)->isChecked();
  return texts;
}

void COrbLogin::FillControls(const ControlTexts& texts) {
  filling_ = true;
  Edit(1000)->setText(from_core(texts.name));
  Edit(1001)->setText(from_core(texts.citizen));
  Edit(1002)->setText(from_core(texts.password));
  Edit(1003)->setText(from_core(texts.world));
  Edit(1004)->setText(from_core(texts.location));
  Edit(1005)->setText(from_core(texts.avatar));
  Box(1009)->setChecked(texts.disable_bot_kicking);
  Box(1010)->setChecked(texts.return_home);
  filling_ = false;
}

void COrbLogin::RequestQuit() {
  if (on_quit) on_quit();
}

void COrbLogin::MapChanged() {
  if (on_map_changed) on_map_changed();
}

void COrbLogin::ServePainting() {
  if (serving_) return;
  serving_ = true;
  // The descriptor stays readable while the pump waits: unwatched, it does
  // not keep the query's loop spinning.
  bool watching = WatchingDescriptor();
  if (watching) wake_->setEnabled(false);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  if (watching && wake_ != nullptr) wake_->setEnabled(true);
  serving_ = false;
}
