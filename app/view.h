// What the application core needs of a front end: the login page's controls,
// the status page's status line and log, message boxes, and the quit
// request. The window and the console each implement it.
#pragma once

#include <cstdint>
#include <string>

// The login page's controls as text, in the form the user left them.
struct ControlTexts {
  std::string name;                  // 1000 "Bot name:"
  std::string citizen;               // 1001 "Citizen number:"
  std::string password;              // 1002 "Priv pwd:"
  std::string world;                 // 1003 "World:"
  std::string location;              // 1004 "Location:"
  std::string avatar;                // 1005 "Avatar:"
  bool disable_bot_kicking = false;  // 1009
  bool return_home = false;          // 1010
};

struct Colour {
  std::uint8_t red, green, blue;
};

inline constexpr Colour kBlue{0, 0, 255};
inline constexpr Colour kGreen{31, 143, 31};

enum class BoxIcon { kNone, kError, kWarning, kInformation };

class View {
 public:
  virtual ~View() = default;

  // The status page.
  virtual void SetStatus(const std::string& text) = 0;
  virtual void AppendLog(const std::string& text, Colour colour, bool bold, bool italic,
                         bool underline, bool newline) = 0;

  // A message box; owned boxes belong to the login page's window, the others
  // to none. It returns when the user has closed it.
  virtual void MessageBox(bool owned, const std::string& caption, const std::string& text,
                          BoxIcon icon) = 0;
  // The program file's name without its extension, the caption of some boxes.
  virtual std::string ApplicationName() const = 0;

  // The login page's control groups and its modified state (which enables
  // the main window's Apply button).
  virtual void EnableLoginControls(bool enable) = 0;
  virtual void EnableRunningControls(bool enable) = 0;
  virtual void SetModified(bool modified) = 0;

  // The field exchange: the controls as they stand, and filling them.
  virtual ControlTexts ReadControls() = 0;
  virtual void FillControls(const ControlTexts& texts) = 0;

  // Asks the program to end as if the user had pressed Quit.
  virtual void RequestQuit() = 0;

  // Called again and again while the version query waits for its server, a
  // wait that blocks the front end's thread: a front end with a window
  // repaints it here, and takes no user input. By default nothing happens.
  virtual void ServePainting() {}

  // What the session's world map shows has changed (an avatar came, moved
  // or left, the ball moved or was kicked): a front end with a map redraws
  // it when it next may. By default nothing happens.
  virtual void MapChanged() {}
};
