#include "ui/qt/save/data_saving_settings.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt/dialogs/message_dialogs.h"
#include "ui/qt/pictures.h"
#include "ui/qt/save/save_dialog_parts.h"

namespace korv {

namespace {

inline constexpr std::string_view kButtonAddExtension = "&>>";
inline constexpr std::string_view kButtonRemoveExtension = "<<";
inline constexpr std::string_view kButtonApply = "&Apply";
inline constexpr std::string_view kButtonCancelSettings = "Cancel";

constexpr int kDaysListed = 31;
constexpr int kMonthsListed = 12;

// The ends a range that is off shows: the whole span of the lists, which
// is stored as off again when it is chosen.
constexpr CalendarDate kFirstListed{kFirstListedYear, 1, 1};
constexpr CalendarDate kLastListed{kLastListedYear, 12, kDaysListed};

}  // namespace

using save_parts::NumberList;
using save_parts::SelectIndex;

DataSavingSettings::DataSavingSettings(SaveFilters& filters, QWidget* parent)
    : QDialog(parent), filters_(filters), original_(filters) {
  save_parts::StyleSaveDialog(this, parent);
  auto* column = new QVBoxLayout(this);
  column->setSizeConstraint(QLayout::SetFixedSize);
  column->addWidget(BuildDeletedChoice());
  column->addWidget(BuildExtensions());
  column->addWidget(BuildDateRanges());

  QPushButton* apply = save_parts::Button(this, kButtonApply, "applyButton");
  QPushButton* cancel = save_parts::Button(this, kButtonCancelSettings, "cancelButton");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(apply);
  buttons->addWidget(cancel);
  column->addLayout(buttons);
  connect(apply, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &DataSavingSettings::reject);

  ShowExtensions();
  ShowDateRange();
}

QWidget* DataSavingSettings::BuildDeletedChoice() {
  struct Choice {
    std::string_view label;
    const char* objectName;
    DeletedChoice choice;
  };
  static constexpr Choice kChoices[] = {
      {kLabelIncludeDeleted, "includeDeleted", DeletedChoice::Include},
      {kLabelExcludeDeleted, "excludeDeleted", DeletedChoice::Exclude},
      {kLabelDeletedOnly, "deletedOnly", DeletedChoice::DeletedOnly},
  };
  auto* box = new QWidget(this);
  auto* layout = new QVBoxLayout(box);
  layout->setContentsMargins(0, 0, 0, 0);
  for (const Choice& entry : kChoices) {
    auto* radio = new QRadioButton(DisplayQString(entry.label), box);
    radio->setObjectName(QString::fromLatin1(entry.objectName));
    radio->setChecked(filters_.deletedChoice == entry.choice);
    const DeletedChoice choice = entry.choice;
    connect(radio, &QRadioButton::toggled, this, [this, choice](bool on) {
      if (on) ChooseDeleted(choice);
    });
    deletedChoices_[static_cast<int>(entry.choice)] = radio;
    layout->addWidget(radio);
  }
  return box;
}

QWidget* DataSavingSettings::BuildExtensions() {
  auto* box = new QWidget(this);
  auto* layout = new QGridLayout(box);
  layout->setContentsMargins(0, 8, 0, 8);
  layout->addWidget(save_parts::TextLabel(box, kLabelAddExtensions), 0, 0);
  extensionEdit_ = new QLineEdit(box);
  extensionEdit_->setObjectName(QStringLiteral("extensionEdit"));
  layout->addWidget(extensionEdit_, 1, 0, Qt::AlignTop);

  auto* arrows = new QVBoxLayout;
  QPushButton* add = save_parts::Button(box, kButtonAddExtension, "addExtension");
  QPushButton* remove = save_parts::Button(box, kButtonRemoveExtension, "removeExtension");
  arrows->addWidget(add);
  arrows->addWidget(remove);
  arrows->addStretch(1);
  layout->addLayout(arrows, 1, 1);

  extensionList_ = new QListWidget(box);
  extensionList_->setObjectName(QStringLiteral("extensionList"));
  extensionList_->setSelectionMode(QAbstractItemView::SingleSelection);
  extensionList_->setFixedHeight(110);
  layout->addWidget(extensionList_, 1, 2);

  connect(add, &QPushButton::clicked, this, &DataSavingSettings::AddExtension);
  connect(remove, &QPushButton::clicked, this, &DataSavingSettings::RemoveExtension);
  return box;
}

QWidget* DataSavingSettings::BuildDateRanges() {
  auto* box = new QGroupBox(DisplayQString(kLabelDateRange), this);
  auto* layout = new QGridLayout(box);
  dateKind_ = new QComboBox(box);
  dateKind_->setObjectName(QStringLiteral("dateKind"));
  for (const std::string_view name : kDateKindNames) dateKind_->addItem(ToQString(name));
  layout->addWidget(dateKind_, 0, 0, 1, 4);

  from_ = BuildDateRow("from");
  to_ = BuildDateRow("to");
  layout->addWidget(save_parts::TextLabel(box, kLabelBetween), 1, 0);
  int column = 1;
  for (QComboBox* list : {from_.day, from_.month, from_.year}) layout->addWidget(list, 1, column++);
  column = 1;
  for (QComboBox* list : {to_.day, to_.month, to_.year}) layout->addWidget(list, 2, column++);

  connect(dateKind_, &QComboBox::currentIndexChanged, this, &DataSavingSettings::ShowDateRange);
  for (QComboBox* list : {from_.day, from_.month, from_.year, to_.day, to_.month, to_.year}) {
    connect(list, &QComboBox::currentIndexChanged, this, &DataSavingSettings::StoreDateRange);
  }
  return box;
}

DataSavingSettings::DateRow DataSavingSettings::BuildDateRow(const char* prefix) {
  const QString name = QString::fromLatin1(prefix);
  return DateRow{NumberList(this, name + QStringLiteral("Day"), 1, kDaysListed, 2),
                 NumberList(this, name + QStringLiteral("Month"), 1, kMonthsListed, 2),
                 NumberList(this, name + QStringLiteral("Year"), kFirstListedYear, kLastListedYear, 4)};
}

void DataSavingSettings::ChooseDeleted(DeletedChoice choice) { filters_.deletedChoice = choice; }

void DataSavingSettings::AddExtension() {
  if (const auto refusal = filters_.AddExtension(extensionEdit_->text().toStdString())) {
    ShowMessageBox(this, *refusal);
    return;
  }
  // Empty text adds nothing and says nothing.
  if (extensionEdit_->text().isEmpty()) return;
  extensionEdit_->clear();
  ShowExtensions();
  extensionList_->setCurrentRow(0);
}

void DataSavingSettings::RemoveExtension() {
  const int row = extensionList_->currentRow();
  if (row < 0 || extensionList_->selectedItems().isEmpty()) return;
  filters_.RemoveExtension(static_cast<std::size_t>(row));
  ShowExtensions();
}

void DataSavingSettings::ShowExtensions() {
  extensionList_->clear();
  for (const std::string& extension : filters_.extensions) extensionList_->addItem(ToQString(extension));
}

void DataSavingSettings::ShowDateRange() {
  const DateRange& range = filters_.dateRange(static_cast<DateKind>(dateKind_->currentIndex()));
  const bool on = range != DateRange{};
  const CalendarDate from = on ? range.from : kFirstListed;
  const CalendarDate to = on ? range.to : kLastListed;
  const auto show = [](const DateRow& row, const CalendarDate& date) {
    const QSignalBlocker dayBlock(row.day), monthBlock(row.month), yearBlock(row.year);
    SelectIndex(row.day, date.day - 1);
    SelectIndex(row.month, date.month - 1);
    SelectIndex(row.year, date.year - kFirstListedYear);
  };
  show(from_, from);
  show(to_, to);
}

void DataSavingSettings::StoreDateRange() {
  const auto date = [](const DateRow& row) {
    return CalendarDate{row.year->currentIndex() + kFirstListedYear, row.month->currentIndex() + 1,
                        row.day->currentIndex() + 1};
  };
  filters_.SetDateRange(static_cast<DateKind>(dateKind_->currentIndex()), date(from_), date(to_));
}

void DataSavingSettings::reject() {
  filters_ = original_;
  QDialog::reject();
}

}  // namespace korv
