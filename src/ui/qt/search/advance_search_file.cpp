#include "ui/qt/search/advance_search_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/session.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/pages/results_page.h"
#include "ui/qt/pictures.h"
#include "ui/qt/results/folder_tree_pane.h"
#include "ui/qt/results/item_icons.h"
#include "ui/qt/results/preview_controller.h"
#include "ui/qt/results/preview_pane.h"
#include "ui/qt/results/results_ticks.h"
#include "ui/qt/results/row_actions.h"
#include "ui/qt/save/data_copy_path.h"
#include "ui/qt/save/save_dialog_parts.h"
#include "ui/qt/search/search_results_model.h"
#include "ui/qt/wizard_host.h"

namespace korv {

namespace {

constexpr int kDaysListed = 31;
constexpr int kMonthsListed = 12;
// Digits only: the number is read as an unsigned 32-bit value.
constexpr int kSizeFieldDigits = 10;

template <typename Widget>
Widget* Named(Widget* widget, const char* objectName) {
  widget->setObjectName(QString::fromLatin1(objectName));
  return widget;
}

QComboBox* DayList(QWidget* parent, const char* name) {
  return save_parts::NumberList(parent, QString::fromLatin1(name), 1, kDaysListed, 2);
}
QComboBox* MonthList(QWidget* parent, const char* name) {
  return save_parts::NumberList(parent, QString::fromLatin1(name), 1, kMonthsListed, 2);
}
QComboBox* YearList(QWidget* parent, const char* name) {
  return save_parts::NumberList(parent, QString::fromLatin1(name), kFirstListedYear, kLastListedYear, 4);
}

CalendarDate DateOf(const QComboBox* day, const QComboBox* month, const QComboBox* year) {
  return {year->currentIndex() + kFirstListedYear, month->currentIndex() + 1, day->currentIndex() + 1};
}

void ShowDate(QComboBox* day, QComboBox* month, QComboBox* year, const CalendarDate& date) {
  save_parts::SelectIndex(day, date.day - 1);
  save_parts::SelectIndex(month, date.month - 1);
  save_parts::SelectIndex(year, date.year - kFirstListedYear);
}

QLineEdit* SizeField(QWidget* parent, const char* name, const std::string& text) {
  auto* field = Named(new QLineEdit(ToQString(text), parent), name);
  field->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kSizeFieldDigits)), field));
  return field;
}

}  // namespace

AdvanceSearchFile::AdvanceSearchFile(WizardHost& host, FolderTreePane& tree, ResultsTicks& ticks, QWidget* parent)
    : QDialog(parent),
      host_(host),
      tree_(tree),
      ticks_(ticks),
      workers_(*this),
      model_(std::make_unique<SearchResultsModel>(host.session().store, tree.tree())) {
  save_parts::StyleSaveDialog(this, parent, ToQString(kTitleSearchData));
  auto* split = new QSplitter(Qt::Horizontal, this);
  criteria_ = BuildCriteria();
  split->addWidget(criteria_);
  split->addWidget(BuildResults());
  split->setStretchFactor(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split, 1);
  resize(1100, 640);
  ConnectParts();
  ApplyBoxes();
}

AdvanceSearchFile::~AdvanceSearchFile() {
  ++generation_;
  EndSearchNow();
  workers_.TearDown();
  preview_->Cancel();
  workers_.WaitAll();
  preview_->EndWork();
  // The view goes before the model it shows.
  delete resultList_;
  resultList_ = nullptr;
}

