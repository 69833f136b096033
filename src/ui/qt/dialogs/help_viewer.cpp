#include "ui/qt/dialogs/help_viewer.h"

#include <QTextBrowser>
#include <QVBoxLayout>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/pictures.h"

namespace korv {

HelpViewer::HelpViewer(QWidget* parent, const QUrl& page) : QDialog(parent) {
  setObjectName(QStringLiteral("helpViewer"));
  setWindowTitle(ToQString(kProgramTitle));
  setWindowIcon(ApplicationIcon());
  setAttribute(Qt::WA_DeleteOnClose);
  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("helpBrowser"));
  browser_->setOpenLinks(true);
  browser_->setOpenExternalLinks(false);
  browser_->setSource(page);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(720, 600);
}

}  // namespace korv
