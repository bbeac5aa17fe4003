#include "ui/bot_tabs.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/about_page.h"
#include "ui/dialog_units.h"
#include "ui/login_page.h"
#include "ui/map_page.h"
#include "ui/status_page.h"

CBotTabs::CBotTabs(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Simple Orbilo");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  tabs_ = new QTabWidget(this);
  // All pages are made with the window: the status page can be written from
  // the first moment, the map follows the session from its start, and the
  // about page is filled at start.
  status_ = new COrbStatus;
  login_ = new COrbLogin(status_);
  map_ = new COrbMap(&login_->Core().map());
  about_ = new COrbAbout;
  QRect page = dialog_rect(login_, 0, 0, 220, 111);
  for (QWidget* each : {static_cast<QWidget*>(login_), static_cast<QWidget*>(status_),
                        static_cast<QWidget*>(map_), static_cast<QWidget*>(about_)}) {
    each->setFixedSize(page.size());
  }
  tabs_->addTab(login_, "Login");
  tabs_->addTab(status_, "Status");
  tabs_->addTab(map_, "Map");
  tabs_->addTab(about_, "About");
  tabs_->setCurrentIndex(0);

  apply_ = new QPushButton("&Apply", this);
  apply_->setObjectName("apply");
  apply_->setEnabled(false);
  apply_->setAutoDefault(false);
  quit_ = new QPushButton("Quit", this);
  quit_->setObjectName("quit");
  quit_->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(apply_);
  buttons->addWidget(quit_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  login_->on_modified = [this](bool modified) { apply_->setEnabled(modified); };
  login_->on_quit = [this] { close(); };
  login_->on_map_changed = [this] { map_->MapChanged(); };
  connect(apply_, &QPushButton::clicked, this, [this] { login_->Core().OnApply(); });
  connect(quit_, &QPushButton::clicked, this, [this] { close(); });
  login_->Initialise();
}

CBotTabs::~CBotTabs() {
  login_->Finish();
}

void CBotTabs::closeEvent(QCloseEvent* event) {
  if (login_->Serving()) {
    // The version query is waiting inside the login page: close once it
    // has returned, not under its feet.
    event->ignore();
    QTimer::singleShot(0, this, &CBotTabs::close);
    return;
  }
  login_->Finish();  // the session ends and the settings are saved
  QDialog::closeEvent(event);
  done(QDialog::Rejected);
}

void CBotTabs::reject() {
  close();
}
