// The system's message and question dialogs: white, with the window's title,
// a picture at the left ("\Information.bmp" or "\Question.bmp"), the text in
// bold and "&OK", or "&Yes" and "&No". "&&" in a text shows one "&"; closing
// a question with the close box counts as No. UI thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <string_view>

class QBoxLayout;
class QLabel;

namespace korv {

class CHoverButton;

class ViewMsgBox : public QDialog {
  Q_OBJECT
 public:
  ViewMsgBox(QWidget* parent, std::string_view message);
  QString messageText() const;

 private:
  QLabel* text_ = nullptr;
};

class ViewQuestionMsg : public QDialog {
  Q_OBJECT
 public:
  ViewQuestionMsg(QWidget* parent, std::string_view question);
  QString messageText() const;

 private:
  QLabel* text_ = nullptr;
};

// Shows a message and returns when it is acknowledged.
void ShowMessageBox(QWidget* parent, std::string_view message);
// Asks a question; true for "&Yes".
bool AskQuestionBox(QWidget* parent, std::string_view question);

// The parts the message dialogs and the bad-sector question share.
namespace message_parts {
// White background, the given title and the application icon.
void StyleDialog(QDialog* dialog, const QString& title);
// The title of the window `parent` belongs to, or the program's title.
QString TitleFrom(const QWidget* parent);
// The picture at the dialog's left ("\Information.bmp"); nothing is added
// when the file is missing.
void AddPicture(QBoxLayout* layout, std::string_view pictureName);
// The message text, named "messageText": the application's font in bold, wrapped.
QLabel* MessageLabel(QWidget* parent, std::string_view message);
// A four-frame picture button whose caption shows when the picture is
// missing.
CHoverButton* DialogButton(QWidget* parent, std::string_view pictureName, std::string_view caption,
                           const char* objectName);
}  // namespace message_parts

}  // namespace korv
