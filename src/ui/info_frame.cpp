#include "ui/info_frame.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kline::ui {

InfoFrame::InfoFrame(DiagnosticEngine& engine)
    : info_box_(new QPlainTextEdit),
      ecu_data_box_(new QCheckBox(QStringLiteral("Ecu data"))),
      calibration_box_(new QCheckBox(QStringLiteral("Calibration"))) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  auto* frame = new QGroupBox(QStringLiteral("ECU Info"));
  auto* inside = new QVBoxLayout(frame);
  info_box_->setObjectName(QStringLiteral("Text4"));
  info_box_->setReadOnly(true);
  info_box_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  info_box_->setMinimumSize(300, 90);
  inside->addWidget(info_box_);
  column->addWidget(frame, 1);

  ecu_data_box_->setObjectName(QStringLiteral("Check3"));
  ecu_data_box_->setChecked(true);
  connect(ecu_data_box_, &QCheckBox::clicked, this,
          [&engine](bool ticked) { engine.SetEcuData(ticked); });
  calibration_box_->setObjectName(QStringLiteral("Check4"));
  calibration_box_->setChecked(true);
  connect(calibration_box_, &QCheckBox::clicked, this,
          [&engine](bool ticked) { engine.SetCalibration(ticked); });
  auto* command6 = new QPushButton(QStringLiteral("ecu info"));
  command6->setObjectName(QStringLiteral("Command6"));
  connect(command6, &QPushButton::clicked, this, [&engine] { engine.ReadEcuInfo(); });
  auto* command7 = new QPushButton(QStringLiteral("calibration"));
  command7->setObjectName(QStringLiteral("Command7"));
  connect(command7, &QPushButton::clicked, this, [&engine] { engine.ReadCalibration(); });

  auto* row = new QHBoxLayout;
  row->addWidget(ecu_data_box_);
  row->addWidget(calibration_box_);
  row->addStretch(1);
  row->addWidget(command6);
  row->addWidget(command7);
  column->addLayout(row);

  connect(&engine.events(), &EngineEvents::IdentificationChanged, this,
          [this](const EcuIdentification&, const QStringList& lines) {
            QString text;
            for (const QString& line : lines) text += line + u'\n';
            info_box_->setPlainText(text);
            info_box_->moveCursor(QTextCursor::End);
            info_box_->ensureCursorVisible();
          });
}

QString InfoFrame::text() const { return info_box_->toPlainText(); }

bool InfoFrame::EcuDataTicked() const { return ecu_data_box_->isChecked(); }

bool InfoFrame::CalibrationTicked() const { return calibration_box_->isChecked(); }

}  // namespace kline::ui
