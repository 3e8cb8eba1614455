// Built-in effects an [addeffect] entry can chain onto a part: "droid1", "droid2" and "tunnel"
// draw rings of the star mesh flying towards the viewer, "droid3" a rippling 16 x 16 field of
// sprites. All draw additively with one texture from the texture table, without depth testing.
//
//   EffectsState effects;
//   InitEffects(&effects);                              // once, GL context current
//   RunEffect(&effects, tables.textureTable, entry, partFrames);
//
// The ring effects transform the projection matrix (the model-view stays identity) and leave it
// selected; the caller selects the model-view matrix again afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "show/ob3.h"
#include "show/pictures.h"
#include "show/show_tables.h"
#include "show/sprite_outline.h"

// The runtime library's pseudo-random sequence (values 0..32767), started from its default
// seed, so a show draws the same "droid2" frames on every run.
class EffectRandom {
 public:
  int32_t Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int32_t>((state_ >> 16) & 0x7FFF);
  }

 private:
  uint32_t state_ = 1;
};

struct EffectsState {
  std::vector<std::pair<std::string, int32_t>> table;  // name -> id, in registration order
  uint32_t unitQuad = 0;                                // display list of one textured quad
  Ob3Mesh starMesh;
  EffectRandom random;
  // The sprite field's outlines, by texture, traced on first use (and again once any texture
  // was made since).
  mutable std::unordered_map<uint32_t, SpriteOutline> outlines;
  // Scratch corners of one sprite's outline (kept between frames).
  mutable std::vector<float> spritePositions, spriteTexCoords;
};

// Compiles the unit quad, loads "data\star.ob3" and registers the four effects.
void InitEffects(EffectsState* effects);
// Registers the effect names only (no GL); InitEffects calls it.
void RegisterEffects(EffectsState* effects);

// Id of the first registered effect whose name contains name; -1 when none does.
int32_t FindEffect(const EffectsState& effects, const std::string& name);

// What an effect entry draws at part frame f: which effect, its texture and the arguments of
// its drawing routine. Planning is all an effect changes besides the picture ("droid2" takes
// two values of the random sequence), so a seek that replays frames without drawing plans each
// effect and leaves the sequence where a full run leaves it.
struct EffectCall {
  int32_t id = -1;
  uint32_t texture = 0;    // 0 when the entry's texture is not in the table
  double a = 0.0, b = 0.0;  // ring effects
  double t = 0.0;          // sprite field
  double fieldOfView = 0.0;
};
EffectCall PlanEffect(EffectsState* effects, const TextureTable& textures, const PartEntry& entry, float f);

// Plans the effect an entry names at part frame f and draws it (nothing for an unknown name).
void RunEffect(EffectsState* effects, const TextureTable& textures, const PartEntry& entry, float f);

// Degrees in 0..180 easing along cos(k / period).
double EaseAngle(double k, double period);

// The rings drawn at time b: n = first .. last, ring n standing at depth 36000 + 600 (B - n)
// with B = b / 100.
struct RingSpan {
  int32_t first = 0;
  int32_t last = -1;  // inclusive; last < first when none
  float position = 0.0f;  // B
  double Depth(int32_t n) const { return 36000.0 + 600.0 * (static_cast<double>(position) - n); }
};
RingSpan RingsAt(double b);

// The rings of stars (wobbling for "droid1" and "droid2"), all in one batch of triangles taken
// to clip coordinates on the way (see show/clip_draw.h).
void RingTunnel(const EffectsState& effects, bool wobble, double a, double b, double fieldOfView, uint32_t texture);
void SpriteField(const EffectsState& effects, double t, uint32_t texture);
// The 16 x 16 sprites: each drawn as the outline its texture has at the sprite's size on
// screen (see show/sprite_outline.h), all in one batch; texture 0 has no outline, and each of
// its sprites calls the unit quad's list. The drawing state is set once for all of them and
// left as DrawSprite leaves it.
void SpriteGrid(const EffectsState& effects, float a, double t, uint32_t texture);
// One sprite, the whole unit quad, state set before and after.
void DrawSprite(const EffectsState& effects, float v, uint32_t texture);
