#include "ui/about_page.h"

#include <QPixmap>

#include <orbilo/sdk.h>
#include "app/ball.h"
#include "app/session.h"
#include "ui/dialog_units.h"

// The logo is a resource of this static library: nothing would pull its
// registration into the program unless it is asked for by name.
static void register_logo() {
  Q_INIT_RESOURCE(orbilo);
}

COrbAbout::COrbAbout(QWidget* parent) : QWidget(parent) {
  register_logo();
  use_page_font(this);
  auto* title = new QLabel(QString("Simple Orbilo Build %1").arg(kApplicationBuild), this);
  title->setObjectName("1016");
  title->setAlignment(Qt::AlignHCenter);
  place(title, 23, 11, 173, 8);
  // The logo at its own size, centred on its place: a bitmap keeps its
  // pixels whatever the font makes of the dialog units.
  auto* logo = new QLabel(this);
  logo->setObjectName("logo");
  QPixmap image(":/orbilo/logo.png");
  logo->setPixmap(image);
  QRect around = dialog_rect(this, 88, 23, 43, 40);
  QRect at(QPoint(0, 0), image.size());
  at.moveCenter(around.center());
  logo->setGeometry(at);
  auto* copyright = new QLabel(kCopyright, this);
  copyright->setObjectName("copyright");
  place(copyright, 30, 66, 158, 8);
  auto* build = new QLabel(
      QString("This version of Simple Orbilo uses SDK build %1.").arg(ORBILO_SDK_BUILD), this);
  build->setObjectName("1015");
  build->setAlignment(Qt::AlignHCenter);
  place(build, 23, 79, 173, 8);
  link_ = new CHyperLink(this);
  link_->setObjectName("1014");
  place(link_, 70, 92, 79, 8);
  link_->SetUrl(kMakerAddress);
  link_->Attach();
  link_->ChangeStyle(0, CHyperLink::Underline, true);
  link_->ChangeStyle(0, CHyperLink::HoverColour, true);
}
