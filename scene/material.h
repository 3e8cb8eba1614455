// Scene materials and the draw styles made from them. A material names up to eleven maps with
// an amount each; which of slots 1 (texture), 9 (reflection) and 8 carry a positive amount gives
// the style code, and the code the DrawStyle that draws a mesh's face groups:
//   1 LineStyle (white lines), 8 TextureStyle, 16 ReflectionStyle (sphere-mapped),
//   24 DualStyle (draws nothing); codes with the 64 bit get no style at all.
// A style's opacity below 1.0 makes its groups see-through; the part renderer may lower it
// between frames.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "anim/vecmath.h"

class RecordReader;
class TextureLookup;

struct MapSlot {
  std::string fileName;
  float amount = 0.0f;
};

constexpr int kMapSlotCount = 11;
constexpr int kTextureMapSlot = 1;
constexpr int kNoStyleSlot = 8;
constexpr int kReflectionMapSlot = 9;

struct SceneMaterial {
  std::string name;
  std::array<MapSlot, kMapSlotCount> maps;

  // 1, 8, 16 or 24, possibly plus 64.
  int32_t StyleCode() const;
};

struct MeshCorner {
  int32_t vertex = 0;
  float u = 0.0f, v = 0.0f;
};

struct MeshFace {
  MeshCorner corners[3];
};

class DrawStyle {
 public:
  virtual ~DrawStyle() = default;
  // Draws the faces; every corner's vertex index must be within vertices and normals. The
  // pass flag, when set, leaves the blend function to the caller.
  virtual void Draw(const Vector3* vertices, const std::vector<MeshFace>& faces, const Vector3* normals,
                    bool passFlag) const = 0;
  virtual int32_t TextureCount() const = 0;
  // True when what Draw issues now puts no pixel on screen once the current colour's alpha is 0
  // (lighting off, the alpha test on for everything it draws). Display lists use it to skip
  // the geometry of a mesh faded out through its colour.
  virtual bool HiddenAtZeroAlpha() const = 0;
  // True when Draw fills every front face it is given, opaque, with the depth test and depth
  // writes as the opaque pass sets them (so what it draws hides what lies behind).
  virtual bool FillsFrontFaces() const { return false; }

  std::vector<uint32_t> textures;
  float opacity = 1.0f;
};

class LineStyle : public DrawStyle {
 public:
  void Draw(const Vector3*, const std::vector<MeshFace>&, const Vector3*, bool) const override;
  int32_t TextureCount() const override { return 0; }
  bool HiddenAtZeroAlpha() const override { return false; }  // sets its own colour
};

class TextureStyle : public DrawStyle {
 public:
  void Draw(const Vector3*, const std::vector<MeshFace>&, const Vector3*, bool) const override;
  int32_t TextureCount() const override { return 1; }
  bool HiddenAtZeroAlpha() const override { return opacity < 1.0f; }  // see-through or nothing
  bool FillsFrontFaces() const override { return opacity >= 1.0f; }
};

class ReflectionStyle : public DrawStyle {
 public:
  void Draw(const Vector3*, const std::vector<MeshFace>&, const Vector3*, bool) const override;
  int32_t TextureCount() const override { return 1; }
  bool HiddenAtZeroAlpha() const override { return opacity < 1.0f; }
  bool FillsFrontFaces() const override { return opacity >= 1.0f; }
};

class DualStyle : public DrawStyle {
 public:
  void Draw(const Vector3*, const std::vector<MeshFace>&, const Vector3*, bool) const override {}
  int32_t TextureCount() const override { return 2; }
  bool HiddenAtZeroAlpha() const override { return true; }
};

// The style for a code, with no textures; null for codes without a style.
std::unique_ptr<DrawStyle> CreateStyle(int32_t code);

// Reads the material section, appending one material and one style (possibly null) per
// material record. Returns false on malformed data; what was read before stays appended.
bool ReadMaterials(RecordReader& reader, const TextureLookup* textures,
                   std::vector<std::unique_ptr<SceneMaterial>>* materials,
                   std::vector<std::unique_ptr<DrawStyle>>* styles);
