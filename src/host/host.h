// The services of the desktop that the program stands on: where it lives,
// who it is, the message box, and the way it ends.
#pragma once

#include "host/version.h"

#include <QByteArray>
#include <QIcon>
#include <QRect>
#include <QString>

#include <optional>

namespace host {

inline constexpr char AppTitle[] = "Tallowin";  // AppMajor, AppMinor: version.h

// The directory of the running executable, read afresh at every use.
QString AppPath();
// AppPath joined with a file name, such as "config.ini".
QString AppFile(const QString& name);

// The content of config.ini, for a program in the folder appDir: beside
// the program where that folder is the user's alone (theirs, writable by
// them and nobody else but their private group: a build, a copied folder),
// and config.ini, with every link on the way to it, is theirs too.
// Otherwise (installed for all users, or shared) the user's own
// $XDG_CONFIG_HOME/tallowin/config.ini once it exists; until then the file
// beside the program is still read when it is the folder owner's or the
// user's (an administrator may have made it), and the first save makes the
// user's own. Empty when there is no file to trust, or when the file opened
// is no longer one to trust. Reading creates nothing.
QByteArray ReadSettings(const QString& appDir);
// Where a save writes; creates nothing.
QString SettingsFile(const QString& appDir);
// The same, and makes the folder of the user's own file (0700, since the
// file holds a password) when it is the one.
QString SettingsFileToWrite(const QString& appDir);

// Twips (1/1440 inch) per horizontal screen pixel on the primary screen.
float TwipsPerPixelX();
// A rectangle given in twips, in pixels at the given scale.
QRect TwipsToPixels(int left, int top, int width, int height, float twipsPerPixel);

// Reads a file whole; empty when it is missing or unreadable.
QByteArray ReadFile(const QString& path);
// The picture of an icon file's bytes; nothing when they hold none.
std::optional<QIcon> LoadPicture(const QByteArray& file);

// What a person sees or what ends the process: tests put their own in place.
class Host {
 public:
  virtual ~Host() = default;
  // A modal box with the critical icon and one OK button, titled AppTitle;
  // its text is plain, never markup. Returns when the user dismisses it.
  virtual void MsgBox(const QString& prompt);
  // Ends the program at once, even from inside a nested event loop:
  // no further event or handler runs.
  virtual void End(int exitCode);
  // A failure the program cannot go on from: report it, then end.
  void RuntimeError(const QString& what);
};

}  // namespace host
