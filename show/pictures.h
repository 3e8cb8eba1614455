// Pictures on screen: textures made from JPEG and PNG files, fullscreen images (a 640 x 480
// picture, on a 1024 x 512 mipmapped canvas texture where the view is small enough to shrink it) and the small drawing routines the part renderer uses
// for backgrounds, foregrounds, flashes and fades. Everything needs a current GL context.
//
//   uint32_t rock = MakeTexture("data\\rock.jpg", /*png=*/false, /*mipmaps=*/true);
//   ImageSlot title = MakeFullscreenImage("data\\title.jpg", false);
//   SetOverlayProjection();               // the drawing routines expect it, identity model-view
//   DrawFullscreenImage(title, 1.0f);
//   FadeToBlack(0.5f);
//
// JPEG and PNG textures differ on purpose: a JPEG texture has the picture's top row at t = 1 and
// pure black transparent (linear-mipmap-linear); a PNG texture has its top row at t = 0 and its
// own alpha (3-component level 0 replaced by 4-component mipmaps, linear-mipmap-nearest).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "scene/texture_lookup.h"
#include "show/show_tables.h"

using TextureTable = std::unordered_map<std::string, uint32_t>;

// Turns on 2D texturing.
void EnableTexturing();

// Decodes and uploads a texture. Returns the GL texture name, or 0 when the file is missing or
// cannot be decoded (then *why, if given, says what went wrong). A picture the decoder could
// read only in part is still uploaded, and *why says so.
uint32_t MakeTexture(const std::string& file, bool png, bool mipmaps, std::string* why = nullptr);

// Decodes a fullscreen picture into a slot. A picture of another size than 640 x 480 is
// resampled to it; a failed decode gives an empty slot (texture 0, no picture). *why as for
// MakeTexture.
ImageSlot MakeFullscreenImage(const std::string& file, bool png, std::string* why = nullptr);

// A fullscreen image's texture is filled on its first draw, or earlier by these: uploads the
// slot's picture (then freed) if not done yet; returns whether it did. The texture is the bare
// picture or the mipmapped canvas as the current view needs; a later draw at a view that needs
// the canvas makes it from the texture's own pixels.
bool UploadPicture(const ImageSlot& slot);
// Uploads the first image of the table still waiting; false when none waits. The player calls
// it once a drawn frame, so the loading screen is not held up by the upload work.
bool UploadNextPicture(const ShowTables& tables);

// The 1024 x 512 canvas, rows bottom first, for a 640 x 480 RGBA picture given bottom row first
// (alpha is taken from the picture). Exposed for tests.
DecodedImage BuildCanvas(const uint8_t* picture640x480Rgba);

// Projection: identity, then 90-degree perspective, aspect 1, near 0.5, far 2.0, so that a quad
// from (-1, -1, -1) to (1, 1, -1) fills the view under an identity model-view matrix. Leaves the
// projection matrix selected.
void SetOverlayProjection();

// Adds the picture weighted by a (blend source alpha, one) over the frame.
void DrawFullscreenImage(const ImageSlot& slot, float a);
// Leaves the GL state exactly as DrawFullscreenImage would (texture bound and filled, blending,
// tests, colour, current texture coordinate) without drawing: for a caller that puts the same
// pixels in the frame by other means.
void LeaveFullscreenImageState(const ImageSlot& slot, float a);
// Goes up whenever a texture is made or a fullscreen picture's texture changes, so what was
// drawn or worked out from textures can be known to be still current.
uint64_t TextureGeneration();
// Draws the picture over the frame through its alpha, tinted (a, a, a, a).
void DrawFullscreenImageBlended(const ImageSlot& slot, float a);
// Adds the whole texture scaled by a (blend one, one); nothing when a <= 0.
void DrawTextureOverlay(uint32_t texture, float a);
// The GL state DrawTextureOverlay leaves, without drawing (as LeaveFullscreenImageState).
void LeaveTextureOverlayState(uint32_t texture, float a);
// Draws the texture through its alpha over the whole view (see the .cpp on its depth).
void DrawForegroundTexture(uint32_t texture);
// Multiplies the frame by b (clamped at 0); nothing when b >= 1. Leaves blending and the alpha
// test on and the colour white.
void FadeToBlack(float b);

// The texture table as the scene loader sees it (materials find their maps through it).
class TextureTableLookup : public TextureLookup {
 public:
  explicit TextureTableLookup(const TextureTable& textures) : textures_(textures) {}
  bool Find(const std::string& lowerCaseName, uint32_t* texture) const override;

 private:
  const TextureTable& textures_;
};
