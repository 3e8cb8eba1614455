// The launcher window: Dear ImGui over SDL2 and OpenGL 1.1, laid out like a small dialog.
#include <GL/gl.h>
#include <SDL.h>
#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/imgui_glue.h"
#include "platform/launcher.h"
#include "platform/log.h"
#include "platform/sdl_common.h"

namespace {

constexpr char kTitle[] = "Quillon - Veltrum";
// A plain sans-serif face reads more like a dialog than ImGui's built-in pixel font; the
// built-in one is the fallback when it is not installed.
constexpr char kDialogFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr float kDialogFontPixels = 13.0f;

// Where everything goes, in pixels. Worked out from the font so the labels always fit; with
// the usual fonts the window comes out near 234 x 132 dialog units at 8 points.
struct Layout {
  float groupX = 10, groupY = 9, groupW = 0, groupH = 0;
  float rowX = 0, radioY[LauncherModel::kRowCount] = {}, noSoundY = 0, loopY = 0;
  float runX = 0, runY = 0, runW = 0, runH = 0;
  float artX = 0, artY = 18;
  int windowW = 0, windowH = 0;
};

Layout ComputeLayout(ImFont* font, float frameHeight, float innerSpacing) {
  Layout l;
  auto textWidth = [&](const char* text) {
    return font->CalcTextSizeA(font->FontSize, 10000.0f, 0.0f, text).x;
  };
  float labels = std::max(textWidth("No Sound"), textWidth("Loop Demo"));
  for (int row = 0; row < LauncherModel::kRowCount; ++row) {
    labels = std::max(labels, textWidth(LauncherModel::LabelOfRow(row)));
  }
  const float step = frameHeight + 3;
  l.rowX = l.groupX + 9;
  l.groupW = 9 + frameHeight + innerSpacing + labels + 9;
  float y = l.groupY + font->FontSize + 8;
  for (int row = 0; row < LauncherModel::kRowCount; ++row, y += step) l.radioY[row] = y;
  l.noSoundY = y + 4;
  l.loopY = l.noSoundY + step;
  l.runH = frameHeight + 8;
  l.runW = std::max(76.0f, textWidth("Run Demo") + 24);
  l.runX = l.groupX + (l.groupW - l.runW) * 0.5f;
  l.runY = l.loopY + step + 14;
  l.artX = l.groupX + l.groupW + 13;
  const float artBottom = l.artY + kLauncherArtHeight;
  l.groupH = std::max(l.runY + l.runH + 12, artBottom + 3) - l.groupY;
  l.windowW = static_cast<int>(l.artX + kLauncherArtWidth + 15);
  l.windowH = static_cast<int>(std::max(l.groupY + l.groupH, artBottom) + 11);
  return l;
}
constexpr int kMaxArtSide = 4096;

bool ArtUsable(const LauncherArt* art) {
  return art && art->rgba && art->width > 0 && art->height > 0 && art->width <= kMaxArtSide &&
         art->height <= kMaxArtSide;
}

void ApplyDialogStyle() {
  ImGui::StyleColorsLight();
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowRounding = 0;
  style.WindowBorderSize = 0;
  style.FrameRounding = 2;
  style.FrameBorderSize = 1;
  style.WindowPadding = ImVec2(0, 0);
  style.FramePadding = ImVec2(4, 2);
  style.Colors[ImGuiCol_WindowBg] = ImVec4(0.85f, 0.85f, 0.86f, 1.0f);
  style.Colors[ImGuiCol_Border] = ImVec4(0.45f, 0.45f, 0.48f, 1.0f);
  style.Colors[ImGuiCol_Button] = ImVec4(0.92f, 0.92f, 0.93f, 1.0f);
  style.Colors[ImGuiCol_ButtonHovered] = ImVec4(0.80f, 0.87f, 0.97f, 1.0f);
  style.Colors[ImGuiCol_ButtonActive] = ImVec4(0.65f, 0.77f, 0.95f, 1.0f);
  style.Colors[ImGuiCol_FrameBg] = ImVec4(1.0f, 1.0f, 1.0f, 1.0f);
}

// An etched frame with its caption set into the top edge.
void DrawGroupBox(const char* caption, ImVec2 origin, float x, float y, float w, float h) {
  ImDrawList* draw = ImGui::GetWindowDrawList();
  const float mid = ImGui::GetTextLineHeight() * 0.5f;
  const ImVec2 a(origin.x + x, origin.y + y + mid), b(origin.x + x + w, origin.y + y + h);
  draw->AddRect(ImVec2(a.x + 1, a.y + 1), ImVec2(b.x + 1, b.y + 1), IM_COL32(255, 255, 255, 255));
  draw->AddRect(a, b, IM_COL32(140, 140, 148, 255));
  const ImVec2 textSize = ImGui::CalcTextSize(caption);
  const ImVec2 textPos(origin.x + x + 7, origin.y + y);
  draw->AddRectFilled(ImVec2(textPos.x - 2, textPos.y), ImVec2(textPos.x + textSize.x + 2, textPos.y + textSize.y),
                      ImGui::GetColorU32(ImGuiCol_WindowBg));
  draw->AddText(textPos, ImGui::GetColorU32(ImGuiCol_Text), caption);
}

// A picture set into the dialog: dark edges above and left, light edges below and right.
void DrawSunkenPicture(ImTextureID texture, ImVec2 origin, float x, float y, float w, float h) {
  ImDrawList* draw = ImGui::GetWindowDrawList();
  const ImVec2 a(origin.x + x, origin.y + y), b(a.x + w, a.y + h);
  draw->AddImage(texture, a, b);
  draw->AddLine(ImVec2(a.x - 1, a.y - 1), ImVec2(b.x, a.y - 1), IM_COL32(110, 110, 118, 255));
  draw->AddLine(ImVec2(a.x - 1, a.y - 1), ImVec2(a.x - 1, b.y), IM_COL32(110, 110, 118, 255));
  draw->AddLine(ImVec2(a.x - 1, b.y), ImVec2(b.x + 1, b.y), IM_COL32(255, 255, 255, 255));
  draw->AddLine(ImVec2(b.x, a.y - 1), ImVec2(b.x, b.y + 1), IM_COL32(255, 255, 255, 255));
}

struct LauncherWindow {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  bool imgui = false;
  std::unique_ptr<ImGuiGlue> glue;
  GLuint artTexture = 0;

