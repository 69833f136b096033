// A pie chart with a title, one coloured slice per value with its label, and
// a legend. Values are percentages; used for a disk's partitions on the
// source page ("Drive Information").
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <vector>

namespace korv {

class CPieChartWnd : public QWidget {
  Q_OBJECT
 public:
  struct Slice {
    QString label;
    double percent = 0;
    QColor colour;
  };

  explicit CPieChartWnd(QWidget* parent = nullptr);
  void SetTitle(const QString& title);
  QString title() const { return title_; }
  // An invalid colour picks the next of the chart's own colours.
  void AddSlice(const QString& label, double percent, QColor colour = {});
  void Clear();
  void Redraw() { update(); }
  const std::vector<Slice>& slices() const { return slices_; }
  QSize sizeHint() const override { return {320, 220}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString title_;
  std::vector<Slice> slices_;
};

}  // namespace korv
