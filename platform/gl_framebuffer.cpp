#include "platform/gl_framebuffer.h"

#if defined(_WIN32)
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glext.h>

namespace {

template <typename T>
T Lookup(OffscreenFramebuffer::Loader load, const char* name) {
  return reinterpret_cast<T>(load(name));
}

}  // namespace

bool OffscreenFramebuffer::Create(int width, int height, Loader load) {
  auto gen = Lookup<PFNGLGENFRAMEBUFFERSPROC>(load, "glGenFramebuffers");
  auto bind = Lookup<PFNGLBINDFRAMEBUFFERPROC>(load, "glBindFramebuffer");
  auto genRb = Lookup<PFNGLGENRENDERBUFFERSPROC>(load, "glGenRenderbuffers");
  auto bindRb = Lookup<PFNGLBINDRENDERBUFFERPROC>(load, "glBindRenderbuffer");
  auto storage = Lookup<PFNGLRENDERBUFFERSTORAGEPROC>(load, "glRenderbufferStorage");
  auto attach = Lookup<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(load, "glFramebufferRenderbuffer");
  auto check = Lookup<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(load, "glCheckFramebufferStatus");
  auto deleteFb = Lookup<PFNGLDELETEFRAMEBUFFERSPROC>(load, "glDeleteFramebuffers");
  auto deleteRb = Lookup<PFNGLDELETERENDERBUFFERSPROC>(load, "glDeleteRenderbuffers");
  if (!gen || !bind || !genRb || !bindRb || !storage || !attach || !check || !deleteFb || !deleteRb) return false;
  bindFramebuffer_ = reinterpret_cast<Entry>(bind);
  deleteFramebuffers_ = reinterpret_cast<Entry>(deleteFb);
  deleteRenderbuffers_ = reinterpret_cast<Entry>(deleteRb);

  gen(1, &framebuffer_);
  bind(GL_FRAMEBUFFER, framebuffer_);
  genRb(2, renderbuffers_);
  bindRb(GL_RENDERBUFFER, renderbuffers_[0]);
  storage(GL_RENDERBUFFER, GL_RGB8, width, height);
  attach(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[0]);
  bindRb(GL_RENDERBUFFER, renderbuffers_[1]);
  storage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
  attach(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffers_[1]);
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  if (check(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) return true;
  Destroy();
  return false;
}

void OffscreenFramebuffer::Destroy() {
  if (framebuffer_ && bindFramebuffer_) {
    reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(bindFramebuffer_)(GL_FRAMEBUFFER, 0);
  }
  if (framebuffer_ && deleteFramebuffers_) {
    reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(deleteFramebuffers_)(1, &framebuffer_);
  }
  if (renderbuffers_[0] && deleteRenderbuffers_) {
    reinterpret_cast<PFNGLDELETERENDERBUFFERSPROC>(deleteRenderbuffers_)(2, renderbuffers_);
  }
  Forget();
}

void OffscreenFramebuffer::Forget() {
  framebuffer_ = 0;
  renderbuffers_[0] = renderbuffers_[1] = 0;
}
