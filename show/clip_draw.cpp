#include "show/clip_draw.h"

#include <GL/gl.h>

ClipBatch& ClipBatch::Shared() {
  static ClipBatch batch;
  return batch;
}

void ClipBatch::Clear() {
  positions_.clear();
  texCoords_.clear();
  colours_.clear();
}

// Appends `count` corners, corner k being corners[index(k)] taken through toClip.
template <typename Index>
void ClipBatch::Append(const Transform& toClip, const float* positions, const float* texCoords, size_t count,
                       const float colour[3], Index index) {
  const size_t first = corners();
  positions_.resize((first + count) * 4);
  texCoords_.resize((first + count) * 2);
  colours_.resize((first + count) * 3);
  float* position = &positions_[first * 4];
  float* texCoord = &texCoords_[first * 2];
  float* shade = &colours_[first * 3];
  const double* m = toClip.m;
  for (size_t k = 0; k < count; ++k) {
    const size_t c = index(k);
    const double x = positions[3 * c], y = positions[3 * c + 1], z = positions[3 * c + 2];
    for (int row = 0; row < 4; ++row)
      *position++ = static_cast<float>(m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row]);
    *texCoord++ = texCoords[2 * c];
    *texCoord++ = texCoords[2 * c + 1];
    *shade++ = colour[0];
    *shade++ = colour[1];
    *shade++ = colour[2];
  }
}

void ClipBatch::AddTriangles(const Transform& toClip, const float* positions, const float* texCoords, size_t count,
                             float red, float green, float blue) {
  const float colour[3] = {red, green, blue};
  Append(toClip, positions, texCoords, count - count % 3, colour, [](size_t k) { return k; });
}

void ClipBatch::AddFan(const Transform& toClip, const float* positions, const float* texCoords, size_t count,
                       float red, float green, float blue) {
  if (count < 3) return;
  const float colour[3] = {red, green, blue};
  // Triangle k of the fan is corners 0, k + 1, k + 2.
  Append(toClip, positions, texCoords, (count - 2) * 3, colour, [](size_t k) {
    const size_t triangle = k / 3, corner = k % 3;
    return corner == 0 ? 0 : triangle + corner;
  });
}

void ClipBatch::Draw() const {
  const size_t count = corners();
  if (count == 0) return;
  GLint mode = GL_MODELVIEW;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  GLfloat projection[16], modelview[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(4, GL_FLOAT, 0, positions_.data());
  glTexCoordPointer(2, GL_FLOAT, 0, texCoords_.data());
  glColorPointer(3, GL_FLOAT, 0, colours_.data());
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(count));
  glPopClientAttrib();
  glLoadMatrixf(modelview);
  glMatrixMode(GL_PROJECTION);
  glLoadMatrixf(projection);
  glMatrixMode(static_cast<GLenum>(mode));
}
