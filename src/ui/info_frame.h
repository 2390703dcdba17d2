// The "ECU Info" frame: what the ECU said about itself, one line per fact as the session wrote
// it, with the two boxes that choose what the connect reads and the two buttons that read
// them again.
#pragma once

#include <QWidget>

#include "engine/diagnostic_engine.h"

class QCheckBox;
class QPlainTextEdit;

namespace kline::ui {

class InfoFrame : public QWidget {
 public:
  explicit InfoFrame(DiagnosticEngine& engine);

  QString text() const;
  bool EcuDataTicked() const;
  bool CalibrationTicked() const;

 private:
  QPlainTextEdit* info_box_;
  QCheckBox* ecu_data_box_;
  QCheckBox* calibration_box_;
};

}  // namespace kline::ui
