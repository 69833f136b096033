// The desktop's answers about programs for files: the default handler of a
// MIME type (`xdg-mime query default`) and the installed applications (the
// desktop entries under the XDG data folders). Qt's own openUrl reports
// success as soon as xdg-open starts, whether or not anything handles the
// file, so the wizard asks first and offers a chooser when nothing does.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "ui/logic/desktop_entry.h"

class QMimeType;

namespace korv {

inline constexpr int kHandlerQueryTimeoutMs = 3000;
// Desktop entries read at most, over all folders.
inline constexpr int kMaxDesktopEntryFiles = 4000;

// The desktop id of the default handler of `mimeType`; empty when xdg-mime
// is missing, fails, takes longer than kHandlerQueryTimeoutMs or prints
// nothing.
QString QueryDefaultHandler(const QString& mimeType);

// The folders holding desktop entries, in order of precedence:
// $XDG_DATA_HOME/applications, then each of $XDG_DATA_DIRS + /applications.
QStringList ApplicationFolders();

// The applications described by the `.desktop` files of `folders` (their
// subfolders too, whose names become part of the desktop id), in folder
// order; files that do not describe an application are passed over.
std::vector<DesktopEntry> ReadApplications(const QStringList& folders);

// A MIME type with its aliases and every type it
// inherits: the types an application may declare to take it.
std::vector<std::string> TypesTaking(const QMimeType& type);

}  // namespace korv
