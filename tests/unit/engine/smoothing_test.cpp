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
  // Frames pushed as the engine does, each smoothed unless `smooth` is off;
  // returns the last frame's result.
  EnginePoint Run(std::initializer_list<EnginePoint> frames, bool smooth = true,
                  double limit = 0.5) {
    EnginePoint out{};
    for (const EnginePoint& p : frames) {
      const EnginePoint centre = HistoryPush(p, *history_);
      out = smooth ? SmoothTrack(reference_, *history_, work_, limit) : centre;
    }
    return out;
  }
  // Pushes without smoothing, then smooths the entry two frames back once.
  void SmoothLast(std::initializer_list<EnginePoint> frames, double limit = 0.5) {
    Run(frames, false);
    SmoothTrack(reference_, *history_, work_, limit);
  }
  EnginePoint& Ring(int slot) { return history_->Ring[slot]; }

  std::unique_ptr<PointHistory> history_ = std::make_unique<PointHistory>();
  EnginePoint reference_{};
  FitWork work_{};
};

TEST_F(SmoothTrackTest, HistoryPushReturnsEntryTwoFramesOlder) {
  EXPECT_EQ(Run({Point(0.1)}, false).State, PointNone);
  EXPECT_EQ(Ring(0).X, 0.1);
  EXPECT_EQ(Run({Point(0.2), Point(0.3)}, false).X, 0.1);
  history_->Newest = 49;
  Ring(48) = Point(0.48);
  EXPECT_EQ(Run({Point(0.5)}, false).X, 0.48);
  EXPECT_EQ(history_->Newest, 0);
}

TEST_F(SmoothTrackTest, StillTouchFreezesOnceItsWindowIsFull) {
  for (int frame = 1; frame <= 7; ++frame) {
    EnginePoint p = Point(0.4);
    p.Mismatch = 0.1 * frame;
    const EnginePoint out = Run({p});
    EXPECT_EQ(out.State, frame <= 2 ? PointNone : PointMeasured) << frame;
    // From frame 5 on, frozen to the previous entry (frame 2's); before, the
    // window is unbalanced and the fit is reported.
    if (frame >= 3) {
      EXPECT_EQ(out.Mismatch, frame >= 5 ? 0.2 : 0.0) << frame;
    }
  }
}

TEST_F(SmoothTrackTest, LoneTouchIsErasedAndOneFrameGapFilled) {
  EXPECT_EQ(Run({kEmpty, Point(0.4), kEmpty, kEmpty}).State, PointNone);
  EXPECT_EQ(Ring(1).State, PointNone);
  // A steady track in slots 4 .. 11 with slot 9 missing.
  Run({Point(0.34), Point(0.35), Point(0.36), Point(0.37), Point(0.38)});
  const EnginePoint out = Run({kEmpty, Point(0.40), Point(0.41)});
  EXPECT_EQ(out.State, PointMeasured);
  EXPECT_NEAR(out.X, 0.39, 1e-12);
  EXPECT_EQ(Ring(9).State, PointMeasured);
  EXPECT_EQ(Ring(9).X, out.X);
}

TEST_F(SmoothTrackTest, SizeRepair) {
  // Growing suddenly: the larger entry replaces the smaller one.
  SmoothLast({Point(0.5, 0.01), Point(0.51, 0.02), Point(0.515, 0.02)});
  EXPECT_EQ(Ring(0).X, 0.51);
  EXPECT_EQ(Ring(0).Size, 0.02);
  // Shrinking suddenly: the smaller one takes the earlier position and size.
  EnginePoint shrunk = Point(0.51, 0.01);
  shrunk.Mismatch = 0.3;
  SmoothLast({Point(0.5, 0.02), shrunk, Point(0.515, 0.02)});
  EXPECT_EQ(Ring(4).X, 0.5);
  EXPECT_EQ(Ring(4).Size, 0.02);
  EXPECT_EQ(Ring(4).Mismatch, 0.3);
}

TEST_F(SmoothTrackTest, PredictionNeedsBothNewerEntries) {
  Run({Point(0.30), Point(0.31), Point(0.32), Point(0.33), Point(0.34), Point(0.35)});
  EXPECT_EQ(reference_.State, PointHeld);
  EXPECT_NEAR(reference_.X, 0.36, 1e-12);  // one frame after the newest
  EXPECT_EQ(reference_.Mismatch, 0.0);
  reference_ = kEmpty;
  EXPECT_EQ(Run({kEmpty}).State, PointMeasured);
  EXPECT_EQ(reference_.State, PointNone);
}

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

TEST(FitPolynomialTest, ExactFitsResidualAndSingularSystems) {
  FitWork work;
  FitReset(work);
  EXPECT_EQ(FitPolynomial(work, 0), kInfinity);  // no sample
  for (int t = -4; t <= 2; ++t) FitAddSample(work, Point(0.2 + 0.03 * t - 0.004 * t * t, t), t);
  EXPECT_GT(FitPolynomial(work, 1), 0.001);  // a line misses the curve
  EXPECT_NEAR(FitPolynomial(work, 2), 0.0, 1e-12);
  EXPECT_NEAR(work.CoeffX[1], 0.03, 1e-12);
  EXPECT_NEAR(work.CoeffX[2], -0.004, 1e-12);
  EXPECT_NEAR(work.CoeffSize[1], 1.0, 1e-12);
  EXPECT_EQ(work.CoeffX[3], 0.0);

  FitReset(work);
  for (double x : {0.0, 0.0, 1.0}) FitAddSample(work, Point(x), work.SampleCount);
  // Mean 1/3; deviations 1/9, 1/9, 4/9; the largest left out: sqrt(2/9 / 2).
  EXPECT_NEAR(FitPolynomial(work, 0), 1.0 / 3.0, 1e-15);

  FitReset(work);
  FitAddSample(work, Point(0.2), 1);
  FitAddSample(work, Point(0.4), 1);
  EXPECT_NEAR(FitPolynomial(work, 0), 0.1, 1e-15);
  // One distinct time cannot carry a line: zero pivot, the fit fails and the
  // constant fit's coefficients stay.
  EXPECT_EQ(FitPolynomial(work, 1), kInfinity);
  EXPECT_NEAR(work.CoeffX[0], 0.3, 1e-15);
}

TEST(EngineTest, ReportsTwoScansLate) {
  auto engine = std::make_unique<Engine>();
  engine->Reset(ParamBlock{}, ParamBlock{}, ParamBlock{});            // default scale and lenses
  const std::vector<std::uint8_t> shadow = {0xFE, 0xFE, 0x74, 0x13};  // {630, 650}
  auto stages = std::make_unique<ScanStages>();
  for (int scan = 1; scan <= 3; ++scan) {
    const TouchPair touches = engine->ProcessScan(shadow, shadow, stages.get());
    EXPECT_EQ(stages->Located[0].State, PointMeasured);
    EXPECT_EQ(stages->Smoothed[0].State, scan < 3 ? PointNone : PointMeasured);
    EXPECT_EQ(stages->Smoothed[1].State, PointNone);
    EXPECT_EQ(touches[0].down, scan < 3 ? 0 : 1);
    EXPECT_EQ(touches[1].down, 0);
  }
  EXPECT_NEAR(stages->Smoothed[0].X, 0.5, 1e-12);
  EXPECT_NEAR(stages->Smoothed[0].Y, 0.5, 1e-12);
  EXPECT_EQ(stages->Touches[0].x, 16384);  // the default scale: 32768 across
  // Without stages the result is the same.
  EXPECT_EQ(engine->ProcessScan(shadow, shadow).at(0).x, 16384);
}

}  // namespace
}  // namespace lumaro
