#include "show/part_renderer.h"

#include <GL/gl.h>

#include "scene/render_globals.h"
#include "scene/scene.h"
#include "show/part_rules.h"
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

// The texture entered under a name; 0 (texturing without a picture) when there is none.
uint32_t TextureNamed(const ShowTables& tables, const char* name) {
  auto found = tables.textureTable.find(name);
  return found != tables.textureTable.end() ? found->second : 0;
}

// A picture by name: a fullscreen image (its slot), else a texture. Neither for a name in
// neither table or an image entry outside the image list; texture 0 for one that failed to load.
struct NamedPicture {
  const ImageSlot* image = nullptr;
  uint32_t texture = 0;
};

NamedPicture PictureNamed(const ShowTables& tables, const std::string& name) {
  NamedPicture picture;
  auto image = tables.imageTable.find(name);
  if (image == tables.imageTable.end()) {
    picture.texture = TextureNamed(tables, name.c_str());
  } else if (image->second >= 0 && image->second < static_cast<int32_t>(tables.images.size())) {
    picture.image = &tables.images[static_cast<size_t>(image->second)];
  }
  return picture;
}

Scene* SceneNamed(const ShowTables& tables, const std::string& name) {
  auto found = tables.sceneTable.find(name);
  return found != tables.sceneTable.end() ? found->second.get() : nullptr;
}

// Clears the depth buffer whatever the depth mask is. The ring effects leave depth writes off,
// which turns a plain clear into nothing; the next frame's first entry (or the logo pass) would
// then see whatever depth was last drawn.
void ClearDepth() {
  GLboolean writes = GL_TRUE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &writes);
  if (!writes) glDepthMask(GL_TRUE);
  glClear(GL_DEPTH_BUFFER_BIT);
  if (!writes) glDepthMask(GL_FALSE);
}

}  // namespace

void PartRenderer::DrawPicture(const std::string& name, bool foreground) {
  const NamedPicture picture = PictureNamed(tables_, name);
  if (picture.image) {
    const ImageSlot slot = *picture.image;
    if (slot.texture == 0) return;  // failed to load: an empty slot
    PictureMatricesBegin();
    if (foreground) {
      DrawFullscreenImageBlended(slot, 1.0f);
    } else {
      backdrop_.Draw(slot);  // the background comes first, on the cleared frame
    }
    PictureMatricesEnd();
    return;
  }
  if (picture.texture == 0) return;
  PictureMatricesBegin();
  if (foreground) {
    DrawForegroundTexture(picture.texture);
  } else {
    backdrop_.DrawTexture(picture.texture);  // the background comes first, on the cleared frame
  }
  PictureMatricesEnd();
}

bool PartRenderer::BackgroundCopied(const std::string& name) {
  if (name == kNoPicture) return false;
  const NamedPicture picture = PictureNamed(tables_, name);
  if (picture.image) return backdrop_.WouldCopy(*picture.image);
  return picture.texture != 0 && backdrop_.WouldCopyTexture(picture.texture);
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
      // Every entry is drawn on a cleared depth buffer. The effects neither test nor write
      // depth, so theirs cannot be seen, and everything drawn later with the depth test on
      // clears it first (each scene entry here, the logo pass); a clear after the frame's
      // first draws costs the software rasterizer a pass over every tile.
      if (!entry->isEffect) ClearDepth();
    }
    if (entry->isEffect) {
      if (draw) {
        RunEffect(&effects_, tables_.textureTable, *entry, partFrames);
      } else {
        PlanEffect(&effects_, tables_.textureTable, *entry, partFrames);
      }
    } else if (!ChainEntryVanished(partIndex, position, showTime)) {
      // A scene the table lacks (or that was never loaded) is skipped.
      if (Scene* scene = SceneNamed(tables_, entry->name)) {
        if (SceneNode* node = scene->FindNode(entry->camera)) scene->SetCamera(node);
        if (FadesChainStyle(partIndex, position)) {
          for (auto& style : scene->styles) {
            if (!style) continue;
            style->opacity -= opacityStep;  // never reset: the style keeps fading
            break;
          }
        }
        const float frame = static_cast<float>(entry->startFrame) + partFrames;
        if (draw) {
          scene->Render(frame, nullptr);
        } else {
          scene->EvaluateTree(frame);  // visibility toggles only ever move forward
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
  if (partIndex < 0 || static_cast<size_t>(partIndex) >= tables_.timeline.size()) {
    glClear(GL_COLOR_BUFFER_BIT);
    return;
  }
  const PartEntry part = tables_.timeline[static_cast<size_t>(partIndex)];
  // A copied background puts the picture over the clear colour into every pixel of the view.
  if (!viewCoversFrame_ || !BackgroundCopied(part.background)) glClear(GL_COLOR_BUFFER_BIT);

  RenderGlobals& globals = CurrentRenderGlobals();
  const ClipPlanes planes = PartClipPlanes(partIndex);
  globals.NearPlane = planes.nearPlane;
  globals.FarPlane = planes.farPlane;
  globals.TransparentCulling = PartTransparentCulling(partIndex);
  partFrames += PartFrameShift(partIndex);

  if (part.background != kNoPicture) DrawPicture(part.background, false);

  // A texture missing from the table flashes as plain white, as texture 0 draws.
  const char* flash = FlashTexture(partIndex);
  if (flash && partFrames < kFlashDrawnBelow) {
    DrawTextureOverlay(TextureNamed(tables_, flash), FlashBrightness(partFrames));
  }

  DrawChain(part, partIndex, partFrames, showTime, opacityStep, true);

  if (part.foreground != kNoPicture) DrawPicture(part.foreground, true);

  if (HasEndFade(partIndex) && partFrames > kEndFadeAfter) {
    SetOverlayProjection();
    FadeToBlack(EndFadeLevel(partFrames));
  }
  if (IsFadeOutPart(partIndex)) {
    SetOverlayProjection();
    FadeToBlack(FadeOutLevel(partFrames));
  } else if (DrawsLogo(partIndex)) {
    ClearDepth();
    if (Scene* logo = SceneNamed(tables_, kLogoScene)) logo->Render(LogoFrame(showTime), nullptr);
  }
}

void PartRenderer::ReplayPart(int32_t partIndex, float partFrames, float showTime, float opacityStep) {
  if (partIndex < 0 || static_cast<size_t>(partIndex) >= tables_.timeline.size()) return;
  const PartEntry part = tables_.timeline[static_cast<size_t>(partIndex)];
  partFrames += PartFrameShift(partIndex);
  DrawChain(part, partIndex, partFrames, showTime, opacityStep, false);
  if (DrawsLogo(partIndex)) {
    if (Scene* logo = SceneNamed(tables_, kLogoScene)) logo->EvaluateTree(LogoFrame(showTime));
  }
}
