#include "app/edit_overlay.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

#include "app/overlay_font.h"

namespace {

int PowerOfTwoAtLeast(int n) {
  int p = 1;
  while (p < n) p *= 2;
  return p;
}

// Pixel-exact 2D drawing over the whole drawable; everything is restored by End.
void Begin2d(int width, int height) {
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glViewport(0, 0, width, height);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_FOG);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glDisable(GL_SCISSOR_TEST);
  glDepthMask(GL_FALSE);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void End2d() {
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_TEXTURE);
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}

}  // namespace

void EditOverlay::Draw(const std::vector<OverlayLine>& lines, int width, int height) {
  if (lines.empty() || width <= 0 || height <= 0) return;
  const OverlayFont& font = OverlayFontData();
  Begin2d(width, height);
  if (texture_ == 0) {
    textureWidth_ = PowerOfTwoAtLeast(font.atlasWidth);
    textureHeight_ = PowerOfTwoAtLeast(font.cellHeight);
    std::vector<uint8_t> alpha(static_cast<size_t>(textureWidth_) * textureHeight_, 0);
    for (int y = 0; y < font.cellHeight; ++y) {
      std::memcpy(&alpha[static_cast<size_t>(y) * textureWidth_], font.coverage + static_cast<size_t>(y) * font.atlasWidth,
                  static_cast<size_t>(font.atlasWidth));
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, textureWidth_, textureHeight_, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 alpha.data());
    texture_ = name;
  }

  const int scale = std::max(1, height / 480);
  const int cellW = font.cellWidth * scale;
  const int cellH = font.cellHeight * scale;
  const int margin = 4 * scale;
  size_t longest = 0;
  for (const OverlayLine& line : lines) longest = std::max(longest, line.text.size());
  const int bandW = std::min(width, static_cast<int>(longest) * cellW + 2 * margin);
  const int bandH = static_cast<int>(lines.size()) * cellH + 2 * margin;

  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(0.0f, 0.0f, 0.0f, 0.6f);
  glBegin(GL_QUADS);
  glVertex2i(0, height);
  glVertex2i(bandW, height);
  glVertex2i(bandW, height - bandH);
  glVertex2i(0, height - bandH);
  glEnd();

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture_);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  const float du = static_cast<float>(font.cellWidth) / static_cast<float>(textureWidth_);
  const float dv = static_cast<float>(font.cellHeight) / static_cast<float>(textureHeight_);
  glBegin(GL_QUADS);
  for (size_t row = 0; row < lines.size(); ++row) {
    const OverlayLine& line = lines[row];
    glColor4f(line.red, line.green, line.blue, 1.0f);
    const int top = height - margin - static_cast<int>(row) * cellH;
    for (size_t i = 0; i < line.text.size(); ++i) {
      int c = static_cast<unsigned char>(line.text[i]);
      if (c < font.first || c >= font.first + font.count) c = '?';
      if (c == ' ') continue;
      const float u = static_cast<float>(c - font.first) * du;
      const int left = margin + static_cast<int>(i) * cellW;
      if (left + cellW > width) break;
      glTexCoord2f(u, 0.0f);
      glVertex2i(left, top);
      glTexCoord2f(u + du, 0.0f);
      glVertex2i(left + cellW, top);
      glTexCoord2f(u + du, dv);
      glVertex2i(left + cellW, top - cellH);
      glTexCoord2f(u, dv);
      glVertex2i(left, top - cellH);
    }
  }
  glEnd();
  End2d();
}

void EditOverlay::Release() {
  if (texture_ != 0) {
    GLuint name = texture_;
    glDeleteTextures(1, &name);
  }
  texture_ = 0;
}

HeldFrame HeldFrame::Read(int width, int height) {
  HeldFrame frame;
  if (width <= 0 || height <= 0) return frame;
  frame.width = width;
  frame.height = height;
  frame.rgba.resize(static_cast<size_t>(width) * height * 4);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
  glPopClientAttrib();
  return frame;
}

void HeldFrame::Put() const {
  if (rgba.empty()) return;
  Begin2d(width, height);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelZoom(1.0f, 1.0f);
  glRasterPos2i(0, 0);
  glDrawPixels(width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  End2d();
}

std::vector<uint8_t> HeldFrame::TopFirst() const {
  std::vector<uint8_t> out(rgba.size());
  const size_t row = static_cast<size_t>(width) * 4;
  for (int y = 0; y < height; ++y)
    std::memcpy(out.data() + static_cast<size_t>(y) * row, rgba.data() + static_cast<size_t>(height - 1 - y) * row, row);
  return out;
}
