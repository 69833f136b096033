// The Create Disk Image page: the target (an image folder, or another disk
// of the machine), "Multifile", Start and Back. Start checks the target and
// asks its questions, then the copy runs on the analysis page, which shows
// its progress and offers Stop; the page shows again when it ends.
//
// Object names: "imageTypeCombo", "targetLabel", "targetDiskCombo",
// "modelValue", "diskSizeValue", "pathField", "browseButton",
// "multifileCheck", "startButton", "backButton".
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "imaging/imaging_target.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace korv {

class CHoverButton;
class QtSaveQuestions;
class WizardHost;

inline constexpr std::string_view kCaptionBrowse = "&Browse";
inline constexpr std::string_view kCaptionStart = "&Start";

class CreateDiskImage : public QWidget {
  Q_OBJECT
 public:
  explicit CreateDiskImage(WizardHost& host, QWidget* parent = nullptr);
  ~CreateDiskImage() override;

  // The page opens for the range the source page selected.
  void Open();

  // Browse's folder picker; tests replace it, and the free-space query.
  std::function<QString()> chooseFolder;
  FreeSpaceFunction freeSpace;

  // The target of the run started last.
  const ImagingTarget& target() const { return target_; }

 private:
  void BuildControls();
  void FillTargetDisks();
  void ShowType();
  void ShowChosenDisk();
  void Browse();
  void Start();
  bool ChooseImageTarget(std::uint64_t imageBytes);
  bool ChooseDiskTarget(std::uint64_t imageBytes);

  WizardHost& host_;
  // Made on this thread, so that the copy-error dialog opens on it.
  std::unique_ptr<QtSaveQuestions> questions_;
  ImagingTarget target_;
  std::vector<TargetDiskChoice> disks_;

  QComboBox* typeCombo_ = nullptr;
  QLabel* targetLabel_ = nullptr;
  QComboBox* diskCombo_ = nullptr;
  QLabel* modelValue_ = nullptr;
  QLabel* sizeValue_ = nullptr;
  QLineEdit* pathField_ = nullptr;
  QPushButton* browseButton_ = nullptr;
  QCheckBox* multifile_ = nullptr;
  CHoverButton* backButton_ = nullptr;
  CHoverButton* startButton_ = nullptr;
};

}  // namespace korv
