// The main window's drawn pictures: the connection indicator (`Shape1`) and the rev counter
// (`Image1`). Painted in code, no image files.
#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>

namespace kline::ui {

// A filled round lamp whose colour is a blue-green-red value, as the session sets it.
class IndicatorShape : public QWidget {
 public:
  explicit IndicatorShape(QWidget* parent = nullptr);

  void SetFillColour(uint32_t bgr);
  uint32_t FillColour() const { return bgr_; }
  // Drawn faded, with the same colour value: the port is open but the ECU stopped answering.
  void SetDimmed(bool dimmed);
  bool Dimmed() const { return dimmed_; }

  QSize sizeHint() const override { return {22, 22}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  uint32_t bgr_;
  bool dimmed_ = false;
};

// A rev counter, 0 to 12,000 rpm, fed by the same engine speed as the readout and the bar.
// Without a speed (not connected, not read, no value) the needle rests at 0 and the dial is
// dimmed, so that it never reads as a gauge showing a speed it does not have.
class GaugePicture : public QWidget {
 public:
  static constexpr double kFullScaleRpm = 12000;

  explicit GaugePicture(QWidget* parent = nullptr);

  void SetRpm(std::optional<double> rpm);
  std::optional<double> Rpm() const { return rpm_; }
  // Where the needle points, 0 (rest) to 1 (full scale).
  double NeedleFraction() const;

  QSize sizeHint() const override { return {110, 110}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::optional<double> rpm_;
};

// The colour a blue-green-red value names.
QColor FromBgr(uint32_t bgr);

}  // namespace kline::ui