QWidget* AdvanceSearchFile::BuildCriteria() {
  auto* panel = Named(new QWidget(this), "criteriaPanel");
  const SearchForm defaults;
  searchName_ = Named(new QLineEdit(panel), "searchName");
  searchName_->setPlaceholderText(ToQString(kHintSearchName));

  typeBox_ = Named(new QCheckBox(ToQString(kLabelTypeBox), panel), "typeBox");
  typeBox_->setChecked(defaults.typeTicked);
  includeDeleted_ = Named(new QRadioButton(ToQString(kLabelIncludeDeletedFiles), panel), "includeDeleted");
  excludeDeleted_ = Named(new QRadioButton(ToQString(kLabelExcludeDeletedFiles), panel), "excludeDeleted");
  onlyDeleted_ = Named(new QRadioButton(ToQString(kLabelOnlyDeletedFiles), panel), "onlyDeleted");
  includeDeleted_->setChecked(true);

  dateBox_ = Named(new QCheckBox(ToQString(kLabelDateBox), panel), "dateBox");
  dateBox_->setChecked(defaults.dateTicked);
  sizeBox_ = Named(new QCheckBox(ToQString(kLabelSizeBox), panel), "sizeBox");
  sizeBox_->setChecked(defaults.sizeTicked);

  searchButton_ = MakePageButton(picture::kSearchAdvanced, kCaptionStartSearch, "searchButton", panel);

  auto* column = new QVBoxLayout(panel);
  column->addWidget(save_parts::TextLabel(panel, kLabelSearchName));
  column->addWidget(searchName_);
  column->addSpacing(8);
  column->addWidget(typeBox_);
  for (QRadioButton* choice : {includeDeleted_, excludeDeleted_, onlyDeleted_}) column->addWidget(choice);
  column->addSpacing(8);
  column->addWidget(dateBox_);
  column->addWidget(BuildDateRow(panel));
  column->addSpacing(8);
  column->addWidget(sizeBox_);
  column->addWidget(BuildSizeRow(panel));
  column->addStretch(1);
  column->addWidget(searchButton_, 0, Qt::AlignLeft);
  return panel;
}

QWidget* AdvanceSearchFile::BuildDateRow(QWidget* parent) {
  dateRow_ = new QWidget(parent);
  const SearchForm defaults;
  dateKind_ = Named(new QComboBox(dateRow_), "dateKind");
  for (const SearchDateKind& kind : kSearchDateKinds) dateKind_->addItem(ToQString(kind.text));
  fromDay_ = DayList(dateRow_, "fromDay");
  fromMonth_ = MonthList(dateRow_, "fromMonth");
  fromYear_ = YearList(dateRow_, "fromYear");
  toDay_ = DayList(dateRow_, "toDay");
  toMonth_ = MonthList(dateRow_, "toMonth");
  toYear_ = YearList(dateRow_, "toYear");
  ShowDate(fromDay_, fromMonth_, fromYear_, defaults.from);
  ShowDate(toDay_, toMonth_, toYear_, defaults.to);

  auto* grid = new QGridLayout(dateRow_);
  grid->setContentsMargins(16, 0, 0, 0);
  grid->addWidget(save_parts::TextLabel(dateRow_, kLabelDateFormat), 0, 0, 1, 3);
  grid->addWidget(dateKind_, 1, 0, 1, 3);
  int place = 0;
  for (QComboBox* list : {fromDay_, fromMonth_, fromYear_}) grid->addWidget(list, 2, place++);
  grid->addWidget(save_parts::TextLabel(dateRow_, kLabelDateBetween), 3, 0, 1, 3);
  place = 0;
  for (QComboBox* list : {toDay_, toMonth_, toYear_}) grid->addWidget(list, 4, place++);
  return dateRow_;
}

QWidget* AdvanceSearchFile::BuildSizeRow(QWidget* parent) {
  sizeRow_ = new QWidget(parent);
  const SearchForm defaults;
  sizeFrom_ = SizeField(sizeRow_, "sizeFrom", defaults.sizeFrom);
  sizeTo_ = SizeField(sizeRow_, "sizeTo", defaults.sizeTo);
  sizeUnit_ = Named(new QComboBox(sizeRow_), "sizeUnit");
  for (const std::string_view unit : kSizeUnitNames) sizeUnit_->addItem(ToQString(unit));
  sizeUnit_->setCurrentIndex(static_cast<int>(defaults.sizeUnit));

  auto* grid = new QGridLayout(sizeRow_);
  grid->setContentsMargins(16, 0, 0, 0);
  grid->addWidget(save_parts::TextLabel(sizeRow_, kLabelSizeBetween), 0, 0, 1, 3);
  grid->addWidget(sizeFrom_, 1, 0);
  grid->addWidget(sizeTo_, 1, 1);
  grid->addWidget(sizeUnit_, 1, 2);
  return sizeRow_;
}

