#include "touch-daemon/engine/smoothing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <vector>

#include "touch-daemon/engine/engine.h"

namespace lumaro {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
const EnginePoint kEmpty{};

EnginePoint Point(double x, double size = 0.01, std::uint8_t state = PointMeasured) {
  return {x, 0.5, size, 0.0, state};
}

class SmoothTrackTest : public ::testing::Test {
 protected:
  SmoothTrackTest() { history_->Newest = -1; }
  // Pushes the frames as the engine does, then smooths the entry two frames
  // back once.
  void SmoothLast(std::initializer_list<EnginePoint> frames, double limit = 0.5) {
    for (const EnginePoint& p : frames) HistoryPush(p, *history_);
    SmoothTrack(reference_, *history_, work_, limit);
  }

  std::unique_ptr<PointHistory> history_ = std::make_unique<PointHistory>();
  EnginePoint reference_{};
  FitWork work_{};
};

TEST_F(SmoothTrackTest, ReachAndPathLimits) {
  // Two touches 0.2 apart give a limit of 0.08, raised to 0.1.
  SmoothLast({Point(0.3), Point(0.39), Point(0.395)}, 0.08);
  EXPECT_EQ(reference_.State, PointHeld);
  reference_ = kEmpty;
  SmoothLast({Point(0.3), Point(0.41), Point(0.415)}, 0.08);
  EXPECT_EQ(reference_.State, PointNone);
  // Both forward walks end once their path exceeds 0.1.
  SmoothLast({kEmpty, Point(0.6), Point(0.71), Point(0.72)});
  EXPECT_EQ(reference_.State, PointNone);
  EXPECT_EQ(work_.SampleCount, 2);
  // Backward, the step beyond 0.1 is the last sampled; held entries count
  // only until the first measured one forward.
  SmoothLast({Point(0.0), Point(0.15), Point(0.3), Point(0.31), Point(0.32),
              Point(0.32, 0.01, PointHeld), Point(0.32, 0.01, PointHeld), Point(0.32),
              Point(0.32, 0.01, PointHeld)});
  EXPECT_EQ(work_.SampleCount, 2 + 4);
}

// An entry much smaller than the one before it (more than 0.7 times smaller,
// and within twice the earlier size of the distance) takes the earlier
// position; at either bound exactly it keeps its own.
TEST_F(SmoothTrackTest, MuchSmallerShadowTakesTheEarlierPositionWithinStrictBounds) {
  const struct {
    double x, size;
    bool repaired;
  } cases[] = {{0.375, 0.0625, true}, {0.4375, 0.0625, false}, {0.3125, 0.7 * 0.125, false}};
  for (const auto& c : cases) {
    history_ = std::make_unique<PointHistory>();
    history_->Newest = -1;
    SmoothLast({Point(0.25, 0.125), Point(c.x, c.size), kEmpty});
    EXPECT_EQ(history_->Ring[1].X, c.repaired ? 0.25 : c.x) << c.x;
  }
}

TEST(FitTrackPolynomialTest, ExactFitsResidualAndSingularSystems) {
  FitWork work;
  FitReset(work);
  EXPECT_EQ(FitTrackPolynomial(work, 0), kInfinity);  // no sample
  for (int t = -4; t <= 2; ++t) FitAddSample(work, Point(0.2 + 0.03 * t - 0.004 * t * t, t), t);
  EXPECT_GT(FitTrackPolynomial(work, 1), 0.001);  // a line misses the curve
  for (int degree : {-1, kMaxFitCoefficients})
    EXPECT_EQ(FitTrackPolynomial(work, degree), kInfinity);
  EXPECT_NEAR(FitTrackPolynomial(work, 2), 0.0, 1e-12);
  EXPECT_NEAR(work.CoeffX[1], 0.03, 1e-12);
  EXPECT_NEAR(work.CoeffX[2], -0.004, 1e-12);
  EXPECT_NEAR(work.CoeffSize[1], 1.0, 1e-12);
  EXPECT_EQ(work.CoeffX[3], 0.0);

  FitReset(work);
  for (double x : {0.0, 0.0, 1.0}) FitAddSample(work, Point(x), work.SampleCount);
  // Mean 1/3; deviations 1/9, 1/9, 4/9; the largest left out: sqrt(2/9 / 2).
  EXPECT_NEAR(FitTrackPolynomial(work, 0), 1.0 / 3.0, 1e-15);

  FitReset(work);
  FitAddSample(work, Point(0.2), 1);
  FitAddSample(work, Point(0.4), 1);
  EXPECT_NEAR(FitTrackPolynomial(work, 0), 0.1, 1e-15);
  // One distinct time cannot carry a line: zero pivot, the fit fails and the
  // constant fit's coefficients stay.
  EXPECT_EQ(FitTrackPolynomial(work, 1), kInfinity);
  EXPECT_NEAR(work.CoeffX[0], 0.3, 1e-15);
}

}  // namespace
}  // namespace lumaro
