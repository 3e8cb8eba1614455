// Headless backend: an offscreen OpenGL context through EGL on Mesa's surfaceless platform
// (software rasterizer when there is no GPU), drawing into a framebuffer object, or into a
// pbuffer where the driver offers no framebuffer objects. Time is a virtual millisecond counter.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/gl_framebuffer.h"
#include "platform/platform.h"

namespace {

EGLDisplay OpenEglDisplay() {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  EGLDisplay display = EGL_NO_DISPLAY;
  if (getPlatformDisplay) {
    display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  }
  if (display == EGL_NO_DISPLAY) display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
  return display;
}

class HeadlessEglDisplay final : public HeadlessDisplay {
 public:
  ~HeadlessEglDisplay() override { Close(); }

  bool Open(const WindowRequest& request, std::string* why) override {
    Close();
    width_ = request.width > 0 ? request.width : 1;
    height_ = request.height > 0 ? request.height : 1;
    display_ = OpenEglDisplay();
    if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr)) {
      display_ = EGL_NO_DISPLAY;
      return Fail(why, "Can't Find A Suitable PixelFormat.");
    }
    if (!eglBindAPI(EGL_OPENGL_API)) return Fail(why, "Can't Create A GL Rendering Context.");

    // Drawing goes into a framebuffer object of 8-bit colour made in the context itself: a
    // copy between it and another such buffer (a cached backdrop) is a plain memory copy,
    // which it is not for the pbuffer's own format. A pbuffer of the full size is the fallback
    // where framebuffer objects or surfaceless contexts are missing.
    EGLConfig config = nullptr;
    const bool pbufferConfig = ChooseConfig(EGL_PBUFFER_BIT, &config);
    if (!pbufferConfig && !ChooseConfig(0, &config)) return Fail(why, "Can't Find A Suitable PixelFormat.");

    context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, nullptr);
    if (context_ == EGL_NO_CONTEXT) return Fail(why, "Can't Create A GL Rendering Context.");

    if (!eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) || !MakeFramebuffer()) {
      if (!pbufferConfig) return Fail(why, "Can't activate GLRC.");
      const EGLint attribs[] = {EGL_WIDTH, width_, EGL_HEIGHT, height_, EGL_NONE};
      surface_ = eglCreatePbufferSurface(display_, config, attribs);
      if (surface_ == EGL_NO_SURFACE || !eglMakeCurrent(display_, surface_, surface_, context_)) {
        return Fail(why, "Can't activate GLRC.");
      }
    }
    glViewport(0, 0, width_, height_);
    return true;
  }

  void DrawableSize(int* width, int* height) const override {
    *width = width_;
    *height = height_;
  }

  void PumpEvents(WindowEvents& sink) override { DeliverInjected(sink); }

  void SwapBuffers() override {
    // Offscreen there is nothing to present; finishing keeps ReadPixels and timings honest.
    if (context_ != EGL_NO_CONTEXT) glFinish();
  }

  void* GlFunction(const char* name) const override {
    if (context_ == EGL_NO_CONTEXT) return nullptr;
    return reinterpret_cast<void*>(eglGetProcAddress(name));
  }

  uint32_t Ticks() override { return ticks_; }
  void SetTicks(uint32_t ms) override { ticks_ = ms; }
  void AdvanceTicks(uint32_t ms) override { ticks_ += ms; }

  bool ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height) override {
    if (context_ == EGL_NO_CONTEXT) return false;
    size_t row = static_cast<size_t>(width_) * 4;
    rgba->resize(row * static_cast<size_t>(height_));
    // Kept between calls: a render reads every frame, and fresh memory costs page faults.
    std::vector<uint8_t>& flipped = readBuffer_;
    flipped.resize(rgba->size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, flipped.data());
    // GL gives the bottom row first; callers get the top row first.
    for (int y = 0; y < height_; ++y) {
      std::memcpy(rgba->data() + row * static_cast<size_t>(y),
                  flipped.data() + row * static_cast<size_t>(height_ - 1 - y), row);
    }
    *width = width_;
    *height = height_;
    return glGetError() == GL_NO_ERROR;
  }

  void Close() override {
    if (display_ == EGL_NO_DISPLAY) return;
    if (context_ != EGL_NO_CONTEXT) {
      eglMakeCurrent(display_, surface_, surface_, context_);
      framebuffer_.Destroy();
    }
    framebuffer_.Forget();
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    surface_ = EGL_NO_SURFACE;
    context_ = EGL_NO_CONTEXT;
    // The display connection is shared by every context in the process; it stays initialised.
    display_ = EGL_NO_DISPLAY;
  }

 private:
  bool Fail(std::string* why, const char* text) {
    if (why) *why = text;
    Close();
    return false;
  }

  // The player's pixel format: 8 bits for each of red, green and blue, 24 depth bits, no alpha
  // and no stencil. EGL lists deeper formats (10-bit colour) first; those are slower for a
  // software rasterizer and round differently from a window, so the exact format is taken
  // where offered, then the closest one with 8-bit colour, then whatever comes first.
  bool ChooseConfig(EGLint surfaceType, EGLConfig* config) {
    const EGLint attribs[] = {EGL_SURFACE_TYPE, surfaceType, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8,
                              EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 24, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                              EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display_, attribs, nullptr, 0, &count) || count <= 0) return false;
    std::vector<EGLConfig> configs(static_cast<size_t>(count));
    if (!eglChooseConfig(display_, attribs, configs.data(), count, &count) || count <= 0) return false;
    int best = -1, bestScore = 1 << 30;
    for (int i = 0; i < count; ++i) {
      EGLint r = 0, g = 0, b = 0, a = 0, depth = 0, stencil = 0;
      eglGetConfigAttrib(display_, configs[static_cast<size_t>(i)], EGL_RED_SIZE, &r);
      eglGetConfigAttrib(display_, configs[static_cast<size_t>(i)], EGL_GREEN_SIZE, &g);
      eglGetConfigAttrib(display_, configs[static_cast<size_t>(i)], EGL_BLUE_SIZE, &b);
      eglGetConfigAttrib(display_, configs[static_cast<size_t>(i)], EGL_ALPHA_SIZE, &a);
      eglGetConfigAttrib(display_, configs[static_cast<size_t>(i)], EGL_DEPTH_SIZE, &depth);
      eglGetConfigAttrib(display_, configs[static_cast<size_t>(i)], EGL_STENCIL_SIZE, &stencil);
      const int score = (r == 8 && g == 8 && b == 8 ? 0 : 1000) + a + stencil + (depth - 24);
      if (score < bestScore) {
        bestScore = score;
        best = i;
      }
    }
    *config = configs[static_cast<size_t>(best)];
    return true;
  }

  bool MakeFramebuffer() {
    return framebuffer_.Create(width_, height_, [](const char* name) {
      return reinterpret_cast<void*>(eglGetProcAddress(name));
    });
  }

  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  EGLSurface surface_ = EGL_NO_SURFACE;
  OffscreenFramebuffer framebuffer_;
  int width_ = 0;
  int height_ = 0;
  uint32_t ticks_ = 0;
  std::vector<uint8_t> readBuffer_;
};

}  // namespace

std::unique_ptr<HeadlessDisplay> CreateHeadlessDisplay() { return std::make_unique<HeadlessEglDisplay>(); }
