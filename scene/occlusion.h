// What the opaque meshes drawn so far surely hide. The opaque pass draws the nearest meshes
// first, so a software rasterizer rejects most hidden fragments by the depth test, but each
// rejected fragment still costs it about half a shaded one: seen from a street or from above,
// the city's blocks behind the nearest ones are three fifths of the fragments of a frame. A
// mesh whose every fragment would fail the depth test changes nothing in the frame, and is
// not drawn at all.
//
// The record is a coarse grid over the view: for each cell, the farthest depth the triangles
// drawn so far surely leave in every pixel of it (a cell counts only where one triangle covers
// it whole). A mesh is hidden when its bounding box, seen from the eye, falls in cells all of
// which hold a nearer depth. Everything is conservative: a cell not known to be covered, a box
// reaching behind the eye, or a depth within a rounding margin of the recorded one leaves the
// mesh to be drawn.
//
//   OcclusionGrid grid;
//   grid.Reset(viewport);                        // x, y, width, height in pixels
//   if (!grid.Hides(box)) { draw; grid.Add(triangle) for its filled front faces; }
#pragma once

#include <vector>

// A point in window coordinates: pixels from the view's lower left corner and depth 0..1.
struct WindowPoint {
  double x = 0.0, y = 0.0, z = 0.0;
};

class OcclusionGrid {
 public:
  static constexpr int kCellSize = 16;  // pixels

  // Forgets everything: a view of width x height pixels whose lower left corner is at (x, y).
  void Reset(int x, int y, int width, int height);
  // A filled triangle that was drawn with the depth test and depth writes on.
  void Add(const WindowPoint& a, const WindowPoint& b, const WindowPoint& c);
  // Two such triangles (a, b, c) and (a, c, d) that make one flat convex quadrilateral, as a
  // whole: cells along the diagonal are covered by neither half alone. Left out when the four
  // corners are not flat and convex.
  void Add(const WindowPoint& a, const WindowPoint& b, const WindowPoint& c, const WindowPoint& d);
  // Whether every pixel centre in the rectangle [x0, x1] x [y0, y1] (window coordinates, in any
  // order of the view) already holds a depth nearer than `nearest`, so that nothing at depth
  // `nearest` or beyond can pass a LESS or LEQUAL depth test there. A rectangle wholly outside
  // the view is hidden: it has no pixels.
  bool Hides(double x0, double y0, double x1, double y1, double nearest) const;

 private:
  // False when the corners do not make a flat convex polygon (nothing recorded then).
  bool AddConvex(const WindowPoint* corners, int count);
  int x_ = 0, y_ = 0, width_ = 0, height_ = 0, columns_ = 0, rows_ = 0;
  std::vector<double> cells_;    // the farthest depth surely left in the cell; above 1 when unknown
  std::vector<double> corners_;  // scratch for Add: depth at each cell corner inside the triangle
};
