// Where a sprite's texture can put anything on its quad. A sprite is drawn through the alpha
// test, so every pixel whose filtered texel has no alpha is thrown away after it was shaded;
// for the round and star-shaped sprites of a field that is most of the quad. The outline is a
// convex polygon (at most eight corners) around every texel with any alpha, grown by the reach
// of the linear filter, for each number of mipmap levels the sampler may use; drawing the
// outline instead of the quad shades only the pixels that can show something.
//
//   SpriteOutline outline = TraceSpriteOutline(texture);   // texture bound or not
//   int level = SpriteLevelBound(projection, modelview, viewWidth, viewHeight, outline);
//   for (auto& corner : outline.levels[level]) ...         // texture coordinates, in order
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct SpriteOutline {
  int width = 0, height = 0;  // level 0's size; 0 when the texture gave nothing to trace
  // levels[k]: the outline for samples taken from levels 0 to k, as (s, t) corners in order
  // around it (counter-clockwise in s, t); empty when nothing of those levels has any alpha.
  // The last entry covers every level the texture has.
  std::vector<std::vector<std::array<float, 2>>> levels;
  bool whole = true;  // true: draw the whole quad (no outline was found to help)
  uint64_t generation = 0;
};

// Reads the texture's levels back and traces the outline. An incomplete mipmapped texture, a
// texture that is not there, or one with alpha everywhere gives `whole`.
SpriteOutline TraceSpriteOutline(uint32_t texture);

// The outline made from RGBA levels (each level's bytes, width x height, row 0 first; each
// level half the one before, as GL makes them). `repeat`: the texture repeats at its edges, so
// a texel at one edge is also reached from the other. Exposed for tests.
SpriteOutline OutlineFromLevels(const std::vector<std::vector<uint8_t>>& levels, int width, int height, bool repeatS,
                                bool repeatT);

// The largest mipmap level (with one to spare) the sampler can pick anywhere on the unit quad
// (x, y in -1..1, z = 0, s = (x + 1) / 2, t = (1 - y) / 2) drawn with these matrices
// (column-major, as GL keeps them) into a view of that size; the last level when a corner is
// behind the eye or the quad is seen edge-on.
int SpriteLevelBound(const float* projection, const float* modelview, int viewWidth, int viewHeight,
                     const SpriteOutline& outline);
