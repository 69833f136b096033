// What the save dialogs share: their look (white, the window's title, the
// application icon) and their plain push buttons.
#pragma once

#include <QString>
#include <string_view>

class QBoxLayout;
class QComboBox;
class QVBoxLayout;
class QDialog;
class QLabel;
class QPushButton;
class QWidget;

namespace korv::save_parts {

// The look of the system's dialogs, titled after the window `parent`
// belongs to unless `title` is given.
void StyleSaveDialog(QDialog* dialog, QWidget* parent, const QString& title = {});
// A push button with a mnemonic caption ("&Yes") that is no dialog default.
QPushButton* Button(QWidget* parent, std::string_view caption, const char* objectName);
// A plain-text label (names from a disk are never read as markup).
QLabel* TextLabel(QWidget* parent, std::string_view text, const char* objectName = nullptr);
// A question dialog's body: the question picture and the bold text in a row.
void AddQuestionRow(QBoxLayout* layout, QWidget* parent, std::string_view question);
// The body of a question whose only way out is one of its answers: the
// look, no close box, the question row; the caller adds its answers.
QVBoxLayout* AnswerOnlyQuestion(QDialog* dialog, QWidget* parent, std::string_view question);

// A drop-down of the numbers first..last, written with `digits` digits
// ("01".."31"), named `objectName`.
QComboBox* NumberList(QWidget* parent, const QString& objectName, int first, int last, int digits);
// Chooses entry `index`, kept inside the list.
void SelectIndex(QComboBox* list, int index);

}  // namespace korv::save_parts
