// Offscreen drawing on Windows: a hidden window's WGL context drawing into a framebuffer
// object when the driver offers one, else into the hidden window's back buffer. Time is a
// virtual millisecond counter the caller advances.
#include <GL/gl.h>
#include <GL/glext.h>

#include "platform/gl_framebuffer.h"
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

  void* GlFunction(const char* name) const override { return context_ ? WglFunction(name) : nullptr; }

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
  bool UsesFramebuffer() const { return framebuffer_.Active(); }

 private:
  bool Fail(std::string* why, const char* text) {
    if (why && text) *why = text;
    Close();
    return false;
  }

  bool MakeFramebuffer() {
    return framebuffer_.Create(width_, height_, [](const char* name) {
      return WglFunction(name);
    });
  }

  void DeleteFramebuffer() {
    if (context_) {
      framebuffer_.Destroy();
    } else {
      framebuffer_.Forget();
    }
  }

  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HGLRC context_ = nullptr;
  OffscreenFramebuffer framebuffer_;
  int width_ = 0;
  int height_ = 0;
  uint32_t ticks_ = 0;
};

}  // namespace

std::unique_ptr<HeadlessDisplay> CreateHeadlessDisplay() { return std::make_unique<Win32OffscreenDisplay>(); }
