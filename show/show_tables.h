// The show's tables: the timeline of parts, the chained scenes and effects, and the name
// tables for textures, fullscreen images and scenes. One ShowTables lives for the whole run;
// tests make fresh ones.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/image_decode.h"  // DecodedImage

class Scene;

// One [part], [addpart] or [addeffect] record. Strings are lower-cased.
struct PartEntry {
  float time = 0.0f;        // end of the part, milliseconds of show time
  int32_t startFrame = 0;   // frame offset added to the part-local time
  std::string name;         // scene name, or effect name
  std::string camera;
  std::string background;   // picture behind the scene ("standard" = none); effect texture
  std::string foreground;   // picture over the scene ("standard" = none)
  int32_t next = -1;        // index in AddedEntries of the next chained entry
  uint8_t isEffect = 0;
  int32_t speed = 0;
  int32_t fieldOfView = 0;
};

// One fullscreen image: a 640 x 480 picture. Until its texture is filled, `picture` holds its
// pixels (RGBA, bottom row first; only the kept part's, framed texels, where it keeps a part:
// see below); after, no pixels, and a width of 640 when the texture is the
// bare picture (one level, for views that never shrink it) or 1024 when it is a mipmapped
// 1024 x 512 canvas with the picture in its top-left corner.
struct ImageSlot {
  uint32_t texture = 0;
  std::shared_ptr<DecodedImage> picture;
  // The smallest box holding every pixel of the picture with any alpha (columns left to
  // right, rows bottom first, inclusive); left > right when no pixel has any. Nothing outside
  // it can pass the alpha test, so drawing is kept to it.
  int16_t alphaLeft = 0, alphaBottom = 0, alphaRight = 639, alphaTop = 479;
  // The part of the picture framed in its one-texel clear ring (642 x 482, rows bottom first)
  // that the bare picture's texture holds: all of it, or for a picture clear and black away
  // from its alpha box, only the box and two texels around it (the rest reads as the clear
  // edge the texture is clamped to).
  int16_t keptLeft = 0, keptBottom = 0, keptWidth = 642, keptHeight = 482;
};

constexpr int kImageSlotCount = 1024;

struct ShowTables {
  std::vector<PartEntry> timeline;
  std::vector<PartEntry> addedEntries;
  std::unordered_map<std::string, uint32_t> textureTable;
  std::unordered_map<std::string, int32_t> imageTable;
  std::vector<ImageSlot> images = std::vector<ImageSlot>(kImageSlotCount);
  int32_t imageCount = 0;
  std::unordered_map<std::string, std::shared_ptr<Scene>> sceneTable;
  // The soundtrack file the script's [mp3] section names ("data\\music.mp3"); empty if none.
  std::string soundtrackFile;
  // What the script asked for and could not be loaded, with the reason, for --info.
  std::vector<std::string> failures;
  // Why there is no show to play (the script is missing, unreadable, or holds fewer than two
  // parts); empty when the script gave one.
  std::string scriptError;
};
