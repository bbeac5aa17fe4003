#include "ui/map_page.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/location_text.h"
#include "ui/dialog_units.h"

namespace {

constexpr double kIntLowest = -2147483648.0;
constexpr double kIntHighest = 2147483647.0;
// Grid lines and the scale bar are this far apart at the least, in pixels.
constexpr double kGridSpacing = 60;
// Tenths of a degree to radians.
constexpr double kRadiansPerTenth = 3.14159265358979323846 / 1800;
// The longest name shown beside a mark, in characters; the tooltip has all.
constexpr int kLabelLength = 24;
// The kick rule's reach around the ball, in world units.
constexpr int kKickReach = 150;

const QColor kBackground(246, 244, 236);
const QColor kGridLine(214, 210, 198);
const QColor kGridText(120, 116, 104);
const QColor kAvatarMark(31, 79, 143);
const QColor kAvatarName(40, 40, 40);
const QColor kNameGround(246, 244, 236, 200);
const QColor kBall(232, 112, 26);
const QColor kHome(31, 143, 31);

QString from_core(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The smallest of 1, 2 and 5 times a power of ten, in world units, that is
// at least kGridSpacing pixels long at scale.
long long grid_step(double scale) {
  for (long long power = 1; power < 1000000000000000000LL; power *= 10) {
    for (long long factor : {1, 2, 5}) {
      if (static_cast<double>(power * factor) * scale >= kGridSpacing) return power * factor;
    }
  }
  return 1000000000000000000LL;
}

// Cuts the line from a to b to what lies in rect: false when nothing does.
// Done here in doubles, since an end may lie far beyond what a painter's
// own coordinates can hold.
bool clip(QPointF& a, QPointF& b, const QRectF& rect) {
  double t0 = 0, t1 = 1;
  const double dx = b.x() - a.x(), dy = b.y() - a.y();
  auto edge = [&](double p, double q) {
    if (p == 0) return q >= 0;
    double r = q / p;
    if (p < 0) {
      if (r > t1) return false;
      t0 = std::max(t0, r);
    } else {
      if (r < t0) return false;
      t1 = std::min(t1, r);
    }
    return true;
  };
  if (!edge(-dx, a.x() - rect.left()) || !edge(dx, rect.right() - a.x()) ||
      !edge(-dy, a.y() - rect.top()) || !edge(dy, rect.bottom() - a.y())) {
    return false;
  }
  const QPointF start = a;
  a = start + QPointF(dx * t0, dy * t0);
  b = start + QPointF(dx * t1, dy * t1);
  return true;
}

// An avatar's mark facing one of the kMarkTurns ways, drawn once: a
// triangle whose point shows the way it faces.
QImage mark_facing(int turn) {
  QImage mark(COrbMap::kMarkSize, COrbMap::kMarkSize, QImage::Format_ARGB32_Premultiplied);
  mark.fill(Qt::transparent);
  QPainter painter(&mark);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kAvatarMark);
  double angle = turn * (3600.0 / COrbMap::kMarkTurns) * kRadiansPerTenth;
  const QPointF at(COrbMap::kMarkSize / 2.0, COrbMap::kMarkSize / 2.0);
  QPointF ahead(-std::sin(angle), -std::cos(angle)), side(-ahead.y(), ahead.x());
  const QPointF corners[3] = {at + ahead * 7, at - ahead * 4 + side * 4, at - ahead * 4 - side * 4};
  painter.drawPolygon(corners, 3);
  return mark;
}

}  // namespace

COrbMap::COrbMap(const WorldMap* map, QWidget* parent) : QWidget(parent), map_(map) {
  for (int turn = 0; turn < kMarkTurns; ++turn) marks_[turn] = mark_facing(turn);
  use_page_font(this);
  setObjectName("map");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::OpenHandCursor);
  redraw_.setSingleShot(true);
  connect(&redraw_, &QTimer::timeout, this, [this] { update(); });
  Follow();
}

void COrbMap::MapChanged() {
  ScheduleRedraw();
}

void COrbMap::ScheduleRedraw() {
  if (redraw_.isActive()) return;
  int wait = 0;
  if (painted_) {
    auto since = std::chrono::duration_cast<std::chrono::milliseconds>(clock_() - last_paint_);
    wait = std::clamp(kFrameMs - static_cast<int>(std::min<long long>(since.count(), kFrameMs)), 0,
                      kFrameMs);
  }
  redraw_.start(wait);
}

void COrbMap::SetView(QPointF centre, double scale) {
  centre_ = QPointF(std::clamp(centre.x(), kIntLowest, kIntHighest),
                    std::clamp(centre.y(), kIntLowest, kIntHighest));
  scale_ = std::clamp(scale, kFarthest, kClosest);
  following_ = false;
  ScheduleRedraw();
}

void COrbMap::Follow() {
  if (!following_) return;
  MapPoint at = map_->ball().value_or(map_->home());
  centre_ = QPointF(at.x, at.z);
}

