#include "ui/about_page.h"

#include <QPixmap>

#include "app/ball.h"
#include "app/session.h"
#include "sdk/sdk.h"
#include "ui/dialog_units.h"

COrbAbout::COrbAbout(QWidget* parent) : QWidget(parent) {
  use_page_font(this);
  auto* title = new QLabel(QString("Simple Orbilo Build %1").arg(kApplicationBuild), this);
  title->setObjectName("1016");
  title->setAlignment(Qt::AlignHCenter);
  place(title, 23, 11, 173, 8);
  auto* logo = new QLabel(this);
  logo->setObjectName("logo");
  logo->setPixmap(QPixmap(":/orbilo/logo.png"));
  logo->setScaledContents(true);
  place(logo, 88, 23, 43, 40);
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
