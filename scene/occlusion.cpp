#include "scene/occlusion.h"

#include <algorithm>
#include <cmath>

namespace {

// Window positions and depths come out of the driver's own arithmetic a little apart from
// ours: an edge may move by a fraction of a pixel (vertices are snapped to a subpixel grid),
// a depth by a few units of the last place.
constexpr double kEdgeMargin = 0.125;   // pixels
constexpr double kDepthMargin = 2e-5;   // of the 0..1 depth range
constexpr double kUnknown = 2.0;        // farther than any depth

// floor or ceil of value / kCellSize, clamped to low..high before it becomes an int (a point
// just in front of the eye plane lands billions of pixels away).
int CellFloor(double value, int low, int high) {
  return static_cast<int>(std::clamp(std::floor(value / OcclusionGrid::kCellSize), double(low), double(high)));
}
int CellCeil(double value, int low, int high) {
  return static_cast<int>(std::clamp(std::ceil(value / OcclusionGrid::kCellSize), double(low), double(high)));
}

}  // namespace

void OcclusionGrid::Reset(int x, int y, int width, int height) {
  x_ = x;
  y_ = y;
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  columns_ = (width_ + kCellSize - 1) / kCellSize;
  rows_ = (height_ + kCellSize - 1) / kCellSize;
  cells_.assign(static_cast<size_t>(columns_) * static_cast<size_t>(rows_), kUnknown);
}

void OcclusionGrid::Add(const WindowPoint& a, const WindowPoint& b, const WindowPoint& c) {
  const WindowPoint p[3] = {a, b, c};
  AddConvex(p, 3);
}

void OcclusionGrid::Add(const WindowPoint& a, const WindowPoint& b, const WindowPoint& c, const WindowPoint& d) {
  const WindowPoint p[4] = {a, b, c, d};
  if (AddConvex(p, 4)) return;
  Add(a, b, c);
  Add(a, c, d);
}

bool OcclusionGrid::AddConvex(const WindowPoint* p, int n) {
  if (cells_.empty()) return true;
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(p[i].x) || !std::isfinite(p[i].y) || !std::isfinite(p[i].z)) return true;
  const WindowPoint& a = p[0];
  const WindowPoint& b = p[1];
  const WindowPoint& c = p[2];
  // Twice the signed area of the first three corners; the edge functions below are positive
  // inside either way round.
  const double area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
  if (!(std::fabs(area) > 1e-9)) return true;  // edge-on: covers nothing
  const double sign = area > 0.0 ? 1.0 : -1.0;
  struct Edge {
    double a, b, c, slack;  // inside: a x + b y + c > slack
  } edges[4];
  for (int i = 0; i < n; ++i) {
    const WindowPoint& u = p[i];
    const WindowPoint& w = p[(i + 1) % n];
    Edge& e = edges[i];
    e.a = -(w.y - u.y) * sign;
    e.b = (w.x - u.x) * sign;
    e.c = -(e.a * u.x + e.b * u.y);
    e.slack = kEdgeMargin * std::sqrt(e.a * e.a + e.b * e.b);
  }
  // A quadrilateral must be convex (every corner inside the other edges' half-planes, as
  // seen from each edge) for the edge test to describe it.
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < n; ++k)
      if (k != i && k != (i + 1) % n && !(edges[i].a * p[k].x + edges[i].b * p[k].y + edges[i].c > 0.0)) return false;
  // Depth as a plane over the window: z = zx x + zy y + z0.
  const double zx = ((b.z - a.z) * (c.y - a.y) - (c.z - a.z) * (b.y - a.y)) / area;
  const double zy = ((c.z - a.z) * (b.x - a.x) - (b.z - a.z) * (c.x - a.x)) / area;
  const double z0 = a.z - zx * a.x - zy * a.y;
  // A fourth corner off that plane: the two halves are not one flat face.
  if (n == 4 && !(std::fabs(zx * p[3].x + zy * p[3].y + z0 - p[3].z) < kDepthMargin * 0.25)) return false;

  double left = p[0].x, right = p[0].x, bottom = p[0].y, top = p[0].y;
  for (int i = 1; i < n; ++i) {
    left = std::min(left, p[i].x);
    right = std::max(right, p[i].x);
    bottom = std::min(bottom, p[i].y);
    top = std::max(top, p[i].y);
  }
  left -= x_;
  right -= x_;
  bottom -= y_;
  top -= y_;
  // Too narrow or too low to cover a whole cell: nothing to record (most triangles of a
  // detailed mesh end here).
  if (right - left < kCellSize || top - bottom < kCellSize) return true;
  // Cells whose four corners lie inside the triangle; a cell's corners are its pixels' outer
  // edges, a little beyond their centres.
  // Corner columns and rows; the last ones stand at the view's edge, short of a whole cell.
  const int c0 = CellCeil(left, 0, columns_);
  const int c1 = right >= width_ ? columns_ : CellFloor(right, 0, columns_);
  const int r0 = CellCeil(bottom, 0, rows_);
  const int r1 = top >= height_ ? rows_ : CellFloor(top, 0, rows_);
  if (c1 <= c0 || r1 <= r0) return true;
  const int across = c1 - c0 + 1;
  corners_.resize(static_cast<size_t>(across) * static_cast<size_t>(r1 - r0 + 1));
  for (int row = r0; row <= r1; ++row) {
    const double y = y_ + std::min(height_, row * kCellSize);
    for (int column = c0; column <= c1; ++column) {
      const double x = x_ + std::min(width_, column * kCellSize);
      bool inside = true;
      for (int i = 0; i < n; ++i) inside = inside && edges[i].a * x + edges[i].b * y + edges[i].c > edges[i].slack;
      corners_[static_cast<size_t>(row - r0) * static_cast<size_t>(across) + static_cast<size_t>(column - c0)] =
          inside ? zx * x + zy * y + z0 : kUnknown;
    }
  }
  for (int row = r0; row < r1; ++row) {
    const double* below = &corners_[static_cast<size_t>(row - r0) * static_cast<size_t>(across)];
    const double* above = below + across;
    for (int column = c0; column < c1; ++column) {
      const int k = column - c0;
      const double farthest = std::max({below[k], below[k + 1], above[k], above[k + 1]});
      if (farthest >= kUnknown) continue;
      double& cell = cells_[static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(column)];
      cell = std::min(cell, farthest);
    }
  }
  return true;
}

bool OcclusionGrid::Hides(double x0, double y0, double x1, double y1, double nearest) const {
  if (cells_.empty()) return false;  // never reset (or no view): nothing is known
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(nearest))
    return false;
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  // Pixels whose centres the rectangle may reach, one more on every side for rounding.
  const double left = x0 - x_ - 1.0, right = x1 - x_ + 1.0, bottom = y0 - y_ - 1.0, top = y1 - y_ + 1.0;
  if (right < 0.0 || top < 0.0 || left > width_ || bottom > height_) return true;
  const int c0 = CellFloor(left, 0, columns_ - 1);
  const int c1 = CellFloor(right, 0, columns_ - 1);
  const int r0 = CellFloor(bottom, 0, rows_ - 1);
  const int r1 = CellFloor(top, 0, rows_ - 1);
  for (int row = r0; row <= r1; ++row)
    for (int column = c0; column <= c1; ++column)
      if (!(cells_[static_cast<size_t>(row) * static_cast<size_t>(columns_) + static_cast<size_t>(column)] <
            nearest - kDepthMargin))
        return false;
  return true;
}