QWidget* AdvanceSearchFile::BuildResults() {
  auto* area = new QWidget(this);
  matchFound_ = Named(new QLabel(area), "matchFound");
  ShowMatchCount();

  resultList_ = Named(new QTableView(area), "resultList");
  resultList_->setModel(model_.get());
  resultList_->setShowGrid(true);
  resultList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  resultList_->setSelectionMode(QAbstractItemView::SingleSelection);
  resultList_->setWordWrap(false);
  resultList_->setFont(ItemFont());
  resultList_->verticalHeader()->hide();
  // Fixed row heights: the view never measures the rows it does not show.
  resultList_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  resultList_->verticalHeader()->setDefaultSectionSize(resultList_->fontMetrics().height() + 6);
  resultList_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  for (int column = 0; column < kSearchColumnCount; ++column) {
    resultList_->setColumnWidth(column, SearchColumnWidth(static_cast<SearchColumn>(column)));
  }

  selectAll_ = Named(new QCheckBox(ToQString(kLabelSelectAll), area), "selectAll");
  panelButton_ = Named(new QPushButton(ToQString(kCaptionHideCriteria), area), "panelButton");
  panelButton_->setAutoDefault(false);
  previewPane_ = Named(new PreviewPane(area), "previewPane");
  saveButton_ = MakePageButton(picture::kSave, kCaptionSave, "saveButton", area);

  auto* top = new QHBoxLayout;
  top->addWidget(panelButton_);
  top->addWidget(matchFound_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(selectAll_);
  bottom->addStretch(1);
  bottom->addWidget(saveButton_);
  auto* views = new QSplitter(Qt::Vertical, area);
  views->addWidget(resultList_);
  views->addWidget(previewPane_);
  views->setStretchFactor(0, 3);
  views->setStretchFactor(1, 2);
  auto* column = new QVBoxLayout(area);
  column->setContentsMargins(0, 0, 0, 0);
  column->addLayout(top);
  column->addWidget(views, 1);
  column->addLayout(bottom);
  return area;
}

void AdvanceSearchFile::ConnectParts() {
  preview_ = std::make_unique<PreviewController>(
      host_, *previewPane_, workers_, [this](bool enabled) { SetInputEnabled(enabled); },
      [this] { resultList_->setFocus(Qt::OtherFocusReason); }, this);
  rowActions_ = std::make_unique<RowActions>(host_.session().store, tree_, *preview_, [this] { return busy(); });
  rowActions_->ConnectView(*resultList_, [this](int row) { return model_->row(row); });

  connect(previewPane_, &PreviewPane::stopRequested, this, [this] { preview_->AskStop(); });
  connect(model_.get(), &SearchResultsModel::rowTickRequested, this,
          [this](int row, bool ticked) { ticks_.TickItem(model_->row(row), ticked); });
  connect(&ticks_, &ResultsTicks::ticksChanged, this, [this] { model_->RefreshAll(); });
  connect(&ticks_, &ResultsTicks::ticking, this, &AdvanceSearchFile::TickingChanged);
  connect(selectAll_, &QCheckBox::toggled, this, &AdvanceSearchFile::SelectAll);
  connect(searchButton_, &CHoverButton::clicked, this, &AdvanceSearchFile::SearchClicked);
  connect(saveButton_, &CHoverButton::clicked, this, &AdvanceSearchFile::SaveSelected);
  connect(panelButton_, &QPushButton::clicked, this, &AdvanceSearchFile::TogglePanel);
  for (QCheckBox* box : {typeBox_, dateBox_, sizeBox_}) connect(box, &QCheckBox::toggled, this, &AdvanceSearchFile::ApplyBoxes);
}

// Each box enables the controls it stands for.
void AdvanceSearchFile::ApplyBoxes() {
  for (QRadioButton* choice : {includeDeleted_, excludeDeleted_, onlyDeleted_}) choice->setEnabled(typeBox_->isChecked());
  dateRow_->setEnabled(dateBox_->isChecked());
  sizeRow_->setEnabled(sizeBox_->isChecked());
}

SearchForm AdvanceSearchFile::form() const {
  SearchForm form;
  form.name = searchName_->text().toStdString();
  form.typeTicked = typeBox_->isChecked();
  form.deleted = excludeDeleted_->isChecked() ? DeletedChoice::Exclude
                 : onlyDeleted_->isChecked()  ? DeletedChoice::DeletedOnly
                                              : DeletedChoice::Include;
  form.dateTicked = dateBox_->isChecked();
  form.dateKind = kSearchDateKinds[static_cast<std::size_t>(std::max(0, dateKind_->currentIndex()))].kind;
  form.from = DateOf(fromDay_, fromMonth_, fromYear_);
  form.to = DateOf(toDay_, toMonth_, toYear_);
  form.sizeTicked = sizeBox_->isChecked();
  form.sizeFrom = sizeFrom_->text().toStdString();
  form.sizeTo = sizeTo_->text().toStdString();
  form.sizeUnit = static_cast<SizeUnit>(std::max(0, sizeUnit_->currentIndex()));
  return form;
}

FileOpener& AdvanceSearchFile::fileOpener() { return preview_->opener(); }

void AdvanceSearchFile::SearchClicked() {
  if (searching()) {
    AskToEnd(kQuestionStopSearching);
    return;
  }
  StartSearch();
}

// The worker reads the store as the page left it; only flags change while
// it runs, and it reads none. Its batches and its end reach the dialog as
// queued calls, which are dropped once the dialog is gone.
void AdvanceSearchFile::StartSearch() {
  matchCount_ = 0;
  ShowMatchCount();
  ShowSearchButton(true);
  model_->Clear();
  {
    const QSignalBlocker blocker(selectAll_);
    selectAll_->setChecked(false);
  }
  selectAll_->setEnabled(false);
  control_.Reset();
  const unsigned generation = ++generation_;
  auto matcher = std::make_shared<const SearchMatcher>(CriteriaOf(form()), tree_.tree().fileSystem());
  const Store* store = &host_.session().store;
  search_ = std::thread([this, store, matcher, generation] {
    RunSearch(*store, *matcher, control_, [this, generation](std::vector<SearchMatch>&& batch) {
      QMetaObject::invokeMethod(
          this, [this, generation, batch = std::move(batch)] { Matched(generation, batch); }, Qt::QueuedConnection);
    });
    QMetaObject::invokeMethod(this, [this, generation] { SearchEnded(generation); }, Qt::QueuedConnection);
  });
}

void AdvanceSearchFile::Matched(unsigned generation, const std::vector<SearchMatch>& batch) {
  if (generation != generation_) return;
  model_->Add(batch);
  matchCount_ += batch.size();
  ShowMatchCount();
}

void AdvanceSearchFile::SearchEnded(unsigned generation) {
  if (generation != generation_ || !searching()) return;
  Finish();
}

void AdvanceSearchFile::AskToEnd(std::string_view question) {
  control_.RequestPause();
  const bool end = host_.AskQuestion(question);
  if (!end) {
    control_.Resume();
    return;
  }
  EndSearchNow();
  Finish();
}

// The worker never waits for the UI thread, so once it is let go from its
// checkpoint it ends at the next one.
void AdvanceSearchFile::EndSearchNow() {
  control_.RequestStop();
  control_.Resume();
  if (search_.joinable()) search_.join();
}

void AdvanceSearchFile::Finish() {
  if (search_.joinable()) search_.join();
  selectAll_->setEnabled(true);
  ShowSearchButton(false);
}

void AdvanceSearchFile::ShowSearchButton(bool searchRuns) {
  searchButton_->LoadPicture(searchRuns ? picture::kStop : picture::kSearchAdvanced, CHoverButton::Frames::Four);
  searchButton_->SetCaption(ToQString(searchRuns ? kCaptionStopSearch : kCaptionStartSearch));
}

void AdvanceSearchFile::ShowMatchCount() {
  matchFound_->setText(ToQString(kLabelMatchFound) + QString::number(matchCount_));
}

void AdvanceSearchFile::reject() {
  if (searching()) {
    AskToEnd(kQuestionStopSearchProcess);
    return;
  }
  QDialog::reject();
}

void AdvanceSearchFile::SelectAll(bool ticked) { ticks_.TickItems(model_->rows(), ticked); }

// While the page's worker writes the flags, the list neither takes input
// nor paints, so it never reads them meanwhile.
void AdvanceSearchFile::TickingChanged(bool running) {
  resultList_->setEnabled(!running);
  resultList_->setUpdatesEnabled(!running);
  selectAll_->setEnabled(!running && !searching());
  saveButton_->setEnabled(!running);
}

void AdvanceSearchFile::SaveSelected() {
  if (busy()) return;
  {
    DataCopyPath dialog(host_.session(), this);
    dialog.exec();
  }
  ticks_.Refresh();
}

void AdvanceSearchFile::TogglePanel() {
  const bool show = !criteria_->isVisible();
  criteria_->setVisible(show);
  panelButton_->setText(ToQString(show ? kCaptionHideCriteria : kCaptionShowCriteria));
  adjustSize();
}

void AdvanceSearchFile::SetInputEnabled(bool enabled) {
  resultList_->setEnabled(enabled);
  saveButton_->setEnabled(enabled);
}

bool AdvanceSearchFile::busy() const { return preview_->previewing() || tree_.storeBusy(); }

}  // namespace korv
