// The search dialog, opened from the results page: the criteria (name,
// deleted state, one of the three dates, size), the search on a worker
// whose matches reach the list in batches through queued calls, and the
// list of matches, which is ticked, previewed, opened and saved as the
// results page's rows are (ResultsTicks, RowActions, PreviewController,
// the save dialogs).
//
// Stop ("&Stop Search") and Cancel or the close box while a search runs
// pause the worker at its next checkpoint and ask; Yes ends it and the
// dialog stays open, No lets it go on.
//
// Controls by object name: "criteriaPanel", "searchName", "typeBox",
// "includeDeleted", "excludeDeleted", "onlyDeleted", "dateBox", "dateKind",
// "fromDay", "fromMonth", "fromYear", "toDay", "toMonth", "toYear",
// "sizeBox", "sizeFrom", "sizeTo", "sizeUnit", "searchButton",
// "matchFound", "resultList", "selectAll", "panelButton", "previewPane",
// "saveButton"; the list's context menu holds "openAction".
#pragma once

#include <QDialog>
#include <memory>
#include <string_view>
#include <thread>
#include <vector>

#include "common/worker_control.h"
#include "search/search_worker.h"
#include "ui/logic/search_results.h"
#include "ui/qt/results/results_workers.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;

namespace korv {

class CHoverButton;
class FileOpener;
class FolderTreePane;
class PreviewController;
class PreviewPane;
class ResultsTicks;
class RowActions;
class SearchResultsModel;
class WizardHost;

inline constexpr std::string_view kTitleSearchData = "Search Data ";
inline constexpr std::string_view kLabelSearchName = "Enter Search Name ";
inline constexpr std::string_view kHintSearchName = "Example - *.xls";
inline constexpr std::string_view kLabelTypeBox = "Type";
inline constexpr std::string_view kLabelIncludeDeletedFiles = "Include Deleted File(s)";
inline constexpr std::string_view kLabelExcludeDeletedFiles = "Exclude Deleted File(s)";
inline constexpr std::string_view kLabelOnlyDeletedFiles = "Only Deleted File(s)";
inline constexpr std::string_view kLabelDateBox = "Date";
inline constexpr std::string_view kLabelDateFormat = "Date ( DD - MM - YYY)";
inline constexpr std::string_view kLabelDateBetween = "( Between )";
inline constexpr std::string_view kLabelSizeBox = "Size";
inline constexpr std::string_view kLabelSizeBetween = "Size between : ";
inline constexpr std::string_view kCaptionStartSearch = "&Start Search";
inline constexpr std::string_view kCaptionStopSearch = "&Stop Search";
inline constexpr std::string_view kLabelMatchFound = "Match Found : ";
inline constexpr std::string_view kLabelSelectAll = "Select/Unselect All";
inline constexpr std::string_view kCaptionShowCriteria = ">>";
inline constexpr std::string_view kCaptionHideCriteria = "<<";
inline constexpr std::string_view kQuestionStopSearching = "Do you want to stop data searching.";
inline constexpr std::string_view kQuestionStopSearchProcess = "Do you want to stop this process.";

class AdvanceSearchFile : public QDialog {
  Q_OBJECT
 public:
  // `tree` and `ticks` are the results page's: a folder opened here is
  // shown there, and ticks go through the page's rules.
  AdvanceSearchFile(WizardHost& host, FolderTreePane& tree, ResultsTicks& ticks, QWidget* parent = nullptr);
  ~AdvanceSearchFile() override;

  // What the criteria controls hold now.
  SearchForm form() const;
  bool searching() const { return search_.joinable(); }
  // Tests hold the worker still with it.
  WorkerControl& searchControl() { return control_; }
  // Tests replace how extracted files are opened.
  FileOpener& fileOpener();

  // Cancel, Escape and the close box: closes when no search runs, else asks
  // whether to end it.
  void reject() override;

 private:
  QWidget* BuildCriteria();
  QWidget* BuildDateRow(QWidget* parent);
  QWidget* BuildSizeRow(QWidget* parent);
  QWidget* BuildResults();
  void ConnectParts();
  void ApplyBoxes();

  void SearchClicked();
  void StartSearch();
  void Matched(unsigned generation, const std::vector<SearchMatch>& batch);
  void SearchEnded(unsigned generation);
  // Pauses the search and asks `question`; Yes ends it.
  void AskToEnd(std::string_view question);
  // The search has ended: its thread is joined and the controls restored.
  void Finish();
  void EndSearchNow();
  void ShowSearchButton(bool searchRuns);
  void ShowMatchCount();

  void SelectAll(bool ticked);
  void TickingChanged(bool running);
  void SaveSelected();
  void TogglePanel();
  void SetInputEnabled(bool enabled);
  bool busy() const;

  WizardHost& host_;
  FolderTreePane& tree_;
  ResultsTicks& ticks_;
  ResultsWorkers workers_;
  std::unique_ptr<SearchResultsModel> model_;
  std::unique_ptr<PreviewController> preview_;
  std::unique_ptr<RowActions> rowActions_;

  WorkerControl control_;
  std::thread search_;
  // Which search a queued batch or end belongs to; those of an earlier one
  // are dropped.
  unsigned generation_ = 0;
  std::size_t matchCount_ = 0;

  QWidget* criteria_ = nullptr;
  QLineEdit* searchName_ = nullptr;
  QCheckBox* typeBox_ = nullptr;
  QRadioButton* includeDeleted_ = nullptr;
  QRadioButton* excludeDeleted_ = nullptr;
  QRadioButton* onlyDeleted_ = nullptr;
  QCheckBox* dateBox_ = nullptr;
  QWidget* dateRow_ = nullptr;
  QComboBox* dateKind_ = nullptr;
  QComboBox* fromDay_ = nullptr;
  QComboBox* fromMonth_ = nullptr;
  QComboBox* fromYear_ = nullptr;
  QComboBox* toDay_ = nullptr;
  QComboBox* toMonth_ = nullptr;
  QComboBox* toYear_ = nullptr;
  QCheckBox* sizeBox_ = nullptr;
  QWidget* sizeRow_ = nullptr;
  QLineEdit* sizeFrom_ = nullptr;
  QLineEdit* sizeTo_ = nullptr;
  QComboBox* sizeUnit_ = nullptr;
  CHoverButton* searchButton_ = nullptr;
  QLabel* matchFound_ = nullptr;
  QTableView* resultList_ = nullptr;
  QCheckBox* selectAll_ = nullptr;
  QPushButton* panelButton_ = nullptr;
  PreviewPane* previewPane_ = nullptr;
  CHoverButton* saveButton_ = nullptr;
};

}  // namespace korv
