#include "ui/qt/controls/page_toolbar.h"

#include <QHBoxLayout>

#include "ui/qt/pictures.h"

namespace korv {

namespace {

const char* ToolbarObjectName(ToolbarButton button) {
  switch (button) {
    case ToolbarButton::Help:
      return "toolbarHelp";
    case ToolbarButton::LoadLog:
      return "toolbarLoadLog";
    case ToolbarButton::SaveLog:
      return "toolbarSaveLog";
    case ToolbarButton::Settings:
      return "toolbarSettings";
    case ToolbarButton::Search:
      return "toolbarSearch";
  }
  return "";
}

}  // namespace

PageToolbar::PageToolbar(QWidget* parent) : QWidget(parent) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(6);
  for (ToolbarButton which : kAllToolbarButtons) {
    auto* button = new CHoverButton(this);
    button->setObjectName(QString::fromLatin1(ToolbarObjectName(which)));
    button->SetCaptionUnderPicture(true);
    button->SetCaption(ToQString(ToolbarCaption(which)));
    button->LoadPicture(ToolbarPicture(which), CHoverButton::Frames::Four);
    connect(button, &QAbstractButton::clicked, this, [this, which] { emit clicked(static_cast<int>(which)); });
    row->addWidget(button);
    buttons_[static_cast<std::size_t>(which)] = button;
  }
  row->addStretch(1);
}

void PageToolbar::SetButtonEnabled(ToolbarButton which, bool enabled) { button(which)->setEnabled(enabled); }

CHoverButton* PageToolbar::button(ToolbarButton which) const { return buttons_[static_cast<std::size_t>(which)]; }

}  // namespace korv
