// CHyperLink: a label that is a web link. It shows its text in link colours,
// underlined, with a hand cursor and a tooltip of its target; it changes
// colour while hovered, while active (focused or pressed) and once visited,
// and opens its target on a click or the Space key. A failed open beeps and
// says why in a message box.
#pragma once

#include <QColor>
#include <QLabel>

#include "ui/launch.h"

class CHyperLink : public QLabel {
  Q_OBJECT

 public:
  enum Style {
    Underline = 1,
    HoverColour = 2,
    AutoSize = 4,
    OpenOnPress = 8,
    FocusOnClick = 16,
    NoHandCursor = 32,
    NoActiveColour = 64,
  };

  explicit CHyperLink(QWidget* parent = nullptr);

  // Binds the control to its text: an empty url takes the text, an empty
  // text shows the url; the link font, the cursor and the tooltip follow.
  void Attach();
  void SetUrl(const QString& url);
  QString Url() const { return url_; }
  // Removes and adds style flags: false (and nothing changes) when the two
  // share a flag. NoHandCursor counts only at Attach, which loads the hand
  // cursor or not.
  bool ChangeStyle(int remove, int add, bool redraw = true);
  int GetStyle() const { return style_; }
  void SetLinkFont(const QFont& font);
  // Fits the control to its text (only with AutoSize), keeping its alignment.
  void FitToText();
  // Opens the target; a failure beeps and shows its message.
  void Open();

  // The colour the text is drawn in now: hover, active, visited, or plain.
  QColor LinkColour() const;
  bool Hover() const { return hover_; }
  bool Active() const { return active_; }
  bool Visited() const { return visited_; }

  // The launcher that Open uses (tests inject one).
  void SetLauncher(Launcher launcher) { launcher_ = std::move(launcher); }

  // The message of a failed launch: "Can't open link:\n\n" and the code's text.
  static QString LaunchErrorText(int code);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ShowLaunchError(int code);

  QString url_;
  int style_ = Underline | AutoSize | FocusOnClick;
  bool hover_ = false;
  bool active_ = false;
  bool visited_ = false;
  Launcher launcher_;
};
