#include "ui/qt/save/save_dialog_parts.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/dialogs/message_dialogs.h"
#include "ui/qt/pictures.h"

namespace korv::save_parts {

void StyleSaveDialog(QDialog* dialog, QWidget* parent, const QString& title) {
  message_parts::StyleDialog(dialog, title.isEmpty() ? message_parts::TitleFrom(parent) : title);
}

QPushButton* Button(QWidget* parent, std::string_view caption, const char* objectName) {
  auto* button = new QPushButton(ToQString(caption), parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setAutoDefault(false);
  return button;
}

QLabel* TextLabel(QWidget* parent, std::string_view text, const char* objectName) {
  auto* label = new QLabel(parent);
  if (objectName != nullptr) label->setObjectName(QString::fromLatin1(objectName));
  label->setTextFormat(Qt::PlainText);
  label->setText(DisplayQString(text));
  return label;
}

void AddQuestionRow(QBoxLayout* layout, QWidget* parent, std::string_view question) {
  auto* row = new QHBoxLayout;
  row->setSpacing(14);
  message_parts::AddPicture(row, picture::kQuestion);
  row->addWidget(message_parts::MessageLabel(parent, question), 1);
  layout->addLayout(row);
}

QVBoxLayout* AnswerOnlyQuestion(QDialog* dialog, QWidget* parent, std::string_view question) {
  StyleSaveDialog(dialog, parent);
  dialog->setWindowFlags((dialog->windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) &
                         ~Qt::WindowCloseButtonHint);
  auto* column = new QVBoxLayout(dialog);
  column->setContentsMargins(16, 16, 16, 12);
  column->setSpacing(12);
  column->setSizeConstraint(QLayout::SetFixedSize);
  AddQuestionRow(column, dialog, question);
  return column;
}

QComboBox* NumberList(QWidget* parent, const QString& objectName, int first, int last, int digits) {
  auto* list = new QComboBox(parent);
  list->setObjectName(objectName);
  for (int number = first; number <= last; ++number) {
    list->addItem(QStringLiteral("%1").arg(number, digits, 10, QLatin1Char('0')));
  }
  return list;
}

void SelectIndex(QComboBox* list, int index) { list->setCurrentIndex(std::clamp(index, 0, list->count() - 1)); }

}  // namespace korv::save_parts
