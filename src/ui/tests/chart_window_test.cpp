#include "ui/chart_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

namespace kline::ui {
namespace {

constexpr int kBattery = 7;

// Steps of 100 ms from `first_us`; the battery is never read.
void Feed(ChartWindow& chart, int64_t first_us, int steps) {
  for (int step = 0; step < steps; ++step) {
    LiveSample sample;
    sample.time_us = first_us + int64_t{step} * 100'000;
    for (int c = 0; c < kChannelCount; ++c) {
      if (c != kBattery) sample.values[static_cast<size_t>(c)] = step % 100 + c;
    }
    chart.AddSample(sample);
  }
}

TEST(ChartWindowTest, LiveDataKeepsTenMinutesAndDrawsTheChosenWindow) {
  ChartWindow chart;
  chart.show();
  Feed(chart, 5'000'000, 9000);  // 15 minutes
  EXPECT_NEAR(static_cast<double>(chart.LivePoints(0)), 6000, 1);
  EXPECT_EQ(chart.LivePoints(kBattery), 0u);

  struct Case {
    int seconds;
    int max_points;
  };
  for (const Case& c : {Case{30, 302}, Case{120, 1202}, Case{600, 1202}}) {
    SCOPED_TRACE(c.seconds);
    chart.SetWindowSeconds(c.seconds);
    EXPECT_DOUBLE_EQ(chart.TimeSpan().to, 899.9);
    EXPECT_DOUBLE_EQ(chart.TimeSpan().to - chart.TimeSpan().from, c.seconds);
    EXPECT_GT(chart.ShownPoints(0), 0);
    EXPECT_LE(chart.ShownPoints(0), c.max_points);
    // Thinning keeps the extremes: the axis still spans the whole saw tooth.
    EXPECT_LE(chart.ValueScale(0).from, 0);
    EXPECT_GE(chart.ValueScale(0).to, 99);
    EXPECT_EQ(chart.ShownPoints(2), 0);  // not ticked
  }

  chart.SetPaused(true);
  Feed(chart, 905'000'000, 50);
  chart.Redraw();
  EXPECT_DOUBLE_EQ(chart.TimeSpan().to, 899.9);
  chart.SetPaused(false);
  EXPECT_DOUBLE_EQ(chart.TimeSpan().to, 904.9);

  Feed(chart, 0, 1);  // a new session's clock
  EXPECT_EQ(chart.LivePoints(0), 1u);
}

TEST(ChartWindowTest, OpensARecordingOffTheWindowThreadWithZoom) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("warm-up.csv"));
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# ECU type: 16m\ntime_s,rpm,water_c,lambda\n");
    for (int row = 0; row < 1000; ++row) {
      file.write(QStringLiteral("%1,%2,%3,\n").arg(row / 10.0).arg(1000 + row).arg(row).toUtf8());
    }
  }
  ChartWindow chart;
  chart.resize(900, 500);
  chart.show();
  chart.OpenRecording(path);
  EXPECT_TRUE(chart.Loading());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !chart.Loading(); }, 10000));
  ASSERT_TRUE(chart.ShowingRecording()) << chart.Message().toStdString();
  EXPECT_EQ(chart.CurveCount(), 3);
  EXPECT_TRUE(chart.Message().contains(QStringLiteral("1000 rows")));
  EXPECT_DOUBLE_EQ(chart.TimeSpan().from, 0);
  EXPECT_DOUBLE_EQ(chart.TimeSpan().to, 99.9);
  EXPECT_TRUE(chart.ReadingAt(50.05).contains(QStringLiteral("Engine speed 1500 rpm")));
  EXPECT_TRUE(chart.ReadingAt(50.05).contains(QStringLiteral("Coolant temperature 500 °C")));

  QWidget* viewport = chart.findChild<QWidget*>(QStringLiteral("ChartView"));
  const QPointF centre(viewport->width() / 2.0, viewport->height() / 2.0);
  QWheelEvent wheel(centre, QPointF(viewport->mapToGlobal(centre.toPoint())), {}, {0, 120},
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &wheel);
  EXPECT_NEAR(chart.TimeSpan().to - chart.TimeSpan().from, 0.8 * 99.9, 1e-9);
  EXPECT_GT(chart.TimeSpan().from, 0);
  // A drag over the middle half of the plot zooms in on it; a right click zooms out twice as wide.
  auto* plot = chart.findChild<StripPlot*>(QStringLiteral("ChartView"));
  const QRectF area = plot->PlotArea();
  const auto at = [&](double part) {
    return QPoint(static_cast<int>(area.left() + part * area.width()), area.center().y());
  };
  const double span = chart.TimeSpan().to - chart.TimeSpan().from;
  QTest::mousePress(plot, Qt::LeftButton, {}, at(0.25));
  QTest::mouseMove(plot, at(0.75));
  QTest::mouseRelease(plot, Qt::LeftButton, {}, at(0.75));
  EXPECT_NEAR(chart.TimeSpan().to - chart.TimeSpan().from, span / 2, span / 100);
  QTest::mouseClick(plot, Qt::RightButton, {}, at(0.5));
  EXPECT_NEAR(chart.TimeSpan().to - chart.TimeSpan().from, span, span / 100);

  // A file with nothing to show keeps the chart as it was and says why.
  for (const QString& bad : {dir.filePath(QStringLiteral("missing.csv")), QStringLiteral("/")}) {
    chart.OpenRecording(bad);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chart.Loading(); }, 10000));
    EXPECT_TRUE(chart.ShowingRecording());
    EXPECT_FALSE(chart.Message().contains(QStringLiteral("rows")));
  }
  chart.ShowLive();
  EXPECT_EQ(chart.CurveCount(), kChannelCount);
}

