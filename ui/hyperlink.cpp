#include "ui/hyperlink.h"

#include <QApplication>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "ui/message_boxes.h"

namespace {

constexpr int kLaunchSuccessAbove = 32;

}  // namespace

CHyperLink::CHyperLink(QWidget* parent) : QLabel(parent), launcher_(system_launcher()) {
  // The Tab key reaches the link; a click gives it the focus only through
  // FocusOnClick.
  setFocusPolicy(Qt::TabFocus);
  setAttribute(Qt::WA_Hover);
  setMouseTracking(true);  // a move over the link sets hover again
}

void CHyperLink::Attach() {
  if (url_.isEmpty()) url_ = text();
  if (text().isEmpty()) setText(url_);
  QFont link = font();
  link.setUnderline((style_ & Underline) != 0);
  setFont(link);
  FitToText();
  if ((style_ & NoHandCursor) == 0) setCursor(Qt::PointingHandCursor);
  setToolTip(url_);
}

void CHyperLink::SetUrl(const QString& url) {
  url_ = url;
  FitToText();
  setToolTip(url_);
}

bool CHyperLink::ChangeStyle(int remove, int add, bool redraw) {
  if ((remove & add) != 0) return false;
  style_ = (style_ & ~remove) | add;
  if (!redraw) return true;
  if (((add | remove) & Underline) != 0) {
    QFont link = font();
    link.setUnderline((style_ & Underline) != 0);
    SetLinkFont(link);
  }
  if ((add & AutoSize) != 0) FitToText();
  // NoHandCursor counts at attachment only: the cursor stays as it was.
  update();
  return true;
}

void CHyperLink::SetLinkFont(const QFont& font) {
  setFont(font);
  FitToText();
  update();
}

void CHyperLink::FitToText() {
  if ((style_ & AutoSize) == 0) return;
  QFontMetrics metrics(font());
  QSize text = metrics.size(Qt::TextSingleLine, this->text());
  int frame = 2 * frameWidth();
  QRect rect = geometry();
  int width = text.width() + frame, height = text.height() + frame;
  Qt::Alignment align = alignment();
  int top =
      (align & Qt::AlignVCenter) != 0 ? rect.top() + (rect.height() - height) / 2 : rect.top();
  int left = rect.left();
  if ((align & Qt::AlignHCenter) != 0) {
    left = rect.left() + (rect.width() - width) / 2;
  } else if ((align & Qt::AlignRight) != 0) {
    left = rect.right() + 1 - width;
  }
  setGeometry(left, top, width, height);
}

QColor CHyperLink::LinkColour() const {
  if (hover_ && (style_ & HoverColour) != 0) return QColor(255, 0, 0);
  if (active_ && (style_ & NoActiveColour) == 0) return QColor(0, 128, 128);
  if (visited_) return QColor(128, 0, 128);
  return QColor(0, 0, 255);
}

void CHyperLink::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  painter.setPen(LinkColour());
  painter.drawText(contentsRect(), static_cast<int>(alignment()), text());
}

void CHyperLink::enterEvent(QEnterEvent* event) {
  hover_ = true;
  update();
  QLabel::enterEvent(event);
}

void CHyperLink::mouseMoveEvent(QMouseEvent* event) {
  if (!hover_ && rect().contains(event->position().toPoint())) {
    hover_ = true;
    update();
  }
  QLabel::mouseMoveEvent(event);
}

void CHyperLink::leaveEvent(QEvent* event) {
  hover_ = false;
  update();
  QLabel::leaveEvent(event);
}

void CHyperLink::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mousePressEvent(event);
  if ((style_ & FocusOnClick) != 0) setFocus(Qt::MouseFocusReason);
  if ((style_ & OpenOnPress) != 0) Open();
  active_ = true;
  update();
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QLabel::mouseReleaseEvent(event);
  if (active_ && (style_ & OpenOnPress) == 0) Open();
}

void CHyperLink::focusInEvent(QFocusEvent* event) {
  active_ = true;
  update();
  QLabel::focusInEvent(event);
}

void CHyperLink::focusOutEvent(QFocusEvent* event) {
  hover_ = false;
  active_ = false;
  update();
  QLabel::focusOutEvent(event);
}

void CHyperLink::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space) {
    Open();
    return;
  }
  QLabel::keyPressEvent(event);
}

void CHyperLink::Open() {
  int result = Launch(launcher_, url_);
  if (result <= kLaunchSuccessAbove) {
    QApplication::beep();
    ShowLaunchError(result);
    return;
  }
  visited_ = true;
  update();
}

QString CHyperLink::LaunchErrorText(int code) {
  QString text;
  switch (code) {
    case 0:
      text = "The operating system is out\nof memory or resources.";
      break;
    case 2:
      text = "The specified file was not found.";
      break;
    case 3:
      text = "The specified path was not found.";
      break;
    case 5:
      text = "The operating system denied\naccess to the specified file.";
      break;
    case 8:
      text = "There was not enough memory to complete the operation.";
      break;
    case 11:
      text = "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
      break;
    case 26:
      text = "A sharing violation occurred. ";
      break;
    case 27:
      text = "The filename association is\nincomplete or invalid.";
      break;
    case 28:
      text = "The DDE transaction could not\nbe completed because the request timed out.";
      break;
    case 29:
      text = "The DDE transaction failed.";
      break;
    case 30:
      text =
          "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
          "being processed.";
      break;
    case 31:
      text = "There is no application associated\nwith the given filename extension.";
      break;
    case 32:
      text = "The specified dynamic-link library was not found.";
      break;
    default:
      text = QString("Unknown Error (%1) occurred.").arg(code);
  }
  return "Can't open link:\n\n" + text;
}

void CHyperLink::ShowLaunchError(int code) {
  QString caption = QFileInfo(QApplication::applicationFilePath()).completeBaseName();
  MessageBoxes::Current()->Show(this, caption, LaunchErrorText(code), QMessageBox::Warning);
}
