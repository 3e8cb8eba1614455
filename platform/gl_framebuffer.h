// The framebuffer object an offscreen display draws into where its context has no drawable of
// its own size: colour with 8 bits a channel and no alpha (the window's pixel format, so blending
// that reads the destination's alpha sees what it sees on screen) and a 24-bit depth buffer.
// The caller makes its context current around Create and Destroy.
//
//   OffscreenFramebuffer fb;
//   if (!fb.Create(640, 480, &LoadGlFunction)) { ...draw into the back buffer... }
//   ...
//   fb.Destroy();
#pragma once

#include <cstdint>

class OffscreenFramebuffer {
 public:
  // Looks up a GL entry point by name (eglGetProcAddress, wglGetProcAddress).
  using Loader = void* (*)(const char* name);

  // False where the context offers no framebuffer objects or the framebuffer is incomplete;
  // then whatever was made is deleted again.
  bool Create(int width, int height, Loader load);
  // Safe when nothing was created and safe twice.
  void Destroy();
  // Forgets the objects without GL calls (the context is already gone).
  void Forget();
  bool Active() const { return framebuffer_ != 0; }

 private:
  // Entry points kept for Destroy, stored untyped (the GL headers stay out of this one).
  using Entry = void (*)();
  uint32_t framebuffer_ = 0;
  uint32_t renderbuffers_[2] = {0, 0};
  Entry bindFramebuffer_ = nullptr;
  Entry deleteFramebuffers_ = nullptr;
  Entry deleteRenderbuffers_ = nullptr;
};
