// Reduction of long series before they reach a chart, and the pattern-labelled axes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "gui_support.h"
#include "workbench/charts.h"
#include "workbench/decimate.h"
#include "workbench/flicker_frame.h"

namespace {

TEST(DecimateMinMax, KeepsEveryExtremeOfEachColumnInOrder) {
  const std::size_t n = 737280;
  std::vector<float> y(n);
  for (std::size_t i = 0; i < n; ++i) y[i] = std::sin(i * 0.01f);
  y[123457] = 9.0f;   // a single spike must survive
  y[600001] = -9.0f;
  QList<QPointF> out;
  DecimateMinMax(y.data(), n, 0.0, 1.0 / 4096, NAN, NAN, 700, &out);
  ASSERT_LE(out.size(), 1402);
  ASSERT_GE(out.size(), 1390);
  double hi = -1e9, lo = 1e9;
  for (int i = 1; i < out.size(); ++i) ASSERT_LT(out[i - 1].x(), out[i].x());
  for (const QPointF& p : out) hi = std::max(hi, p.y()), lo = std::min(lo, p.y());
  EXPECT_EQ(hi, 9.0);
  EXPECT_EQ(lo, -9.0);
  EXPECT_DOUBLE_EQ(out.front().x(), 0.0);
  EXPECT_DOUBLE_EQ(out.back().x(), (n - 1) / 4096.0);
}

TEST(DecimateMinMax, ShortOrZoomedSeriesKeepEverySample) {
  std::vector<float> y(1000);
  for (std::size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(i);
  QList<QPointF> out;
  DecimateMinMax(y.data(), y.size(), 0.0, 1.0, NAN, NAN, 800, &out);
  EXPECT_EQ(out.size(), 1000);
  // A window of 100 samples: those and one beyond each edge, at full resolution.
  DecimateMinMax(y.data(), y.size(), 0.0, 1.0, 200.0, 299.0, 800, &out);
  ASSERT_FALSE(out.isEmpty());
  EXPECT_EQ(out.front().x(), 199.0);
  EXPECT_EQ(out.back().x(), 300.0);
  EXPECT_EQ(out.size(), 102);
  DecimateMinMax(y.data(), y.size(), 0.0, 1.0, 5000.0, 6000.0, 800, &out);
  EXPECT_TRUE(out.isEmpty());
  DecimateMinMax(y.data(), 0, 0.0, 1.0, NAN, NAN, 800, &out);
  EXPECT_TRUE(out.isEmpty());
}

TEST(BarOutline, WideBarsAreRectanglesOnTheBaseDenseBarsOneStrokePerColumn) {
  const std::vector<float> x{1, 2, 3, 4};
  const std::vector<float> y{5, -70, 7, 2};
  QList<QPointF> out;
  BarOutline(x.data(), y.data(), 0, 4, -60.0, 0.0, 5.0, 500, 0.5, &out);
  ASSERT_EQ(out.size(), 16);
  EXPECT_EQ(out[0], QPointF(0.75, -60.0));
  EXPECT_EQ(out[1], QPointF(0.75, 5.0));
  EXPECT_EQ(out[2], QPointF(1.25, 5.0));
  EXPECT_EQ(out[5], QPointF(1.75, -60.0));  // below the base: a bar of no height
  for (const QPointF& p : out) EXPECT_GE(p.y(), -60.0);

  std::vector<float> fx(262144), fy(262144, 0.1f);
  for (std::size_t i = 0; i < fx.size(); ++i) fx[i] = i * 0.0078125f;
  fy[12800] = 3.0f;  // 100 Hz
  BarOutline(fx.data(), fy.data(), 1, fx.size(), 0.0, 0.0, 2048.0, 600, 0.7, &out);
  EXPECT_LE(out.size(), 3 * 601);
  const auto top = std::max_element(out.begin(), out.end(), [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
  EXPECT_EQ(top->y(), 3.0);
  EXPECT_FLOAT_EQ(static_cast<float>(top->x()), 100.0f);
}

TEST(TickAxis, LabelsUseTheNumberPatternAndStayInsideTheRange) {
  GuiApp();
  TickAxis time("Time(sec)", "#,##0.#######");
  time.SetSpan(0, 0.5);
  EXPECT_EQ(time.TickLabels(), (QStringList{"0", "0.1", "0.2", "0.3", "0.4", "0.5"}));
  TickAxis big("Freqency", "#,##0.#####");
  big.SetSpan(0, 16384);
  EXPECT_TRUE(big.TickLabels().contains("10,000"));
  TickAxis db("dB", "#,##0.#####");
  db.SetSpanWithStep(-57.3, 0, 10);
  EXPECT_EQ(db.TickLabels(), (QStringList{"-50", "-40", "-30", "-20", "-10", "0"}));
  EXPECT_DOUBLE_EQ(db.min(), -57.3);
}

TEST(ElapsedText, HoursMinutesSecondsWithoutLeadingZeros) {
  EXPECT_EQ(ElapsedText(0), "0:0:0");
  EXPECT_EQ(ElapsedText(125), "0:2:5");
  EXPECT_EQ(ElapsedText(180), "0:3:0");
  EXPECT_EQ(ElapsedText(3725), "1:2:5");
}

}  // namespace
