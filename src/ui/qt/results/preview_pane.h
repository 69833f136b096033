// The preview area of the results view: the idle picture ("\preview.bmp"),
// a picture file, an RTF file as formatted text, a ZIP file's entries, or
// the no-preview picture ("\NoPreview.bmp"); and the wait controls (bar,
// "&Stop", "Please wait while generating preview......") while a file is
// extracted.
//
// Object names: "previewPicture" (pictures, idle and no-preview),
// "previewText" (RTF), "previewArchive" (ZIP entries), "previewWait" (the
// wait controls) with "previewStop" (its button).
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;
class QTableView;
class QTextEdit;
class QTimer;

namespace korv {

class CGradientProgressCtrl;
class CPictureCtrl;
class ZipEntryModel;

class PreviewPane : public QWidget {
  Q_OBJECT
 public:
  explicit PreviewPane(QWidget* parent = nullptr);
  ~PreviewPane() override;

  void ShowIdle();
  void ShowNoPreview();
  // Each falls back to the no-preview picture when the file cannot be read.
  void ShowPicture(const QString& path);
  void ShowRichText(const QString& path);
  void ShowArchive(const QString& path);
  // The wait controls in place of what is shown; false shows it again.
  void ShowWaiting(bool waiting);

  enum class Showing { Idle, NoPreview, Picture, RichText, Archive };
  Showing showing() const { return showing_; }
  bool waiting() const { return waiting_; }

 signals:
  // "&Stop" of the wait controls.
  void stopRequested();

 private:
  QWidget* MakeWaitPage();
  void ShowPage(Showing showing, QWidget* page);

  Showing showing_ = Showing::Idle;
  bool waiting_ = false;
  QWidget* shownPage_ = nullptr;

  QStackedWidget* stack_ = nullptr;
  CPictureCtrl* picture_ = nullptr;
  QTextEdit* text_ = nullptr;
  QTableView* archive_ = nullptr;
  ZipEntryModel* archiveModel_ = nullptr;
  QWidget* wait_ = nullptr;
  CGradientProgressCtrl* waitBar_ = nullptr;
  QPushButton* stop_ = nullptr;
  QTimer* pulse_ = nullptr;
};

}  // namespace korv
