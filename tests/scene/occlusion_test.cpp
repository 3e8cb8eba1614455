#include "scene/occlusion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

WindowPoint P(double x, double y, double z) { return WindowPoint{x, y, z}; }

// A 160 x 120 view with its lower left corner at (0, 0), covered by two triangles (one
// quadrilateral) at depth 0.5.
class Occlusion : public ::testing::Test {
 protected:
  void SetUp() override { grid_.Reset(0, 0, 160, 120); }
  void CoverWholeView(double depth) {
    grid_.Add(P(-10, -10, depth), P(170, -10, depth), P(170, 130, depth), P(-10, 130, depth));
  }
  OcclusionGrid grid_;
};

TEST_F(Occlusion, SomethingBehindWhatCoversItIsHiddenAndNothingElse) {
  EXPECT_FALSE(grid_.Hides(40, 40, 60, 60, 0.9)) << "nothing drawn yet";
  CoverWholeView(0.5);
  EXPECT_TRUE(grid_.Hides(40, 40, 60, 60, 0.9));
  EXPECT_TRUE(grid_.Hides(0, 0, 159.9, 119.9, 0.51));
  // Nearer, level with it (a LEQUAL test passes), or within the rounding margin: drawn.
  EXPECT_FALSE(grid_.Hides(40, 40, 60, 60, 0.3));
  EXPECT_FALSE(grid_.Hides(40, 40, 60, 60, 0.5));
  EXPECT_FALSE(grid_.Hides(40, 40, 60, 60, 0.500001));
  // Not a number anywhere: drawn.
  EXPECT_FALSE(grid_.Hides(40, NAN, 60, 60, 0.9));
  EXPECT_FALSE(grid_.Hides(40, 40, 60, 60, NAN));
  // Wholly outside the view there are no pixels to draw.
  EXPECT_TRUE(grid_.Hides(200, 40, 260, 60, 0.1));
  OcclusionGrid empty;
  EXPECT_FALSE(empty.Hides(40, 40, 60, 60, 0.9)) << "never reset: knows nothing";
}

// A mesh just in front of the eye plane lands far outside the view in window coordinates;
// cell indices far beyond what an int holds must still be clamped to the grid.
TEST_F(Occlusion, CoordinatesFarBeyondTheViewAreClampedToTheGrid) {
  // The left half covered; a rectangle reaching from it far to the right is not hidden.
  grid_.Add(P(-10, -10, 0.2), P(72, -10, 0.2), P(72, 130, 0.2), P(-10, 130, 0.2));
  EXPECT_FALSE(grid_.Hides(10, 10, 1e12, 60, 0.5));
  EXPECT_FALSE(grid_.Hides(-1e12, 10, 1e12, 60, 0.5));
  // A face so large its corners are far out covers the whole view.
  OcclusionGrid huge;
  huge.Reset(0, 0, 160, 120);
  huge.Add(P(-1e12, -1e12, 0.3), P(1e12, -1e12, 0.3), P(1e12, 1e12, 0.3), P(-1e12, 1e12, 0.3));
  EXPECT_TRUE(huge.Hides(0, 0, 159, 119, 0.5));
}

TEST_F(Occlusion, OnlyCellsATriangleCoversWholeCount) {
  // The left half of the view, its right edge at x = 72: cells from 64 on are cut by it.
  grid_.Add(P(-10, -10, 0.2), P(72, -10, 0.2), P(72, 130, 0.2), P(-10, 130, 0.2));
  EXPECT_TRUE(grid_.Hides(2, 2, 60, 110, 0.5));
  EXPECT_FALSE(grid_.Hides(2, 2, 70, 110, 0.5)) << "reaches the cut cells";
  EXPECT_FALSE(grid_.Hides(100, 2, 120, 20, 0.5)) << "uncovered";
  // A sloping quadrilateral: the depth recorded is the farthest in each cell, so a box just
  // behind its near end but in front of its far end is drawn.
  OcclusionGrid slope;
  slope.Reset(0, 0, 160, 120);
  slope.Add(P(-10, -10, 0.1), P(170, -10, 0.9), P(170, 130, 0.9), P(-10, 130, 0.1));
  EXPECT_TRUE(slope.Hides(0, 0, 30, 119, 0.3));
  EXPECT_FALSE(slope.Hides(0, 0, 159, 119, 0.3));
}

TEST_F(Occlusion, AQuadrilateralCoversItsDiagonalWhereItsHalvesAloneDoNot) {
  const WindowPoint a = P(8, 8, 0.4), b = P(152, 8, 0.4), c = P(152, 112, 0.4), d = P(8, 112, 0.4);
  OcclusionGrid halves;
  halves.Reset(0, 0, 160, 120);
  halves.Add(a, b, c);
  halves.Add(a, c, d);
  grid_.Add(a, b, c, d);
  // A box around the middle of the diagonal.
  EXPECT_FALSE(halves.Hides(60, 40, 100, 80, 0.6));
  EXPECT_TRUE(grid_.Hides(60, 40, 100, 80, 0.6));
  // Corners off one plane are not one flat face: only the halves count.
  OcclusionGrid bent;
  bent.Reset(0, 0, 160, 120);
  bent.Add(a, b, P(152, 112, 0.45), d);
  EXPECT_FALSE(bent.Hides(60, 40, 100, 80, 0.6));
  EXPECT_TRUE(bent.Hides(20, 70, 40, 90, 0.6)) << "the half (a, c, d) still counts";
  // A quadrilateral folded over itself records nothing as a whole.
  OcclusionGrid folded;
  folded.Reset(0, 0, 160, 120);
  folded.Add(a, c, b, d);
  EXPECT_FALSE(folded.Hides(60, 40, 100, 80, 0.6));
}

TEST_F(Occlusion, AViewAwayFromTheOriginAndCutCellsAtItsEdges) {
  OcclusionGrid offset;
  offset.Reset(100, 50, 70, 37);  // neither size a whole number of cells
  offset.Add(P(90, 40, 0.3), P(180, 40, 0.3), P(180, 95, 0.3), P(90, 95, 0.3));
  EXPECT_TRUE(offset.Hides(100, 50, 169.9, 86.9, 0.5));
  EXPECT_TRUE(offset.Hides(0, 0, 60, 30, 0.1)) << "left of and below the view";
  OcclusionGrid partial;
  partial.Reset(100, 50, 70, 37);
  partial.Add(P(90, 40, 0.3), P(160, 40, 0.3), P(160, 95, 0.3), P(90, 95, 0.3));
  EXPECT_FALSE(partial.Hides(100, 50, 169.9, 86.9, 0.5)) << "the last columns are not covered";
}

}  // namespace
