// The volume list a partition scan ends on: the tree of the volumes found in
// the typed range under "File System", the type, size and extent of the
// selected one, and Back/Next. Next copies the selected volume's finds
// (the results page follows); Back frees the scan's lists and returns to
// the source page.
//
// The volume a node stands for is kept in the node itself, never read back
// from its text; the root node picks nothing and leaves Next disabled.
//
// Controls by object name: "pageToolbar", "stepPicture", "volumeTree",
// "noteLine", "typeValue", "sizeValue", "startValue", "endValue",
// "backButton", "nextButton".
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace korv {

class CHoverButton;
class LogSaver;
class PageToolbar;
class WizardHost;

class ExhaustiveDisplayPartitionInformation : public QWidget {
  Q_OBJECT
 public:
  explicit ExhaustiveDisplayPartitionInformation(WizardHost& host, QWidget* parent = nullptr);
  ~ExhaustiveDisplayPartitionInformation() override;

  // A scan has listed its volumes: the tree shows them with the first
  // selected. An empty list is said once, when the page shows.
  void Open();
  // The copy (and the results page after it) came back: the volume picked
  // before is selected again.
  void Returned();

  // The volume the selected node stands for; 0 for none.
  std::int64_t selectedVolume() const;

  // "&Save Log" and the "Save Log" toolbar button: the volumes and the
  // scan lists written on a short worker.
  void SaveLog();
  LogSaver& logSaver() { return *logSaver_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* MakeInformationPanel();
  QWidget* MakeButtonRow();
  void ShowEmptyNotice();
  void FillTree();
  void SelectVolume(std::int64_t number);
  void NodeSelected(QTreeWidgetItem* node);
  void ShowVolume(std::int64_t number);
  void ApplyToolbar();
  void ToolbarClicked(int button);
  void Next();
  void Back();

  WizardHost& host_;
  // The volume last picked, selected again when the page returns.
  std::int64_t currentVolume_ = 1;
  bool emptyNoticePending_ = false;
  std::unique_ptr<LogSaver> logSaver_;

  PageToolbar* toolbar_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QLabel* typeValue_ = nullptr;
  QLabel* sizeValue_ = nullptr;
  QLabel* startValue_ = nullptr;
  QLabel* endValue_ = nullptr;
  CHoverButton* back_ = nullptr;
  CHoverButton* next_ = nullptr;
};

}  // namespace korv
