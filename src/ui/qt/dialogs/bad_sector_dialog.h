// The bad-sector question: "&Retry", "Retry &All", "&Skip", "S&kip All" in a
// column on the right, the information picture and the text at the left.
// Closing it without a button (Escape) is Dismissed.
#pragma once

#include <QDialog>
#include <string_view>

#include "common/prompts.h"

namespace korv {

class SectorsBadStatusAction : public QDialog {
  Q_OBJECT
 public:
  SectorsBadStatusAction(QWidget* parent, std::string_view message);
  BadSectorAnswer answer() const { return answer_; }

  // Shows the dialog modally and returns the answer.
  static BadSectorAnswer Ask(QWidget* parent, std::string_view message);

 private:
  BadSectorAnswer answer_ = BadSectorAnswer::Dismissed;
};

}  // namespace korv
