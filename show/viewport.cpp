#include "show/viewport.h"

#include <GL/gl.h>
#include <GL/glu.h>

ViewportSize& CurrentViewport() {
  static ViewportSize size;
  return size;
}

void ResizeViewport(int32_t width, int32_t height) {
  if (height == 0) height = 1;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 1.0, 10000.0);
  glViewport(CurrentViewport().x, CurrentViewport().y, width, height);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  CurrentViewport().width = width;
  CurrentViewport().height = height;
}

void PlaceViewport(int32_t x, int32_t y, int32_t width, int32_t height) {
  CurrentViewport().x = x;
  CurrentViewport().y = y;
  ResizeViewport(width, height);
}

void InitGl(int32_t width, int32_t height) {
  CurrentViewport().x = 0;
  CurrentViewport().y = 0;
  glEnable(GL_TEXTURE_2D);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  glShadeModel(GL_SMOOTH);
  ResizeViewport(width, height);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.01f);
}
