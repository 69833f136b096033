// The folder each kind of file dialog starts in: the one the user last
// accepted in a dialog of that kind, kept with QSettings
// ($XDG_CONFIG_HOME/korvane/korvane.conf), one key per kind. A folder that
// is gone since is forgotten, so the dialog starts where Qt would.
#pragma once

#include <QString>

namespace korv {

enum class FolderUse { DiskFile, Log, ImagingTarget, SaveDestination };

// The last folder accepted for `use`; empty when none is kept or it is gone.
QString LastFolder(FolderUse use);
// Keeps the folder of `path` for `use`: `path` itself when it is a folder,
// else the folder holding it. An empty path keeps nothing.
void RememberFolder(FolderUse use, const QString& path);

}  // namespace korv
