// WGL context set-up, the program's icon and pixel read-back, shared by the Win32 window,
// offscreen display and launcher.
#include <GL/gl.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "platform/win32_common.h"
#include "platform/win32_resource.h"

PIXELFORMATDESCRIPTOR PlayerPixelFormat() {
  PIXELFORMATDESCRIPTOR pfd;
  std::memset(&pfd, 0, sizeof pfd);
  pfd.nSize = sizeof pfd;  // 40
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 24;
  pfd.cDepthBits = 24;
  pfd.iLayerType = PFD_MAIN_PLANE;
  return pfd;
}

HGLRC CreateGlContext(HDC dc, std::string* why) {
  auto fail = [why](const char* text) -> HGLRC {
    Log("%s (error %lu)", text, GetLastError());
    if (why) *why = text;
    return nullptr;
  };
  if (!dc) return fail(kNoPixelFormat);
  const PIXELFORMATDESCRIPTOR pfd = PlayerPixelFormat();
  const int format = ChoosePixelFormat(dc, &pfd);
  if (format == 0) return fail(kNoPixelFormat);
  if (!SetPixelFormat(dc, format, &pfd)) return fail(kCantSetPixelFormat);
  HGLRC context = wglCreateContext(dc);
  if (!context) return fail(kNoContext);
  if (!wglMakeCurrent(dc, context)) {
    wglDeleteContext(context);
    return fail(kCantActivate);
  }
  return context;
}

void* WglFunction(const char* name) {
  const auto address = reinterpret_cast<intptr_t>(wglGetProcAddress(name));
  if (address >= -1 && address <= 3) return nullptr;
  return reinterpret_cast<void*>(address);
}

void DeleteGlContext(HGLRC context) {
  if (!context) return;
  if (wglGetCurrentContext() == context) wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(context);
}

HINSTANCE ProgramInstance() { return GetModuleHandleA(nullptr); }

HICON ProgramIcon(int size) {
  HANDLE icon = LoadImageA(ProgramInstance(), MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON, size, size, LR_SHARED);
  if (!icon) icon = LoadImageA(nullptr, MAKEINTRESOURCEA(32512) /* IDI_APPLICATION */, IMAGE_ICON, size, size, LR_SHARED);
  return static_cast<HICON>(icon);
}

bool ReadGlPixels(int width, int height, std::vector<unsigned char>* rgba) {
  if (!rgba || width <= 0 || height <= 0 || !wglGetCurrentContext()) return false;
  const size_t row = static_cast<size_t>(width) * 4;
  std::vector<unsigned char> bottomUp(row * static_cast<size_t>(height));
  GLint oldAlignment = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &oldAlignment);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  glPixelStorei(GL_PACK_ALIGNMENT, oldAlignment);
  rgba->resize(bottomUp.size());
  // GL gives the bottom row first; callers get the top row first.
  for (int y = 0; y < height; ++y) {
    std::memcpy(rgba->data() + static_cast<size_t>(y) * row,
                bottomUp.data() + static_cast<size_t>(height - 1 - y) * row, row);
  }
  return glGetError() == GL_NO_ERROR;
}
