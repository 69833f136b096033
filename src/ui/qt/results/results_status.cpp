#include "ui/qt/results/results_status.h"

#include <QHBoxLayout>
#include <QLabel>

#include "ui/qt/controls/gradient_progress.h"
#include "ui/qt/pictures.h"

namespace korv {

ResultsStatus::ResultsStatus(QWidget* parent) {
  line_ = new QLabel(parent);
  line_->setObjectName(QStringLiteral("statusLine"));
  line_->setTextFormat(Qt::PlainText);
  bar_ = new CGradientProgressCtrl(parent);
  bar_->setObjectName(QStringLiteral("progressBar"));
  auto* row = new QHBoxLayout;
  row->addWidget(line_, 1);
  row->addWidget(bar_, 1);
  row_ = row;
}

void ResultsStatus::Show(std::string_view status) {
  line_->setText(DisplayQString(status));
  line_->show();
  bar_->SetPosition(0);
  bar_->show();
}

void ResultsStatus::Hide() {
  line_->clear();
  line_->hide();
  bar_->hide();
}

void ResultsStatus::Complete() { bar_->SetPosition(100); }

void ResultsStatus::PostProgress(int percent) {
  if (lastPercent_.exchange(percent) == percent) return;
  QMetaObject::invokeMethod(
      bar_, [bar = bar_, percent] { bar->SetPosition(percent); }, Qt::QueuedConnection);
}

}  // namespace korv
