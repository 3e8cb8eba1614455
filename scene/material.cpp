#include "scene/material.h"

#include <GL/gl.h>

#include "io/record_reader.h"
#include "scene/render_globals.h"
#include "scene/texture_lookup.h"

namespace {

// Longest material or map name the files may hold (bytes before the zero).
constexpr size_t kMaxMaterialName = 299;
// Smallest material record: an empty name and eleven slots of amount + empty name.
constexpr uint32_t kMaterialMinBytes = 1 + kMapSlotCount * 5;

// Blend state of a see-through group; with the pass flag the caller owns the blend function.
void BeginSeeThrough(bool passFlag) {
  glEnable(GL_BLEND);
  glDepthMask(GL_FALSE);
  if (!passFlag) {
    glEnable(GL_ALPHA_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  }
}

}  // namespace

int32_t SceneMaterial::StyleCode() const {
  int32_t code = 0;
  if (maps[kTextureMapSlot].amount > 0.0f) code += 8;
  if (maps[kReflectionMapSlot].amount > 0.0f) code += 16;
  if (maps[kNoStyleSlot].amount > 0.0f) code += 64;
  return code == 0 ? 1 : code;
}

std::unique_ptr<DrawStyle> CreateStyle(int32_t code) {
  switch (code) {
    case 1:
      return std::make_unique<LineStyle>();
    case 8:
      return std::make_unique<TextureStyle>();
    case 16:
      return std::make_unique<ReflectionStyle>();
    case 24:
      return std::make_unique<DualStyle>();
    default:
      return nullptr;
  }
}

bool ReadMaterials(RecordReader& r, const TextureLookup* textures,
                   std::vector<std::unique_ptr<SceneMaterial>>* materials,
                   std::vector<std::unique_ptr<DrawStyle>>* styles) {
  int32_t ignored, count;
  if (!r.Int(&ignored) || !r.Int(&count)) return false;
  if (count <= 0) return true;
  if (!r.CheckCount(count, kMaterialMinBytes, "material count")) return false;
  for (int32_t i = 0; i < count; ++i) {
    auto material = std::make_unique<SceneMaterial>();
    if (!r.String(&material->name, kMaxMaterialName)) return false;
    bool complete = true;
    for (int slot = 0; slot < kMapSlotCount && complete; ++slot) {
      float amount;
      std::string fileName;
      complete = r.Float(&amount) && r.String(&fileName, kMaxMaterialName);
      if (complete && amount > 0.0f) {
        material->maps[static_cast<size_t>(slot)].fileName = fileName;
        material->maps[static_cast<size_t>(slot)].amount = amount;
      }
    }
    // A material cut off inside its slots is dropped whole: its style would be a guess.
    if (!complete) return false;
    int32_t code = material->StyleCode();
    std::unique_ptr<DrawStyle> style = CreateStyle(code);
    const MapSlot& texture = material->maps[kTextureMapSlot];
    const MapSlot& reflection = material->maps[kReflectionMapSlot];
    if (code == 8) {
      style->textures = {FindTextureForMap(texture.fileName, textures)};
      style->opacity = texture.amount;
    } else if (code == 16) {
      style->textures = {FindTextureForMap(reflection.fileName, textures)};
      style->opacity = reflection.amount;
    } else if (code == 24) {
      style->textures = {FindTextureForMap(texture.fileName, textures),
                         FindTextureForMap(reflection.fileName, textures)};
      style->opacity = texture.amount;
    }
    materials->push_back(std::move(material));
    styles->push_back(std::move(style));
  }
  return true;
}

void LineStyle::Draw(const Vector3* vertices, const std::vector<MeshFace>& faces, const Vector3*,
                     bool) const {
  glColor3f(1.0f, 1.0f, 1.0f);
  glBegin(GL_LINES);
  for (const MeshFace& face : faces) {
    for (const MeshCorner& corner : face.corners) {
      const Vector3& v = vertices[corner.vertex];
      glVertex3f(v.x, v.y, v.z);
    }
  }
  glEnd();
}

void TextureStyle::Draw(const Vector3* vertices, const std::vector<MeshFace>& faces,
                        const Vector3* normals, bool passFlag) const {
  if (opacity <= 0.0f) return;
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, textures.empty() ? 0 : textures[0]);
  glPolygonMode(GL_FRONT, GL_FILL);
  glEnable(GL_CULL_FACE);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  glNormalPointer(GL_FLOAT, 0, normals);
  glVertexPointer(3, GL_FLOAT, 0, vertices);
  const bool seeThrough = opacity < 1.0f;
  if (seeThrough) {
    BeginSeeThrough(passFlag);
    if (CurrentRenderGlobals().TransparentCulling == 0) glDisable(GL_CULL_FACE);
  } else {
    glDisable(GL_ALPHA_TEST);
  }
  glBegin(GL_TRIANGLES);
  for (const MeshFace& face : faces) {
    for (const MeshCorner& corner : face.corners) {
      glTexCoord2f(corner.u, corner.v);
      glArrayElement(corner.vertex);
    }
  }
  glEnd();
  if (seeThrough) glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisable(GL_CULL_FACE);
  glDisable(GL_TEXTURE_2D);
}

void ReflectionStyle::Draw(const Vector3* vertices, const std::vector<MeshFace>& faces,
                           const Vector3* normals, bool passFlag) const {
  glPolygonMode(GL_FRONT, GL_FILL);
  glEnable(GL_CULL_FACE);
  glEnable(GL_NORMALIZE);
  glCullFace(GL_BACK);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, textures.empty() ? 0 : textures[0]);
  const bool seeThrough = opacity < 1.0f;
  if (seeThrough) {
    BeginSeeThrough(passFlag);
    glDisable(GL_CULL_FACE);  // whatever TransparentCulling says
  } else {
    glDisable(GL_ALPHA_TEST);
  }
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, vertices);
  glTexGenf(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glTexGenf(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);
  glBegin(GL_TRIANGLES);
  for (const MeshFace& face : faces) {
    for (const MeshCorner& corner : face.corners) {
      const Vector3& n = normals[corner.vertex];
      glNormal3f(n.x, n.y, n.z);
      glArrayElement(corner.vertex);
    }
  }
  glEnd();
  glDisable(GL_NORMALIZE);
  if (seeThrough) glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisable(GL_CULL_FACE);
  glDisable(GL_TEXTURE_2D);
}
