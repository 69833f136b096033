// A picture button whose picture holds its states side by side: three equal
// frames (normal, mouse over, pressed) for the mode buttons, four (normal,
// mouse over, pressed, disabled) for the toolbar and page buttons. It takes
// the width of one frame and the picture's height; toolbar buttons carry a
// caption under the picture. Without a picture it keeps a usable size and
// shows its caption, so it stays clickable. A click gives it the keyboard
// focus (Next acts only when it has the focus); Space, Return and Enter
// press it when it has the focus.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QString>
#include <string_view>

class QPainter;

namespace korv {

class CHoverButton : public QAbstractButton {
  Q_OBJECT
 public:
  enum class Frames { Three = 3, Four = 4 };

  explicit CHoverButton(QWidget* parent = nullptr);

  // Loads `pictureName` from the picture folder; false (and no picture)
  // when it is missing.
  bool LoadPicture(std::string_view pictureName, Frames frames);
  void SetPicture(const QPixmap& picture, Frames frames);
  bool hasPicture() const { return !picture_.isNull(); }
  // The caption drawn under the picture (toolbar buttons), or in place of
  // the picture when there is none.
  void SetCaption(const QString& caption);
  QString caption() const { return caption_; }
  // Toolbar buttons draw their caption under the picture; other buttons
  // have it drawn into their picture and show it only without one.
  void SetCaptionUnderPicture(bool under);

  // Which frame is drawn now: 0 normal, 1 mouse over, 2 pressed, 3 disabled.
  int currentFrame() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  // Return and Enter press a focused button, as Space does.
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QSize FrameSize() const;
  int CaptionHeight() const;
  void PaintPicture(QPainter& painter);
  void PaintPlain(QPainter& painter);

  QPixmap picture_;
  Frames frames_ = Frames::Four;
  QString caption_;
  bool captionUnder_ = false;
  bool hovered_ = false;
};

// A four-frame page button (Next, Back, Save …) with its caption, named
// for tests.
CHoverButton* MakePageButton(std::string_view pictureName, std::string_view caption, const char* objectName,
                             QWidget* parent);

}  // namespace korv