// A recording of 200 columns lists them in a scrolling list: the window keeps its size.
TEST(ChartWindowTest, ManyColumnsScrollInsteadOfGrowingTheWindow) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("wide.csv"));
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QStringList names{QStringLiteral("time_s")};
    QStringList values{QStringLiteral("0")};
    for (int c = 0; c < 200; ++c) {
      names << QStringLiteral("extra_%1").arg(c);
      values << QString::number(c);
    }
    file.write((names.join(',') + '\n' + values.join(',') + '\n').toUtf8());
  }
  ChartWindow chart;
  chart.resize(900, 500);
  chart.show();
  chart.OpenRecording(path);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !chart.Loading(); }, 10000));
  ASSERT_GT(chart.CurveCount(), 20) << chart.Message().toStdString();
  QTest::qWait(20);
  EXPECT_LE(chart.height(), 600);
  EXPECT_LE(chart.minimumSizeHint().height(), 600);
  EXPECT_NE(chart.findChild<QScrollArea*>(QStringLiteral("ChannelList")), nullptr);
}

// Every channel's name is shown whole ("Coolant temperature" was cut in a narrow window), the
// list scrolling only downwards.
TEST(ChartWindowTest, TheChannelListShowsWholeNames) {
  ChartWindow chart;
  chart.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
  // As small as it goes, the list scrolling: the plot gives way, the names do not.
  chart.resize(1, 1);
  QApplication::processEvents();
  const QList<QCheckBox*> boxes = chart.findChildren<QCheckBox*>();
  ASSERT_FALSE(boxes.isEmpty());
  const QWidget* viewport =
      chart.findChild<QScrollArea*>(QStringLiteral("ChannelList"))->viewport();
  for (const QCheckBox* box : boxes) {
    if (!box->objectName().startsWith(QStringLiteral("Curve("))) continue;
    // The end of the name, where the list shows it.
    const int end = box->mapTo(viewport, QPoint(box->sizeHint().width(), 0)).x();
    EXPECT_LE(end, viewport->width()) << box->text().toStdString();
  }
}

TEST(ChartWindowTest, SavesThePictureAsPng) {
  QTemporaryDir dir;
  ChartWindow chart;
  chart.show();
  Feed(chart, 0, 100);
  const QString path = dir.filePath(QStringLiteral("chart.png"));
  ASSERT_TRUE(chart.SaveImage(path));
  EXPECT_FALSE(QImage(path).isNull());
  EXPECT_FALSE(chart.SaveImage(dir.filePath(QStringLiteral("no/such/dir/chart.png"))));
  EXPECT_TRUE(chart.Message().startsWith(QStringLiteral("Could not save")));
}

}  // namespace
}  // namespace kline::ui
