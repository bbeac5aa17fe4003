// COrbMap: the world around the bot from above, as the session's world map
// holds it: the ball and its home, the avatars as marks pointing the way
// they face with their names, each kick as a line fading over ten seconds,
// and a grid in the location text's own form ("2n", "1w") with a scale.
// North is up and west is to the left. The wheel zooms about the pointer,
// dragging pans, a double-click centres on the ball, and hovering over an
// avatar shows its name and location text.
//
// Until the user pans or zooms, the view keeps the ball (or, before there
// is one, the home) in its middle; a double-click takes it back there.
//
// The page redraws at most 30 times a second: a change of the map only
// starts a timer, so that the pump that reports the change never waits for
// a repaint.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QPointF>
#include <QStaticText>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <utility>
#include <vector>

#include "app/world_map.h"

class COrbMap : public QWidget {
  Q_OBJECT

 public:
  using Clock = WorldMap::Clock;
  // The least time between two redraws, in ms.
  static constexpr int kFrameMs = 33;
  // Pixels a world unit: the widest and the closest view, and the first.
  static constexpr double kFarthest = 1e-8;
  static constexpr double kClosest = 4.0;
  static constexpr double kFirstScale = 0.08;
  // The avatars' marks: the ways they can face, and their size in pixels.
  static constexpr int kMarkTurns = 72;
  static constexpr int kMarkSize = 17;
  // How near a mark the pointer must be for its tooltip, in pixels.
  static constexpr int kHoverReach = 8;

  explicit COrbMap(const WorldMap* map, QWidget* parent = nullptr);

  // The map changed: a redraw follows, kFrameMs after the last at the
  // earliest. Cheap, and never paints.
  void MapChanged();

  // The world's x and z in the middle of the view, and its pixels a unit.
  QPointF Centre() const { return centre_; }
  double Scale() const { return scale_; }
  // Moves the view (the scale kept within kFarthest and kClosest); the view
  // then stays where it is put.
  void SetView(QPointF centre, double scale);
  // Centres on the ball (the home when there is none) and follows it again.
  void CentreOnBall();
  bool Following() const { return following_; }

  // A place's pixel in the page, and the place under a pixel.
  QPointF ToPixel(double x, double z) const;
  QPointF ToWorld(QPointF pixel) const;
  // The name and location text of the avatar whose mark is nearest pixel
  // within kHoverReach, as the tooltip shows it; empty for none.
  QString TextAt(QPoint pixel) const;

  // The redraw timer (single-shot), the paints so far, and the clock the
  // page reads for the kicks' fading and the pace of its redraws (tests
  // put their own in).
  const QTimer& RedrawTimer() const { return redraw_; }
  int Paints() const { return paints_; }
  void SetClock(std::function<Clock::time_point()> clock) { clock_ = std::move(clock); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Zooms about the pointer.
  void wheelEvent(QWheelEvent* event) override;
  // The tooltip of the avatar under the pointer.
  bool event(QEvent* event) override;

 protected:  // a drag with the left button pans; a double-click goes back to the ball
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // Starts the redraw timer for the time left until kFrameMs after the last
  // paint, unless it runs already.
  void ScheduleRedraw();
  // Keeps the view on the ball while following.
  void Follow();
  void PaintGrid(class QPainter& painter) const;
  void PaintScale(QPainter& painter) const;
  void PaintKicks(QPainter& painter, Clock::time_point now) const;
  void PaintBallAndHome(QPainter& painter) const;
  // The marks, then the names of those that have room beside them.
  void PaintAvatars(QPainter& painter);
  void PaintNames(QPainter& painter);
  // The laid-out label of a name, kept while the name is in use.
  const QStaticText& Label(const std::string& name);

  const WorldMap* map_;
  QPointF centre_;
  double scale_ = kFirstScale;
  bool following_ = true;
  bool dragging_ = false;
  QPoint drag_from_;
  QTimer redraw_;
  int paints_ = 0;
  bool painted_ = false;
  Clock::time_point last_paint_;
  std::function<Clock::time_point()> clock_ = [] { return Clock::now(); };
  QHash<QByteArray, QStaticText> labels_;
  std::array<QImage, kMarkTurns> marks_;
  // The avatars in sight at the last paint, with their pixels.
  std::vector<std::pair<QPointF, const MapAvatar*>> shown_;
};