  ~LauncherWindow() {
    if (artTexture) glDeleteTextures(1, &artTexture);
    glue.reset();
    if (imgui) ImGui::DestroyContext();
    if (context) SDL_GL_DeleteContext(context);
    if (window) SDL_DestroyWindow(window);
  }
};

void HandleEvent(const SDL_Event& event, Uint32 windowId, ImGuiGlue& glue, LauncherModel* model, bool noSound,
                 bool loop) {
  glue.ProcessEvent(event);
  switch (event.type) {
    case SDL_QUIT:
      model->Cancel();
      break;
    case SDL_WINDOWEVENT:
      if (event.window.windowID == windowId && event.window.event == SDL_WINDOWEVENT_CLOSE) {
        model->Cancel();
      }
      break;
    case SDL_KEYDOWN:
      switch (event.key.keysym.sym) {
        case SDLK_ESCAPE:
          model->Cancel();
          break;
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
          model->RunDemo(noSound, loop);
          break;
        case SDLK_UP:
          model->MoveSelection(-1);
          break;
        case SDLK_DOWN:
          model->MoveSelection(+1);
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
}

void DrawDialog(const Layout& l, LauncherModel* model, bool* noSound, bool* loop, ImTextureID art) {
  ImGui::SetNextWindowPos(ImVec2(0, 0));
  ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
  ImGui::Begin("launcher", nullptr,
               ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus);
  const ImVec2 origin = ImGui::GetWindowPos();
  DrawGroupBox("Properties", origin, l.groupX, l.groupY, l.groupW, l.groupH);

  for (int row = 0; row < LauncherModel::kRowCount; ++row) {
    ImGui::SetCursorPos(ImVec2(l.rowX, l.radioY[row]));
    if (ImGui::RadioButton(LauncherModel::LabelOfRow(row), model->selectedRow() == row)) {
      model->SelectRow(row);
    }
  }
  ImGui::SetCursorPos(ImVec2(l.rowX, l.noSoundY));
  ImGui::Checkbox("No Sound", noSound);
  ImGui::SetCursorPos(ImVec2(l.rowX, l.loopY));
  ImGui::Checkbox("Loop Demo", loop);

  // The default button wears a heavier frame: Enter presses it.
  ImGui::SetCursorPos(ImVec2(l.runX, l.runY));
  ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, 2.0f);
  ImGui::PushStyleColor(ImGuiCol_Border, ImVec4(0.10f, 0.10f, 0.12f, 1.0f));
  if (ImGui::Button("Run Demo", ImVec2(l.runW, l.runH))) model->RunDemo(*noSound, *loop);
  ImGui::PopStyleColor();
  ImGui::PopStyleVar();

  DrawSunkenPicture(art, origin, l.artX, l.artY, kLauncherArtWidth, kLauncherArtHeight);
  ImGui::End();
}

}  // namespace

bool RunLauncher(LauncherChoice* choice, const LauncherArt* art, std::string* why,
                 uint32_t closeAfterMs) {
  if (why) why->clear();
  std::string reason;
  if (!SdlVideoAcquire(&reason)) {
    Log("launcher: can't start the video system: %s", reason.c_str());
    if (why) *why = "Can't open the launcher window: " + reason;
    return false;
  }
  LauncherModel model;
  bool noSound = false, loop = false;
  {
    LauncherWindow ui;
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ui.imgui = true;
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // the launcher remembers nothing between runs
    io.LogFilename = nullptr;
    ApplyDialogStyle();
    ImFont* font = nullptr;
    if (std::FILE* f = std::fopen(kDialogFont, "rb")) {
      std::fclose(f);
      font = io.Fonts->AddFontFromFileTTF(kDialogFont, kDialogFontPixels);
    }
    if (!font) font = io.Fonts->AddFontDefault();
    io.Fonts->Build();
    const ImGuiStyle& style = ImGui::GetStyle();
    const Layout layout =
        ComputeLayout(font, font->FontSize + style.FramePadding.y * 2, style.ItemInnerSpacing.x);

    SdlRequestGlFormat();
    ui.window = SDL_CreateWindow(kTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                 layout.windowW, layout.windowH, SDL_WINDOW_OPENGL);
    if (ui.window) {
      SdlSetProgramIcon(ui.window);
      ui.context = SDL_GL_CreateContext(ui.window);
    }
    if (!ui.window || !ui.context || SDL_GL_MakeCurrent(ui.window, ui.context) != 0) {
      reason = SDL_GetError();
      Log("launcher: can't open the window: %s", reason.c_str());
      if (why) *why = "Can't open the launcher window: " + reason;
    } else {
      SDL_GL_SetSwapInterval(1);
      ui.glue = std::make_unique<ImGuiGlue>(ui.window);
      ui.glue->CreateFontTexture();

      std::vector<uint8_t> placeholder;
      if (ArtUsable(art)) {
        ui.artTexture = UploadRgbaTexture(art->rgba, art->width, art->height);
      } else {
        placeholder = MakePlaceholderArt(kLauncherArtWidth, kLauncherArtHeight);
        ui.artTexture = UploadRgbaTexture(placeholder.data(), kLauncherArtWidth, kLauncherArtHeight);
      }
      const ImTextureID artId = reinterpret_cast<ImTextureID>(static_cast<intptr_t>(ui.artTexture));
      const Uint32 windowId = SDL_GetWindowID(ui.window);
      const Uint32 start = SDL_GetTicks();
      SDL_RaiseWindow(ui.window);

      while (model.outcome() == LauncherModel::Outcome::kOpen) {
        SDL_Event event;
        // Sleep until something happens, but keep drawing for hover and click feedback.
        if (SDL_WaitEventTimeout(&event, 30)) {
          HandleEvent(event, windowId, *ui.glue, &model, noSound, loop);
          while (SDL_PollEvent(&event)) HandleEvent(event, windowId, *ui.glue, &model, noSound, loop);
        }
        if (closeAfterMs > 0 && SDL_GetTicks() - start >= closeAfterMs) model.Cancel();

        ui.glue->NewFrame();
        ImGui::NewFrame();
        DrawDialog(layout, &model, &noSound, &loop, artId);
        ImGui::Render();
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(ui.window, &w, &h);
        glViewport(0, 0, w, h);
        glClearColor(0.85f, 0.85f, 0.86f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        ui.glue->Render(ImGui::GetDrawData());
        SDL_GL_SwapWindow(ui.window);
      }
    }
  }
  SdlVideoRelease();
  if (model.outcome() != LauncherModel::Outcome::kRun) return false;
  if (choice) *choice = model.choice();
  return true;
}
