// Dear ImGui on an SDL2 window with an OpenGL 1.1 context, as far as the launcher needs it: the
// window's size, time, mouse and focus go in; ImGui's draw lists come out as vertex-array draws.
// Internal to platform/. ImGui itself is Debian's libimgui.
// Usage (with an ImGui context whose fonts are added, and the window's GL context current):
//   ImGuiGlue glue(window);
//   glue.CreateFontTexture();
//   every event:  glue.ProcessEvent(event);
//   every frame:  glue.NewFrame(); ImGui::NewFrame(); ...; ImGui::Render(); glue.Render(ImGui::GetDrawData());
#pragma once

#include <cstdint>

union SDL_Event;
struct SDL_Window;
struct ImDrawData;

// An RGBA picture (rows top first, as ImGui and the launcher hand them over) as a linearly
// filtered GL texture; the texture binding is left as it was. Returns the texture name.
unsigned UploadRgbaTexture(const uint8_t* rgba, int width, int height);

class ImGuiGlue {
 public:
  explicit ImGuiGlue(SDL_Window* window);
  ~ImGuiGlue();
  ImGuiGlue(const ImGuiGlue&) = delete;
  ImGuiGlue& operator=(const ImGuiGlue&) = delete;

  // Builds the font atlas and uploads it as the texture ImGui draws text with.
  void CreateFontTexture();
  // Mouse buttons, wheel, text and focus from one SDL event.
  void ProcessEvent(const SDL_Event& event);
  // Display size, framebuffer scale, time step and mouse position for the frame about to start.
  void NewFrame();
  // Draws the frame's draw lists into the current framebuffer.
  void Render(const ImDrawData* data);

 private:
  SDL_Window* window_;
  uint64_t lastCounter_ = 0;
  // A press seen since the last frame, so that a click shorter than a frame still counts.
  bool pressed_[3] = {false, false, false};
  unsigned fontTexture_ = 0;
};
