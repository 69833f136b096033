// The save filters dialog: deleted files included, excluded or alone, the
// extension list ("&>>" adds, "<<" removes) and the date ranges of the
// three kinds. It works on a copy: "&Apply" keeps the changes, "Cancel"
// puts the settings back as they were.
#pragma once

#include <QDialog>
#include <array>

#include "save/save_filters.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace korv {

class DataSavingSettings : public QDialog {
  Q_OBJECT
 public:
  DataSavingSettings(SaveFilters& filters, QWidget* parent);

  // Object names: "includeDeleted", "excludeDeleted", "deletedOnly",
  // "extensionEdit", "addExtension", "removeExtension", "extensionList",
  // "dateKind", "fromDay", "fromMonth", "fromYear", "toDay", "toMonth",
  // "toYear", "applyButton", "cancelButton".

 public slots:
  // "Cancel", Escape and the close box: the settings as they were.
  void reject() override;

 private:
  // The day, month and year lists of one end of a range.
  struct DateRow {
    QComboBox* day = nullptr;
    QComboBox* month = nullptr;
    QComboBox* year = nullptr;
  };

  QWidget* BuildDeletedChoice();
  QWidget* BuildExtensions();
  QWidget* BuildDateRanges();
  DateRow BuildDateRow(const char* prefix);

  void ChooseDeleted(DeletedChoice choice);
  void AddExtension();
  void RemoveExtension();
  void ShowExtensions();
  void ShowDateRange();
  void StoreDateRange();

  SaveFilters& filters_;
  const SaveFilters original_;

  std::array<QRadioButton*, 3> deletedChoices_{};
  QLineEdit* extensionEdit_ = nullptr;
  QListWidget* extensionList_ = nullptr;
  QComboBox* dateKind_ = nullptr;
  DateRow from_;
  DateRow to_;
};

}  // namespace korv
