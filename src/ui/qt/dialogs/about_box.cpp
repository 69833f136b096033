#include "ui/qt/dialogs/about_box.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/label.h"
#include "ui/qt/controls/link_button.h"
#include "ui/qt/dialogs/message_dialogs.h"
#include "ui/qt/pictures.h"

namespace korv {

namespace {

inline constexpr std::string_view kAboutTitle = "About Korvane Vireon";
inline constexpr std::string_view kAboutLine = "Data recovery for virtual-machine disk files.";
inline constexpr std::string_view kHelpLinkText = "Open the help page";
inline constexpr std::string_view kOkCaption = "&OK";
constexpr int kIconSide = 64;

QLabel* TextLine(QWidget* parent, const QString& text, bool bold) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  QFont font = label->font();
  font.setBold(bold);
  if (bold) font = ScaledFont(font, kHeadingFontScale);
  label->setFont(font);
  return label;
}

}  // namespace

QUrl HelpPageUrl() {
  const QString fromEnvironment = qEnvironmentVariable("KORVANE_HELP");
  if (!fromEnvironment.isEmpty()) return QUrl::fromLocalFile(fromEnvironment);
  const QString page = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/korvane/help/index.html");
  return QUrl::fromLocalFile(QDir::cleanPath(page));
}

AboutBox::AboutBox(QWidget* parent, std::function<void()> showHelp) : QDialog(parent) {
  message_parts::StyleDialog(this, ToQString(kAboutTitle));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(20, 20, 20, 14);
  column->setSpacing(12);
  column->setSizeConstraint(QLayout::SetFixedSize);

  auto* content = new QHBoxLayout;
  content->setSpacing(16);
  column->addLayout(content);
  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap::fromImage(ApplicationIconImage(kIconSide)));
  content->addWidget(icon, 0, Qt::AlignTop);

  auto* texts = new QVBoxLayout;
  texts->setSpacing(4);
  content->addLayout(texts);
  texts->addWidget(TextLine(this, ToQString(kProgramTitle), true));
  texts->addWidget(TextLine(this, ToQString(kVersionText), false));
  texts->addWidget(TextLine(this, ToQString(kAboutLine), false));
  auto* link = new CURLLinkButton(this);
  link->setObjectName(QStringLiteral("helpLink"));
  link->setText(ToQString(kHelpLinkText));
  link->SetTarget(HelpPageUrl());
  if (showHelp) {
    link->SetOpener([this, showHelp = std::move(showHelp)](const QUrl&) {
      showHelp();
      accept();
    });
  }
  texts->addWidget(link, 0, Qt::AlignLeft);

  auto* buttons = new QHBoxLayout;
  column->addLayout(buttons);
  buttons->addStretch(1);
  CHoverButton* ok = message_parts::DialogButton(this, picture::kOk, kOkCaption, "okButton");
  buttons->addWidget(ok);
  connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
  ok->setFocus();
}

}  // namespace korv