void COrbMap::CentreOnBall() {
  following_ = true;
  Follow();
  ScheduleRedraw();
}

QPointF COrbMap::ToPixel(double x, double z) const {
  return QPointF(width() / 2.0 - (x - centre_.x()) * scale_,
                 height() / 2.0 - (z - centre_.y()) * scale_);
}

QPointF COrbMap::ToWorld(QPointF pixel) const {
  return QPointF(centre_.x() - (pixel.x() - width() / 2.0) / scale_,
                 centre_.y() - (pixel.y() - height() / 2.0) / scale_);
}

QString COrbMap::TextAt(QPoint pixel) const {
  const MapAvatar* nearest = nullptr;
  double best = kHoverReach * kHoverReach;
  for (const auto& by_session : map_->avatars()) {
    QPointF at = ToPixel(by_session.second.place.x, by_session.second.place.z) - pixel;
    double distance = at.x() * at.x() + at.y() * at.y();
    if (distance <= best) {
      best = distance;
      nearest = &by_session.second;
    }
  }
  return nearest != nullptr ? from_core(AvatarText(*nearest)) : QString();
}

void COrbMap::paintEvent(QPaintEvent*) {
  ++paints_;
  painted_ = true;
  last_paint_ = clock_();
  Follow();
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  PaintGrid(painter);
  PaintKicks(painter, last_paint_);
  PaintBallAndHome(painter);
  PaintAvatars(painter);
  PaintScale(painter);
  // A kick still fading is drawn again, at the same pace as any change.
  if (map_->Fading(last_paint_)) ScheduleRedraw();
}

void COrbMap::PaintGrid(QPainter& painter) const {
  const long long step = grid_step(scale_);
  const double reach_x = width() / 2.0 / scale_, reach_z = height() / 2.0 / scale_;
  QFontMetrics metrics(font());
  painter.setFont(font());
  auto lines = [&](double middle, double reach, auto draw) {
    auto first = static_cast<long long>(std::floor((middle - reach) / static_cast<double>(step)));
    auto last = static_cast<long long>(std::ceil((middle + reach) / static_cast<double>(step)));
    for (long long k = first; k <= last; ++k) draw(k * step);
  };
  lines(centre_.x(), reach_x, [&](long long x) {
    double at = ToPixel(static_cast<double>(x), 0).x();
    painter.setPen(kGridLine);
    painter.drawLine(QPointF(at, 0), QPointF(at, height()));
    painter.setPen(kGridText);
    painter.drawText(QPointF(at + 2, metrics.ascent() + 1), from_core(EastWestText(x)));
  });
  lines(centre_.y(), reach_z, [&](long long z) {
    double at = ToPixel(0, static_cast<double>(z)).y();
    painter.setPen(kGridLine);
    painter.drawLine(QPointF(0, at), QPointF(width(), at));
    painter.setPen(kGridText);
    painter.drawText(QPointF(2, at - 2), from_core(NorthSouthText(z)));
  });
}

void COrbMap::PaintScale(QPainter& painter) const {
  const long long step = grid_step(scale_);
  const double length = static_cast<double>(step) * scale_;
  const QPointF start(8, height() - 8);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(kGridText, 2));
  painter.drawLine(start, start + QPointF(length, 0));
  painter.drawLine(start, start - QPointF(0, 4));
  painter.drawLine(start + QPointF(length, 0), start + QPointF(length, -4));
  painter.drawText(start + QPointF(length + 4, 0), QString("%1 units").arg(step));
}

void COrbMap::PaintKicks(QPainter& painter, Clock::time_point now) const {
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QRectF inside = QRectF(rect()).adjusted(-10, -10, 10, 10);
  for (const MapKick& kick : map_->kicks()) {
    double strength = WorldMap::KickStrength(kick.at, now);
    if (strength <= 0) continue;
    QPointF from = ToPixel(kick.from.x, kick.from.z), to = ToPixel(kick.to.x, kick.to.z);
    bool arrives = inside.contains(to);
    if (!clip(from, to, inside)) continue;
    QColor colour = kBall;
    colour.setAlphaF(static_cast<float>(strength));
    painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(from, to);
    if (arrives) {
      painter.setBrush(colour);
      painter.drawEllipse(to, 2.5, 2.5);
    }
  }
}

