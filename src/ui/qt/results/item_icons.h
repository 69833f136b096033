// How a found item looks in a list: its file-type icon (the folder icon, or
// the desktop's icon for the file's extension, each extension asked once),
// red for a deleted item and black otherwise, and the lists' font. The
// results list and the search dialog's list draw their rows alike.
#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QIcon>
#include <QString>

#include "engine/store.h"
#include "ui/logic/results_tree.h"

namespace korv {

class ItemIcons {
 public:
  QIcon IconOf(const Store& store, const ResultRow& row) const;

 private:
  // The file-type icon of each extension met so far (lower case, no dot).
  mutable QHash<QString, QIcon> iconByExtension_;
};

// A red that reads on the wizard's palette for deleted items, its ink for
// the others.
QColor ItemColour(bool deleted);
// The application's font (the desktop's size), plain.
QFont ItemFont();

}  // namespace korv
