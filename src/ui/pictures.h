// The main window's drawn pictures: the connection indicator (`Shape1`), the decoration
// (`Image1`) and the donation button's icon. All painted in code, no image files.
#pragma once

#include <QIcon>
#include <QWidget>
#include <cstdint>

namespace kline::ui {

// A filled round lamp whose colour is a blue-green-red value, as the session sets it.
class IndicatorShape : public QWidget {
 public:
  explicit IndicatorShape(QWidget* parent = nullptr);

  void SetFillColour(uint32_t bgr);
  uint32_t FillColour() const { return bgr_; }

  QSize sizeHint() const override { return {22, 22}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  uint32_t bgr_;
};

// A stylised rev-counter dial.
class GaugePicture : public QWidget {
 public:
  explicit GaugePicture(QWidget* parent = nullptr);

  QSize sizeHint() const override { return {110, 110}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A heart on a coin: the picture of the donation button.
QIcon DonationIcon(int size);

// The colour a blue-green-red value names.
QColor FromBgr(uint32_t bgr);

}  // namespace kline::ui
