#include "platform/imgui_glue.h"

#include <GL/gl.h>
#include <SDL.h>
#include <imgui.h>

#include <cfloat>
#include <cstddef>

ImGuiGlue::ImGuiGlue(SDL_Window* window) : window_(window) {
  ImGuiIO& io = ImGui::GetIO();
  io.BackendPlatformName = "quillon-sdl2";
  io.BackendRendererName = "quillon-gl11";
}

ImGuiGlue::~ImGuiGlue() {
  if (fontTexture_) {
    const GLuint texture = fontTexture_;
    glDeleteTextures(1, &texture);
    ImGui::GetIO().Fonts->SetTexID(nullptr);
  }
}

unsigned UploadRgbaTexture(const uint8_t* rgba, int width, int height) {
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  return texture;
}

void ImGuiGlue::CreateFontTexture() {
  ImGuiIO& io = ImGui::GetIO();
  unsigned char* pixels = nullptr;
  int width = 0, height = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
  fontTexture_ = UploadRgbaTexture(pixels, width, height);
  io.Fonts->SetTexID(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(fontTexture_)));
}

void ImGuiGlue::ProcessEvent(const SDL_Event& event) {
  ImGuiIO& io = ImGui::GetIO();
  switch (event.type) {
    case SDL_MOUSEBUTTONDOWN:
      if (event.button.button == SDL_BUTTON_LEFT) pressed_[0] = true;
      if (event.button.button == SDL_BUTTON_RIGHT) pressed_[1] = true;
      if (event.button.button == SDL_BUTTON_MIDDLE) pressed_[2] = true;
      break;
    case SDL_MOUSEWHEEL:
      io.MouseWheelH += static_cast<float>(event.wheel.x > 0 ? 1 : event.wheel.x < 0 ? -1 : 0);
      io.MouseWheel += static_cast<float>(event.wheel.y > 0 ? 1 : event.wheel.y < 0 ? -1 : 0);
      break;
    case SDL_TEXTINPUT:
      io.AddInputCharactersUTF8(event.text.text);
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) io.AddFocusEvent(true);
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) io.AddFocusEvent(false);
      break;
    default:
      break;
  }
}

void ImGuiGlue::NewFrame() {
  ImGuiIO& io = ImGui::GetIO();
  int w = 0, h = 0, drawableW = 0, drawableH = 0;
  SDL_GetWindowSize(window_, &w, &h);
  if (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) w = h = 0;
  SDL_GL_GetDrawableSize(window_, &drawableW, &drawableH);
  io.DisplaySize = ImVec2(static_cast<float>(w), static_cast<float>(h));
  if (w > 0 && h > 0) {
    io.DisplayFramebufferScale = ImVec2(static_cast<float>(drawableW) / static_cast<float>(w),
                                        static_cast<float>(drawableH) / static_cast<float>(h));
  }

  // The time step must be positive: a frame that comes within the counter's resolution counts as 1/60 s.
  const uint64_t now = SDL_GetPerformanceCounter();
  const double step = lastCounter_ ? static_cast<double>(now - lastCounter_) /
                                         static_cast<double>(SDL_GetPerformanceFrequency())
                                   : 0.0;
  io.DeltaTime = step > 0.0 ? static_cast<float>(step) : 1.0f / 60.0f;
  lastCounter_ = now;

  int x = 0, y = 0;
  const Uint32 buttons = SDL_GetMouseState(&x, &y);
  io.MouseDown[0] = pressed_[0] || (buttons & SDL_BUTTON(SDL_BUTTON_LEFT)) != 0;
  io.MouseDown[1] = pressed_[1] || (buttons & SDL_BUTTON(SDL_BUTTON_RIGHT)) != 0;
  io.MouseDown[2] = pressed_[2] || (buttons & SDL_BUTTON(SDL_BUTTON_MIDDLE)) != 0;
  pressed_[0] = pressed_[1] = pressed_[2] = false;
  // Only a pointer over this window is ImGui's business.
  if (SDL_GetMouseFocus() == window_) {
    io.MousePos = ImVec2(static_cast<float>(x), static_cast<float>(y));
  } else {
    io.MousePos = ImVec2(-FLT_MAX, -FLT_MAX);
  }
  const SDL_Keymod mods = SDL_GetModState();
  io.KeyCtrl = (mods & KMOD_CTRL) != 0;
  io.KeyShift = (mods & KMOD_SHIFT) != 0;
  io.KeyAlt = (mods & KMOD_ALT) != 0;
  io.KeySuper = (mods & KMOD_GUI) != 0;
}

void ImGuiGlue::Render(const ImDrawData* data) {
  const float scaleX = data->FramebufferScale.x, scaleY = data->FramebufferScale.y;
  const int fbWidth = static_cast<int>(data->DisplaySize.x * scaleX);
  const int fbHeight = static_cast<int>(data->DisplaySize.y * scaleY);
  if (fbWidth <= 0 || fbHeight <= 0) return;

  // Everything changed here is put back afterwards.
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TRANSFORM_BIT | GL_TEXTURE_BIT | GL_SCISSOR_BIT |
               GL_VIEWPORT_BIT | GL_POLYGON_BIT | GL_LIGHTING_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_COLOR_MATERIAL);
  glEnable(GL_SCISSOR_TEST);
  glEnable(GL_TEXTURE_2D);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glShadeModel(GL_SMOOTH);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glViewport(0, 0, fbWidth, fbHeight);
  GLint previousTexture = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);

  // ImGui's coordinates are pixels from the top-left corner of the display.
  const ImVec2 origin = data->DisplayPos;
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(origin.x, origin.x + data->DisplaySize.x, origin.y + data->DisplaySize.y, origin.y, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();

  const GLenum indexType = sizeof(ImDrawIdx) == 2 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
  for (int n = 0; n < data->CmdListsCount; ++n) {
    const ImDrawList* list = data->CmdLists[n];
    const ImDrawVert* vertices = list->VtxBuffer.Data;
    const ImDrawIdx* indices = list->IdxBuffer.Data;
    glVertexPointer(2, GL_FLOAT, sizeof(ImDrawVert),
                    reinterpret_cast<const char*>(vertices) + offsetof(ImDrawVert, pos));
    glTexCoordPointer(2, GL_FLOAT, sizeof(ImDrawVert),
                      reinterpret_cast<const char*>(vertices) + offsetof(ImDrawVert, uv));
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(ImDrawVert),
                   reinterpret_cast<const char*>(vertices) + offsetof(ImDrawVert, col));
    for (int c = 0; c < list->CmdBuffer.Size; ++c) {
      const ImDrawCmd& cmd = list->CmdBuffer[c];
      // The launcher adds no callbacks of its own; ImGui's state-reset marker needs nothing here.
      if (cmd.UserCallback) continue;
      const float x0 = (cmd.ClipRect.x - origin.x) * scaleX, y0 = (cmd.ClipRect.y - origin.y) * scaleY;
      const float x1 = (cmd.ClipRect.z - origin.x) * scaleX, y1 = (cmd.ClipRect.w - origin.y) * scaleY;
      if (x1 <= x0 || y1 <= y0) continue;
      // GL counts scissor rows from the bottom.
      glScissor(static_cast<GLint>(x0), static_cast<GLint>(static_cast<float>(fbHeight) - y1),
                static_cast<GLsizei>(x1 - x0), static_cast<GLsizei>(y1 - y0));
      glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(reinterpret_cast<intptr_t>(cmd.GetTexID())));
      glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(cmd.ElemCount), indexType, indices + cmd.IdxOffset);
    }
  }

  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}
