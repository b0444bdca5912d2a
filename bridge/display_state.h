#pragma once

#include <QByteArray>
#include <QHash>
#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace vf {

// What a bridge keeps across its restarts, in a small file of its own for
// each display name: the newest thing the display was given (a text and its
// speed, or a blank display), the speed taken last, and a digest of the last
// retained payload seen on each of its text topics. Written whole, atomically.
struct DisplayState {
  std::optional<QString> text;  // the newest text given
  int textSpeed = 1;
  QString textTopic;
  bool blank = false;           // a clear or a text taken down came after it
  int speed = 1;                // the speed for the next text
  QHash<QString, QByteArray> retained;  // topic -> digest of its retained payload

  // The file of display `name`: in $STATE_DIRECTORY (its first folder, as
  // systemd's StateDirectory= sets it for the service), else in
  // $XDG_STATE_HOME/vf3360/, else in ~/.local/state/vf3360/.
  static QString pathFor(const QString &name, const QProcessEnvironment &environment);
  static QByteArray digest(const QByteArray &payload);

  // Why the file could not be used; empty when it was read or is not there.
  // What cannot be used is left out.
  QString load(const QString &path);
  QString save(const QString &path) const;
};

}  // namespace vf
