#include "ui/qt/results/preview_pane.h"

#include <QAbstractTableModel>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <vector>

#include "ui/logic/preview_rules.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/gradient_progress.h"
#include "ui/qt/controls/picture_ctrl.h"
#include "ui/qt/pictures.h"

namespace korv {

namespace {

constexpr std::string_view kPreviewStopCaption = "&Stop";

// The wait bar has no measure of an extraction's progress: it pulses.
constexpr int kPulseIntervalMs = 100;
constexpr int kPulseStep = 5;

}  // namespace

// The entries of one archive as a table: a model rather than an item per
// cell, so a large archive lists at once.
class ZipEntryModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void SetEntries(std::vector<ZipEntry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(std::size(kArchiveColumns));
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    const ZipEntry& entry = entries_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
      case 0:
        return ToQString(entry.name);
      case 1:
        return ToQString(entry.modified);
      case 2:
        return QString::number(entry.size);
      case 3:
        return QString::number(entry.compressedSize);
      default:
        return {};
    }
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= static_cast<int>(std::size(kArchiveColumns))) return {};
    return ToQString(kArchiveColumns[section]);
  }

 private:
  std::vector<ZipEntry> entries_;
};

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
  stack_ = new QStackedWidget(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(stack_);

  picture_ = new CPictureCtrl(stack_);
  picture_->setObjectName(QStringLiteral("previewPicture"));

  text_ = new QTextEdit(stack_);
  text_->setObjectName(QStringLiteral("previewText"));
  text_->setReadOnly(true);
  text_->setAcceptRichText(false);
  text_->setUndoRedoEnabled(false);

  archiveModel_ = new ZipEntryModel(this);
  archive_ = new QTableView(stack_);
  archive_->setTabKeyNavigation(false);
  archive_->setObjectName(QStringLiteral("previewArchive"));
  archive_->setModel(archiveModel_);
  archive_->verticalHeader()->hide();
  archive_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  archive_->setSelectionBehavior(QAbstractItemView::SelectRows);
  archive_->setShowGrid(false);
  archive_->setWordWrap(false);
  archive_->setTextElideMode(Qt::ElideMiddle);
  // Four columns, each a quarter of the area's width.
  archive_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);

  wait_ = MakeWaitPage();

  for (QWidget* page :
       {static_cast<QWidget*>(picture_), static_cast<QWidget*>(text_), static_cast<QWidget*>(archive_), wait_}) {
    stack_->addWidget(page);
  }
  ShowIdle();
}

PreviewPane::~PreviewPane() = default;

QWidget* PreviewPane::MakeWaitPage() {
  auto* page = new QWidget(stack_);
  page->setObjectName(QStringLiteral("previewWait"));
  auto* text = new QLabel(DisplayQString(kPreviewWaitText), page);
  text->setAlignment(Qt::AlignCenter);
  text->setWordWrap(true);
  waitBar_ = new CGradientProgressCtrl(page);
  stop_ = new QPushButton(ToQString(kPreviewStopCaption), page);
  stop_->setObjectName(QStringLiteral("previewStop"));
  connect(stop_, &QPushButton::clicked, this, &PreviewPane::stopRequested);

  auto* layout = new QVBoxLayout(page);
  layout->addStretch(1);
  layout->addWidget(text);
  layout->addWidget(waitBar_);
  layout->addWidget(stop_, 0, Qt::AlignHCenter);
  layout->addStretch(1);

  pulse_ = new QTimer(this);
  pulse_->setInterval(kPulseIntervalMs);
  connect(pulse_, &QTimer::timeout, this,
          [this] { waitBar_->SetPosition((waitBar_->position() + kPulseStep) % (100 + kPulseStep)); });
  return page;
}

void PreviewPane::ShowPage(Showing showing, QWidget* page) {
  showing_ = showing;
  shownPage_ = page;
  if (!waiting_) stack_->setCurrentWidget(page);
}

void PreviewPane::ShowIdle() {
  picture_->SetImage(LoadPicture(picture::kPreview).toImage());
  ShowPage(Showing::Idle, picture_);
}

void PreviewPane::ShowNoPreview() {
  picture_->SetImage(LoadPicture(picture::kNoPreview).toImage());
  ShowPage(Showing::NoPreview, picture_);
}

void PreviewPane::ShowPicture(const QString& path) {
  if (!picture_->Load(path)) return ShowNoPreview();
  ShowPage(Showing::Picture, picture_);
}

// The text is built run by run with its formatting, never handed to an
// HTML or RTF parser: what the file says is shown as text only.
void PreviewPane::ShowRichText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return ShowNoPreview();
  const QByteArray document = file.read(static_cast<qint64>(kMaxPreviewBytes));
  const std::vector<RtfRun> runs = ReadRtf(std::string_view(document.constData(), document.size()));

  text_->clear();
  QTextCursor cursor(text_->document());
  cursor.beginEditBlock();
  for (const RtfRun& run : runs) {
    QTextCharFormat format;
    format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(run.italic);
    format.setFontUnderline(run.underline);
    cursor.insertText(ToQString(run.text), format);
    if (run.paragraphEnd) cursor.insertBlock();
  }
  cursor.endEditBlock();
  text_->moveCursor(QTextCursor::Start);
  ShowPage(Showing::RichText, text_);
}

void PreviewPane::ShowArchive(const QString& path) {
  auto entries = ListZipEntries(QFile::encodeName(path).toStdString());
  if (!entries) return ShowNoPreview();
  archiveModel_->SetEntries(std::move(*entries));
  archive_->scrollToTop();
  ShowPage(Showing::Archive, archive_);
}

void PreviewPane::ShowWaiting(bool waiting) {
  waiting_ = waiting;
  if (waiting) {
    waitBar_->SetPosition(0);
    pulse_->start();
    stack_->setCurrentWidget(wait_);
    return;
  }
  pulse_->stop();
  stack_->setCurrentWidget(shownPage_ != nullptr ? shownPage_ : picture_);
}

}  // namespace korv
