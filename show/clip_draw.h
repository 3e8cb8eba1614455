// Many small textured pieces in one draw call. A software driver spends some microseconds on
// every draw before a pixel is drawn, on the thread that issues it (its state, the matrices as
// constants, the vertex arrays), while the rasterizer threads wait for the frame; the effects
// draw hundreds of pieces a frame, each under its own matrix. Here each piece's vertices are
// taken to clip coordinates by the caller's matrix (double precision) and everything is drawn
// at once with identity matrices, in the order the pieces were added.
//
//   ClipBatch& batch = ClipBatch::Shared();
//   batch.Clear();
//   batch.AddTriangles(toClip, corners, texCoords, count, r, g, b);   // for each piece
//   batch.AddFan(toClip, fanCorners, fanTexCoords, count, r, g, b);
//   batch.Draw();
//
// Lighting, texture generation and user clip planes must be off: the vertices reach GL already
// transformed. Draw leaves the matrices (and which is selected) as they were.
#pragma once

#include <cstddef>
#include <vector>

#include "anim/transform.h"

class ClipBatch {
 public:
  // The one batch the effects share (GL runs on one thread); its arrays keep their memory
  // from frame to frame.
  static ClipBatch& Shared();

  void Clear();
  // Triangles given as `count` corners, three a triangle: positions 3 floats a corner, texture
  // coordinates 2, all in one colour.
  void AddTriangles(const Transform& toClip, const float* positions, const float* texCoords, size_t count, float red,
                    float green, float blue);
  // A triangle fan (as GL_TRIANGLE_FAN draws it) of `count` corners.
  void AddFan(const Transform& toClip, const float* positions, const float* texCoords, size_t count, float red,
              float green, float blue);
  size_t corners() const { return positions_.size() / 4; }
  // Draws everything added as one list of triangles.
  void Draw() const;

 private:
  template <typename Index>
  void Append(const Transform& toClip, const float* positions, const float* texCoords, size_t count,
              const float colour[3], Index index);
  std::vector<float> positions_, texCoords_, colours_;
};