void COrbMap::PaintBallAndHome(QPainter& painter) const {
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QRectF inside = QRectF(rect()).adjusted(-20, -20, 20, 20);
  QPointF home = ToPixel(map_->home().x, map_->home().z);
  if (inside.contains(home)) {
    painter.setPen(QPen(kHome, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(home - QPointF(4, 4), QSizeF(8, 8)));
    painter.drawText(home + QPointF(6, 12), "home");
  }
  if (!map_->ball()) return;
  QPointF ball = ToPixel(map_->ball()->x, map_->ball()->z);
  if (!inside.contains(ball)) return;
  double reach = kKickReach * scale_;
  if (reach >= 4) {  // where an avatar must stand to kick, when it can be seen
    painter.setPen(QPen(kBall, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(ball - QPointF(reach, reach), QSizeF(2 * reach, 2 * reach)));
  }
  painter.setPen(QPen(kBall.darker(160), 1));
  painter.setBrush(kBall);
  painter.drawEllipse(ball, 5, 5);
}

const QStaticText& COrbMap::Label(const std::string& name) {
  QByteArray key(name.data(), static_cast<qsizetype>(name.size()));
  auto found = labels_.find(key);
  if (found != labels_.end()) return *found;
  // Names come and go: the cache starts again before it outgrows those in use.
  if (labels_.size() > 2 * static_cast<qsizetype>(map_->avatars().size()) + 1024) labels_.clear();
  QString shown = from_core(ShownName(name));
  if (shown.size() > kLabelLength) shown = shown.left(kLabelLength - 1) + QChar(0x2026);
  QStaticText label(shown);
  label.setTextFormat(Qt::PlainText);
  label.prepare(QTransform(), font());
  return *labels_.insert(key, label);
}

void COrbMap::PaintAvatars(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QRectF inside = QRectF(rect()).adjusted(-10, -10, 10, 10);
  shown_.clear();
  for (const auto& by_session : map_->avatars()) {
    const MapAvatar& avatar = by_session.second;
    QPointF at = ToPixel(avatar.place.x, avatar.place.z);
    if (!inside.contains(at)) continue;
    shown_.push_back({at, &avatar});
    // The facing to the nearest of the marks drawn beforehand.
    int turn = static_cast<int>(std::lround(avatar.yaw / (3600.0 / kMarkTurns))) % kMarkTurns;
    const QImage& mark = marks_[turn < 0 ? turn + kMarkTurns : turn];
    painter.drawImage(at - QPointF(kMarkSize / 2.0, kMarkSize / 2.0), mark);
  }
  PaintNames(painter);
}

void COrbMap::PaintNames(QPainter& painter) {
  const int line = QFontMetrics(font()).height();
  // One name to a cell of the page, so that a crowd's names stay readable;
  // the tooltip names every mark.
  constexpr int kCellWidth = 40;
  QSet<qint64> taken;
  auto cell = [](int column, int row) { return (static_cast<qint64>(row) << 32) ^ column; };
  painter.setFont(font());
  painter.setPen(kAvatarName);
  for (const auto& [at, avatar] : shown_) {
    const QStaticText& label = Label(avatar->name);
    QPointF corner = at + QPointF(7, -line / 2.0);
    int top = static_cast<int>(std::floor(corner.y() / line));
    int first = static_cast<int>(std::floor(corner.x() / kCellWidth));
    int last = static_cast<int>(std::floor((corner.x() + label.size().width()) / kCellWidth));
    // The label spans two rows of cells at most, since it starts anywhere.
    auto each_cell = [&](auto visit) {
      for (int row = top; row <= top + 1; ++row) {
        for (int column = first; column <= last; ++column) {
          if (!visit(cell(column, row))) return false;
        }
      }
      return true;
    };
    if (!each_cell([&](qint64 place) { return !taken.contains(place); })) continue;
    each_cell([&](qint64 place) {
      taken.insert(place);
      return true;
    });
    painter.fillRect(QRectF(corner, label.size()), kNameGround);  // readable over marks
    painter.drawStaticText(corner, label);
  }
}

void COrbMap::wheelEvent(QWheelEvent* event) {
  QPointF pointer = event->position();
  QPointF under = ToWorld(pointer);
  double scale =
      std::clamp(scale_ * std::pow(2.0, event->angleDelta().y() / 480.0), kFarthest, kClosest);
  // The place under the pointer stays under it.
  SetView(QPointF(under.x() + (pointer.x() - width() / 2.0) / scale,
                  under.y() + (pointer.y() - height() / 2.0) / scale),
          scale);
  event->accept();
}

void COrbMap::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  dragging_ = true;
  drag_from_ = event->position().toPoint();
  setCursor(Qt::ClosedHandCursor);
}

void COrbMap::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return QWidget::mouseMoveEvent(event);
  QPoint to = event->position().toPoint(), moved = to - drag_from_;
  drag_from_ = to;
  // The world moves with the pointer: west is to the left, north up.
  SetView(centre_ + QPointF(moved.x() / scale_, moved.y() / scale_), scale_);
}

void COrbMap::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  dragging_ = false;
  setCursor(Qt::OpenHandCursor);
}

void COrbMap::mouseDoubleClickEvent(QMouseEvent*) {
  CentreOnBall();
}

bool COrbMap::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  auto* help = static_cast<QHelpEvent*>(event);
  QString text = TextAt(help->pos());
  if (text.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), text, this);
  }
  return true;
}
