#include "show/part_renderer.h"

#include <GL/gl.h>

#include "scene/render_globals.h"
#include "scene/scene.h"
#include "show/pictures.h"
#include "show/viewport.h"

namespace {

const char* const kNoPicture = "standard";

void PictureMatricesBegin() {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  SetOverlayProjection();
  glMatrixMode(GL_MODELVIEW);
}

// The overlay projection stays current; what follows draws with it.
void PictureMatricesEnd() {
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

uint32_t TextureNamed(const ShowTables& tables, const char* name) {
  auto found = tables.textureTable.find(name);
  return found != tables.textureTable.end() ? found->second : 0;
}

}  // namespace

void PartRenderer::DrawPicture(const std::string& name, bool foreground) {
  auto image = tables_.imageTable.find(name);
  if (image != tables_.imageTable.end()) {
    if (image->second < 0 || image->second >= static_cast<int32_t>(tables_.images.size())) return;
    const ImageSlot slot = tables_.images[static_cast<size_t>(image->second)];
    if (slot.texture == 0) return;  // failed to load: an empty slot
    PictureMatricesBegin();
    if (foreground) {
      DrawFullscreenImageBlended(slot, 1.0f);
    } else {
      DrawFullscreenImage(slot, 1.0f);
    }
    PictureMatricesEnd();
    return;
  }
  auto texture = tables_.textureTable.find(name);
  if (texture == tables_.textureTable.end() || texture->second == 0) return;
  PictureMatricesBegin();
  if (foreground) {
    DrawForegroundTexture(texture->second);
  } else {
    DrawTextureOverlay(texture->second, 1.0f);
  }
  PictureMatricesEnd();
}

void PartRenderer::DrawChain(const PartEntry& part, int32_t partIndex, float partFrames, float showTime,
                             float opacityStep, bool draw) {
  const PartEntry* entry = &part;
  // The parser only chains forwards; the bound guards against a hand-made cycle all the same.
  const size_t maxEntries = tables_.addedEntries.size() + 1;
  for (int32_t position = 0; entry && static_cast<size_t>(position) < maxEntries; ++position) {
    if (draw) {
      glMatrixMode(GL_MODELVIEW);
      glPushMatrix();
      glClear(GL_DEPTH_BUFFER_BIT);
    }
    if (entry->isEffect) {
      if (draw) RunEffect(&effects_, tables_.textureTable, *entry, partFrames);
    } else if (!(partIndex == 83 && position == 1 && showTime > 239.0f)) {
      auto found = tables_.sceneTable.find(entry->name);
      // A scene the table lacks (or that was never loaded) is skipped.
      if (found != tables_.sceneTable.end() && found->second) {
        Scene& scene = *found->second;
        if (SceneNode* node = scene.FindNode(entry->camera)) scene.SetCamera(node);
        if (partIndex >= 90 && position == 2) {
          for (auto& style : scene.styles) {
            if (!style) continue;
            style->opacity -= opacityStep;  // never reset: the style keeps fading
            break;
          }
        }
        const float frame = static_cast<float>(entry->startFrame) + partFrames;
        if (draw) {
          scene.Render(frame, nullptr);
        } else {
          scene.EvaluateTree(frame);  // visibility toggles only ever move forward
        }
      }
    }
    const PartEntry* next = nullptr;
    if (entry->next >= 0 && static_cast<size_t>(entry->next) < tables_.addedEntries.size())
      next = &tables_.addedEntries[static_cast<size_t>(entry->next)];
    if (draw) {
      // An effect may have left the projection matrix selected.
      glMatrixMode(GL_MODELVIEW);
      glPopMatrix();
    }
    entry = next;
  }
}

void PartRenderer::RenderPart(int32_t partIndex, float partFrames, float showTime, float opacityStep) {
  const ViewportSize view = CurrentViewport();
  ResizeViewport(view.width, view.height);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  if (partIndex < 0 || static_cast<size_t>(partIndex) >= tables_.timeline.size()) return;
  const PartEntry part = tables_.timeline[static_cast<size_t>(partIndex)];

  RenderGlobals& globals = CurrentRenderGlobals();
  globals.ViewportWidth = view.width;
  globals.ViewportHeight = view.height;
  globals.NearPlane = 1.0f;
  globals.FarPlane = 10000.0f;
  if (partIndex == 48) {
    globals.NearPlane = 20.0f;
    globals.FarPlane = 4500.0f;
  }
  if (partIndex == 56) globals.NearPlane = 10.0f;
  if (partIndex >= 59 && partIndex <= 69) globals.NearPlane = 0.05f;
  globals.TransparentCulling = partIndex == 1 ? 1 : 0;
  if (partIndex == 69) partFrames -= 5.0f;

  if (part.background != kNoPicture) DrawPicture(part.background, false);

  // Parts 57 and 58 open with a flash that fades out over ten frames.
  if ((partIndex == 57 || partIndex == 58) && partFrames < 15.0f) {
    uint32_t flash = TextureNamed(tables_, partIndex == 57 ? "2.jpg" : "4.jpg");
    if (flash != 0) DrawTextureOverlay(flash, 1.0f - partFrames * 0.1f);
  }

  DrawChain(part, partIndex, partFrames, showTime, opacityStep, true);

  if (part.foreground != kNoPicture) DrawPicture(part.foreground, true);

  if ((partIndex == 57 || partIndex == 58) && partFrames > 30.0f) {
    SetOverlayProjection();
    FadeToBlack(1.0f - (partFrames - 30.0f) * 0.05f);
  }
  if (partIndex == 92) {
    SetOverlayProjection();
    FadeToBlack(1.0f - partFrames * 0.0078125f);
  } else if (partIndex >= 16 && partIndex <= 40) {
    glClear(GL_DEPTH_BUFFER_BIT);
    auto logo = tables_.sceneTable.find(kLogoScene);
    if (logo != tables_.sceneTable.end() && logo->second) logo->second->Render(showTime * 30.0f - 620.0f, nullptr);
  }
}

void PartRenderer::ReplayPart(int32_t partIndex, float partFrames, float showTime, float opacityStep) {
  if (partIndex < 0 || static_cast<size_t>(partIndex) >= tables_.timeline.size()) return;
  const PartEntry part = tables_.timeline[static_cast<size_t>(partIndex)];
  if (partIndex == 69) partFrames -= 5.0f;
  DrawChain(part, partIndex, partFrames, showTime, opacityStep, false);
  if (partIndex >= 16 && partIndex <= 40) {
    auto logo = tables_.sceneTable.find(kLogoScene);
    if (logo != tables_.sceneTable.end() && logo->second) logo->second->EvaluateTree(showTime * 30.0f - 620.0f);
  }
}
