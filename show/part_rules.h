// The rules that belong to particular parts of the show. Parts are counted from 0 in script
// order; a rule names the parts it applies to and what it changes: the clipping planes, back-face
// culling of see-through faces, a clock that runs behind, a picture that flashes out and a fade to
// black, the logo scene drawn over a stretch of parts, a chained scene that vanishes late in its
// part, the fading first style of a late chained scene, and the fade that ends the show.
//
// This is the one place where part numbers live. The part renderer draws and replays by these
// rules, the contact sheet knows from them which parts go dark on purpose, and the content
// generator checks that the show gives each rule something to act on.
//
//   ClipPlanes planes = PartClipPlanes(part);
//   if (const char* flash = FlashTexture(part); flash && partFrames < kFlashDrawnBelow) ...
//   if (DrawsLogo(part)) logo.Render(LogoFrame(showTime), nullptr);
#pragma once

#include <cstdint>

#include "show/show_clock.h"

// Parts first to last, both included.
struct PartRange {
  int32_t first;
  int32_t last;
  constexpr bool Holds(int32_t part) const { return part >= first && part <= last; }
};

struct ClipPlanes {
  float nearPlane;
  float farPlane;
};

// ---------------------------------------------------------------- the rules as data

inline constexpr ClipPlanes kDefaultPlanes = {1.0f, 10000.0f};

struct PlaneRule {
  PartRange parts;
  ClipPlanes planes;
};
inline constexpr PlaneRule kLongViewPlanes = {{48, 48}, {20.0f, 4500.0f}};
inline constexpr PlaneRule kNearTenPlanes = {{56, 56}, {10.0f, 10000.0f}};
inline constexpr PlaneRule kCloseUpPlanes = {{59, 69}, {0.05f, 10000.0f}};
inline constexpr PlaneRule kPlaneRules[] = {kLongViewPlanes, kNearTenPlanes, kCloseUpPlanes};

// The part whose see-through textured faces keep back-face culling.
inline constexpr int32_t kCullingPart = 1;

// The part whose frames are lowered for the whole frame (chain, effects and fades).
struct FrameShiftRule {
  int32_t part;
  float frames;
};
inline constexpr FrameShiftRule kFrameShift = {69, -5.0f};

// Parts that open with a texture added over the frame, fading out, and close with a fade to
// black. The flash is drawn while the part's frames are below kFlashDrawnBelow; its brightness
// reaches 0 at 1 / kFlashFadePerFrame frames.
struct FlashRule {
  int32_t part;
  const char* texture;
};
inline constexpr FlashRule kFlashRules[] = {{57, "2.jpg"}, {58, "4.jpg"}};
inline constexpr float kFlashDrawnBelow = 15.0f;
inline constexpr float kFlashFadePerFrame = 0.1f;
inline constexpr float kEndFadeAfter = 30.0f;
inline constexpr float kEndFadePerFrame = 0.05f;

// The last drawn part fades the frame to black over 1 / kFadeOutPerFrame frames; it draws no
// logo.
inline constexpr int32_t kFadeOutPart = 92;
inline constexpr float kFadeOutPerFrame = 0.0078125f;

// The logo scene drawn over everything in these parts, at a frame that follows the show time.
inline constexpr PartRange kLogoParts = {16, 40};
inline constexpr const char* kLogoScene = "veltrum_huge.scx";
inline constexpr float kLogoFrameOffset = 620.0f;

// A chained scene that is no longer drawn once the show time passes a moment.
struct VanishRule {
  int32_t part;
  int32_t chainPosition;  // 0 is the part itself, 1 its first chained entry
  float afterSeconds;
};
inline constexpr VanishRule kVanish = {83, 1, 239.0f};

// From this part on, the scene at this chain position fades its first draw style by the
// frame's opacity step; the fade is never undone.
inline constexpr int32_t kStyleFadeFirstPart = 90;
inline constexpr int32_t kStyleFadeChainPosition = 2;

// ---------------------------------------------------------------- reading them

constexpr ClipPlanes PartClipPlanes(int32_t part) {
  ClipPlanes planes = kDefaultPlanes;
  for (const PlaneRule& rule : kPlaneRules)
    if (rule.parts.Holds(part)) planes = rule.planes;
  return planes;
}

// The TransparentCulling flag for a part: 1 keeps see-through textured faces back-face culled.
constexpr int32_t PartTransparentCulling(int32_t part) { return part == kCullingPart ? 1 : 0; }

// Frames added to the part's frames before anything is drawn.
constexpr float PartFrameShift(int32_t part) { return part == kFrameShift.part ? kFrameShift.frames : 0.0f; }

// The texture a part flashes at its start, or null.
constexpr const char* FlashTexture(int32_t part) {
  for (const FlashRule& rule : kFlashRules)
    if (rule.part == part) return rule.texture;
  return nullptr;
}
constexpr float FlashBrightness(float partFrames) { return 1.0f - partFrames * kFlashFadePerFrame; }

// Whether a part ends in the fade that follows its flash, and the grey level of that fade.
constexpr bool HasEndFade(int32_t part) { return FlashTexture(part) != nullptr; }
constexpr float EndFadeLevel(float partFrames) { return 1.0f - (partFrames - kEndFadeAfter) * kEndFadePerFrame; }

constexpr bool IsFadeOutPart(int32_t part) { return part == kFadeOutPart; }
constexpr float FadeOutLevel(float partFrames) { return 1.0f - partFrames * kFadeOutPerFrame; }

// Parts whose frames go dark by design (the contact sheet does not flag them).
constexpr bool FadesToBlack(int32_t part) { return HasEndFade(part) || IsFadeOutPart(part); }

// The logo is drawn over a part unless the part ends the show with its fade.
constexpr bool DrawsLogo(int32_t part) { return !IsFadeOutPart(part) && kLogoParts.Holds(part); }
constexpr float LogoFrame(float showTime) { return showTime * kFramesPerSecond - kLogoFrameOffset; }

// Whether the scene at a chain position is left out of the frame.
constexpr bool ChainEntryVanished(int32_t part, int32_t chainPosition, float showTime) {
  return part == kVanish.part && chainPosition == kVanish.chainPosition && showTime > kVanish.afterSeconds;
}

// Whether the scene at a chain position fades its first style this frame.
constexpr bool FadesChainStyle(int32_t part, int32_t chainPosition) {
  return part >= kStyleFadeFirstPart && chainPosition == kStyleFadeChainPosition;
}
