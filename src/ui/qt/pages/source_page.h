// The source page: the tree of sources ("This PC" > "Virtual Disks" >
// disks > partitions), the information panel and pie chart of the selected
// node, the range group of the range modes, and Back/Next.
//
// Controls by object name: "sourceTree", "pieChart", "infoLine1" to
// "infoLine4", "selectRange", "startingRange", "endingRange",
// "fileSystemChoice", "rangeGroup" (the range group's box), "hintLine",
// "backButton", "nextButton", "pageToolbar", "stepPicture".
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/recovery_mode.h"
#include "ui/logic/source_page_texts.h"
#include "ui/qt/log/log_commands.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace korv {

class CHoverButton;
class CPieChartWnd;
class PageToolbar;
class WizardHost;

inline constexpr std::string_view kBackCaption = "< &Back";
inline constexpr std::string_view kNextCaption = "&Next >";

class DeletedFilesRecovery : public QWidget {
  Q_OBJECT
 public:
  explicit DeletedFilesRecovery(WizardHost& host, QWidget* parent = nullptr);

  // The page is pushed from the mode page (the mode is in the wizard state):
  // controls as the mode wants them; the tree is filled once the page shows.
  void Open();
  // The chain that Next started came back to this page.
  void Returned();

  // The four information lines as shown.
  std::array<QString, 4> informationLines() const;

  // "Load log" (toolbar) and "&Load Log" (menu): the open dialog, the log's
  // header read here, then the analysis page loads its lists. Ignored while
  // a loaded log's chain is still open.
  void LoadLog();
  bool loadingLog() const { return loadingLog_; }

  // Tests answer the open dialog.
  std::function<LogPathChoice()> chooseLogFile;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* MakeInformationPanel();
  QWidget* MakeRangeGroup();
  QWidget* MakeButtonRow();

  void ScheduleFill();
  void FillTree();
  void AddTreeItems();
  void NodeSelected(QTreeWidgetItem* item);
  void ShowLines(const InformationLines& lines);
  void ShowPartitionLines();
  void ShowChart();
  void ShowRangeOfSelection();
  void ApplySelectRange();

  void Back();
  bool NextHasFocus() const;
  void NextClicked();
  void Next();
  void ToolbarClicked(int button);

  WizardHost& host_;
  PageToolbar* toolbar_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  std::array<QLabel*, 4> lines_{};
  CPieChartWnd* chart_ = nullptr;
  QWidget* rangeGroup_ = nullptr;
  QCheckBox* selectRange_ = nullptr;
  QLineEdit* startingRange_ = nullptr;
  QLineEdit* endingRange_ = nullptr;
  QComboBox* fileSystemChoice_ = nullptr;
  CHoverButton* back_ = nullptr;
  CHoverButton* next_ = nullptr;
  bool fillPending_ = false;
  // A log was loaded from this page: set until its chain comes back, when
  // the mode the page was opened for is restored.
  bool loadingLog_ = false;
  RecoveryMode modeBeforeLog_ = RecoveryMode::None;
};

}  // namespace korv
