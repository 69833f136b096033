// The first page of the wizard: the recovery modes as large picture buttons
// under the heading "Please Select Recovery Option", and the toolbar. The
// Create Disk Image button exists but stays hidden; modes whose work is not
// built yet are shown disabled.
//
// Object names: "deletedButton", "formattedButton", "partitionButton",
// "rawButton", "imageButton", "modeHeading", the toolbar's buttons.
#pragma once

#include <QWidget>
#include <map>

#include "common/recovery_mode.h"

namespace korv {

class CHoverButton;
class PageToolbar;

class CRecoveryMode : public QWidget {
  Q_OBJECT
 public:
  explicit CRecoveryMode(QWidget* parent = nullptr);

  CHoverButton* modeButton(RecoveryMode mode) const;
  PageToolbar* toolbar() const { return toolbar_; }

 signals:
  // `mode` is a RecoveryMode.
  void modeChosen(int mode);
  void helpRequested();

 private:
  QWidget* MakeModeButton(RecoveryMode mode, const char* objectName);

  std::map<RecoveryMode, CHoverButton*> buttons_;
  PageToolbar* toolbar_ = nullptr;
};

}  // namespace korv
