// Offscreen drawing on Windows: a hidden window's WGL context drawing into a framebuffer
// object when the driver offers one, else into the hidden window's back buffer. Time is a
// virtual millisecond counter the caller advances.
#include <GL/gl.h>
#include <GL/glext.h>

#include "platform/log.h"
#include "platform/platform.h"
#include "platform/win32_common.h"

namespace {

constexpr char kClassName[] = "Quillon Offscreen";

bool RegisterOffscreenClass() {
  WNDCLASSA existing;
  if (GetClassInfoA(ProgramInstance(), kClassName, &existing)) return true;
  WNDCLASSA wc{};
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = ProgramInstance();
  wc.lpszClassName = kClassName;
  return RegisterClassA(&wc) != 0;
}

template <typename T>
T GlProc(const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(wglGetProcAddress(name)));
}

class Win32OffscreenDisplay final : public HeadlessDisplay {
 public:
  ~Win32OffscreenDisplay() override { Close(); }

  bool Open(const WindowRequest& request, std::string* why) override {
    Close();
    width_ = request.width > 0 ? request.width : 1;
    height_ = request.height > 0 ? request.height : 1;
    if (!RegisterOffscreenClass()) return Fail(why, kNoPixelFormat);
    // Never shown; WS_POPUP keeps the client area the requested size for the back-buffer case.
    window_ = CreateWindowExA(0, kClassName, request.title.c_str(), WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0,
                              0, width_, height_, nullptr, nullptr, ProgramInstance(), nullptr);
    if (!window_) return Fail(why, kNoPixelFormat);
    dc_ = GetDC(window_);
    context_ = CreateGlContext(dc_, why);
    if (!context_) return Fail(why, nullptr);
    if (!MakeFramebuffer()) {
      Log("offscreen: no framebuffer object, drawing into the hidden window's back buffer");
      DeleteFramebuffer();
      glDrawBuffer(GL_BACK);
      glReadBuffer(GL_BACK);
    }
    glViewport(0, 0, width_, height_);
    return true;
  }

  void DrawableSize(int* width, int* height) const override {
    *width = width_;
    *height = height_;
  }

  void PumpEvents(WindowEvents& sink) override {
    // The hidden window gets messages too (from the system); they need no answer but must not
    // pile up in the queue. It has no keyboard of its own: the injected keys are its input.
    MSG message;
    while (window_ && PeekMessageA(&message, window_, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    DeliverInjected(sink);
  }

  void SwapBuffers() override {
    // Offscreen there is nothing to present; finishing keeps ReadPixels and timings honest.
    if (context_) glFinish();
  }

  uint32_t Ticks() override { return ticks_; }
  void SetTicks(uint32_t ms) override { ticks_ = ms; }
  void AdvanceTicks(uint32_t ms) override { ticks_ += ms; }

  bool ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height) override {
    if (!context_) return false;
    if (!ReadGlPixels(width_, height_, rgba)) return false;
    *width = width_;
    *height = height_;
    return true;
  }

  void Close() override {
    if (context_ && dc_) wglMakeCurrent(dc_, context_);
    DeleteFramebuffer();
    DeleteGlContext(context_);
    context_ = nullptr;
    if (window_) {
      if (dc_) ReleaseDC(window_, dc_);
      DestroyWindow(window_);
    }
    window_ = nullptr;
    dc_ = nullptr;
  }

  // Whether drawing goes into a framebuffer object (for the tests).
  bool UsesFramebuffer() const { return fbo_ != 0; }

 private:
  bool Fail(std::string* why, const char* text) {
    if (why && text) *why = text;
    Close();
    return false;
  }

  bool MakeFramebuffer() {
    gen_ = GlProc<PFNGLGENFRAMEBUFFERSPROC>("glGenFramebuffers");
    bind_ = GlProc<PFNGLBINDFRAMEBUFFERPROC>("glBindFramebuffer");
    genRb_ = GlProc<PFNGLGENRENDERBUFFERSPROC>("glGenRenderbuffers");
    bindRb_ = GlProc<PFNGLBINDRENDERBUFFERPROC>("glBindRenderbuffer");
    auto storage = GlProc<PFNGLRENDERBUFFERSTORAGEPROC>("glRenderbufferStorage");
    auto attach = GlProc<PFNGLFRAMEBUFFERRENDERBUFFERPROC>("glFramebufferRenderbuffer");
    auto check = GlProc<PFNGLCHECKFRAMEBUFFERSTATUSPROC>("glCheckFramebufferStatus");
    deleteFb_ = GlProc<PFNGLDELETEFRAMEBUFFERSPROC>("glDeleteFramebuffers");
    deleteRb_ = GlProc<PFNGLDELETERENDERBUFFERSPROC>("glDeleteRenderbuffers");
    if (!gen_ || !bind_ || !genRb_ || !bindRb_ || !storage || !attach || !check || !deleteFb_ || !deleteRb_) {
      return false;
    }
    gen_(1, &fbo_);
    bind_(GL_FRAMEBUFFER, fbo_);
    genRb_(2, renderbuffers_);
    bindRb_(GL_RENDERBUFFER, renderbuffers_[0]);
    // No alpha bits, like the window's pixel format: alpha reads back as 1 and blending that
    // uses the destination's alpha sees what it sees on screen.
    storage(GL_RENDERBUFFER, GL_RGB8, width_, height_);
    attach(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffers_[0]);
    bindRb_(GL_RENDERBUFFER, renderbuffers_[1]);
    storage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width_, height_);
    attach(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, renderbuffers_[1]);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    return check(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  }

  void DeleteFramebuffer() {
    if (!context_) {
      fbo_ = 0;
      renderbuffers_[0] = renderbuffers_[1] = 0;
      return;
    }
    if (fbo_ && bind_) bind_(GL_FRAMEBUFFER, 0);
    if (fbo_ && deleteFb_) deleteFb_(1, &fbo_);
    if (renderbuffers_[0] && deleteRb_) deleteRb_(2, renderbuffers_);
    fbo_ = 0;
    renderbuffers_[0] = renderbuffers_[1] = 0;
  }

  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HGLRC context_ = nullptr;
  GLuint fbo_ = 0;
  GLuint renderbuffers_[2] = {0, 0};
  PFNGLGENFRAMEBUFFERSPROC gen_ = nullptr;
  PFNGLBINDFRAMEBUFFERPROC bind_ = nullptr;
  PFNGLGENRENDERBUFFERSPROC genRb_ = nullptr;
  PFNGLBINDRENDERBUFFERPROC bindRb_ = nullptr;
  PFNGLDELETEFRAMEBUFFERSPROC deleteFb_ = nullptr;
  PFNGLDELETERENDERBUFFERSPROC deleteRb_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  uint32_t ticks_ = 0;
};

}  // namespace

std::unique_ptr<HeadlessDisplay> CreateHeadlessDisplay() { return std::make_unique<Win32OffscreenDisplay>(); }
