#include "scene/scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "anim/transform.h"

#include "io/data_file.h"
#include "io/record_reader.h"
#include "platform/log.h"
#include "scene/render_globals.h"
namespace {

// GL guarantees eight lights; later LightNodes are not set up.
constexpr int32_t kMaxLights = 8;
// The projection's aspect ratio is fixed, whatever the window's.
constexpr double kAspect = 1.2769230769230768;
constexpr double kRadiansToHalfTurns = 0.31830989161357204;

template <class Visit>
void PreOrder(const SceneNode* node, Visit&& visit) {
  for (const auto& child : node->children) {
    if (visit(child.get())) return;
    PreOrder(child.get(), visit);
  }
}

// Like PreOrder but can stop the whole walk: visit returns true to stop.
template <class Visit>
bool PreOrderUntil(const SceneNode* node, Visit&& visit) {
  for (const auto& child : node->children) {
    if (visit(child.get())) return true;
    if (PreOrderUntil(child.get(), visit)) return true;
  }
  return false;
}

void EvaluatePass(SceneNode* node, float frame) {
  for (auto& child : node->children) {
    child->Evaluate(frame, true);
    EvaluatePass(child.get(), frame);
  }
}

// Node levels the matrix walk can push onto the modelview stack as the caller left it.
int32_t FreeModelviewLevels() {
  GLint used = 1, capacity = 32;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &used);
  glGetIntegerv(GL_MAX_MODELVIEW_STACK_DEPTH, &capacity);
  return capacity > used ? capacity - used : 0;
}

int32_t TreeDepth(const SceneNode* node) {
  int32_t deepest = 0;
  for (const auto& child : node->children) deepest = std::max(deepest, 1 + TreeDepth(child.get()));
  return deepest;
}

}  // namespace

Scene::~Scene() = default;

void Scene::Load(const char* path, const SceneLoadOptions& options) {
  path_ = path;
  DataFile file;
  file.Open(path, "rb");
  if (file.HasError()) {
    loadProblem_ = std::string("cannot open '") + path + "'";
    loadProblemOffset_ = 0;
    loadStopped_ = true;
    Log("scene: %s", loadProblem_.c_str());
    return;
  }
  LoadFrom(file, options);
  file.Close();
}

void Scene::LoadFrom(DataFile& file, const SceneLoadOptions& options) {
  RecordReader reader(file);
  if (reader.Int(&headerWord1) && reader.Int(&headerWord2) && ReadNodeList(reader, this, 0)) {
    ReadMaterials(reader, options.textures, &materials, &styles);
  }
  loadStopped_ = reader.Failed();
  if (reader.HasProblem()) {
    loadProblem_ = reader.Problem();
    loadProblemOffset_ = reader.ProblemOffset();
  }

  // Style binding, parents before children.
  PreOrder(this, [&](SceneNode* node) {
    if (node->kind != kMeshKind) return false;
    auto* mesh = static_cast<MeshNode*>(node);
    mesh->BindStyles(styles, options.compileDisplayLists);
    for (const FaceGroup& group : mesh->groups) {
      if (loadProblem_.empty() && (group.materialIndex < 0 || static_cast<size_t>(group.materialIndex) >= styles.size())) {
        loadProblem_ = "material index " + std::to_string(group.materialIndex) + " out of range";
        loadProblemOffset_ = group.materialOffset;
      }
    }
    return false;
  });
  LinkUp(this);
  PreOrder(this, [](SceneNode* node) {
    node->Prepare();
    return false;
  });
  depth_ = TreeDepth(this);
  if (!loadProblem_.empty()) {
    Log("scene %s: %s at byte %u; %s", Label(), loadProblem_.c_str(), loadProblemOffset_,
        reader.Failed() ? "keeping what was read" : "loading went on");
  }
}

bool Scene::ReadNodeList(RecordReader& r, SceneNode* parent, int depth) {
  int32_t code;
  if (!r.Int(&code)) return false;
  while (code != -1) {
    uint32_t at = r.Offset() - 4;
    std::unique_ptr<SceneNode> node = CreateNodeForCode(code, parent);
    if (!node) return r.Fail("node type code " + std::to_string(code) + " outside 0..5", at);
    if (code == 4) ++lightCount;
    bool complete = node->Read(r);
    SceneNode* added = node.get();
    // A node cut short keeps what its record gave; reading stops after it.
    parent->children.push_back(std::move(node));
    if (!complete) return false;
    int32_t word;
    if (!r.Int(&word)) return false;
    if (word != -1) {
      if (depth + 1 >= kMaxSceneDepth) {
        return r.Fail("nodes nested deeper than " + std::to_string(kMaxSceneDepth) + " levels", r.Offset() - 4);
      }
      r.Unread4();
      if (!ReadNodeList(r, added, depth + 1)) return false;
    }
    if (!r.Int(&code)) return false;
  }
  return true;
}

void Scene::LinkUp(SceneNode* node) {
  for (auto& child : node->children) {
    SceneNode* k = child.get();
    if (k->kind == kCameraKind) camera_ = static_cast<CameraNode*>(k);
    if (k->kind == kCameraKind || k->kind == kTargetLightKind) {
      for (auto& sibling : node->children) {
        if (sibling->kind != kTargetKind || sibling->name != k->name) continue;
        auto* target = static_cast<TargetNode*>(sibling.get());
        if (k->kind == kCameraKind) {
          static_cast<CameraNode*>(k)->target = target;
        } else {
          static_cast<TargetLightNode*>(k)->target = target;
        }
      }
    }
    LinkUp(k);
  }
}

SceneNode* Scene::FindNode(const std::string& text) const {
  SceneNode* found = nullptr;
  PreOrderUntil(this, [&](const SceneNode* node) {
    if (node->name.find(text) == std::string::npos) return false;
    found = const_cast<SceneNode*>(node);
    return true;
  });
  return found;
}

MeshNode* Scene::FindMesh(int32_t n) const {
  MeshNode* found = nullptr;
  int32_t count = 0;
  PreOrderUntil(this, [&](const SceneNode* node) {
    if (node->kind != kMeshKind) return false;
    if (count++ != n) return false;
    found = const_cast<MeshNode*>(static_cast<const MeshNode*>(node));
    return true;
  });
  return found;
}

bool Scene::SetCamera(SceneNode* node) {
  if (!node || node->kind != kCameraKind) return false;
  camera_ = static_cast<CameraNode*>(node);
  return true;
}

void Scene::SetUpCamera(float frame) {
  CameraNode& camera = *camera_;
  Vector3 eye = camera.positionTrack.Evaluate(frame);
  camera.position = eye;
  camera.target->Evaluate(frame, false);
  Vector3 target = camera.target->position;

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();

  // A camera sitting on its target has no direction: look along +y instead of dividing by 0.
  Vector3 toTarget = target - eye;
  float distance = Length(toTarget);
  bool hasDirection = distance > 0.0f && std::isfinite(distance);
  Vector3 d = hasDirection ? toTarget * (1.0f / distance) : Vector3(0.0f, 1.0f, 0.0f);
  Vector3 side(d.y, -d.x, 0.0f);
  float sideLength = Length(side);
  // Looking straight along z leaves no horizontal side vector; take x.
  side = sideLength > 0.0f ? side * (1.0f / sideLength) : Vector3(1.0f, 0.0f, 0.0f);
  Vector3 up0 = Cross(side, d);
  float upLength = Length(up0);
  if (upLength > 0.0f) up0 = up0 * (1.0f / upLength);
  // Roll turns the up vector about the world z axis, not about the viewing direction.
  Vector3 up = Matrix4::RotationZ(camera.rollTrack.Evaluate(frame)).TransformPoint(up0);

  const RenderGlobals& globals = CurrentRenderGlobals();
  double fovy = static_cast<double>(camera.fieldOfViewTrack.Evaluate(frame)) * 360.0 * kRadiansToHalfTurns;
  gluPerspective(fovy, kAspect, globals.NearPlane, globals.FarPlane);
  Vector3 center = hasDirection ? target : eye + d;
  // The view goes into the projection matrix: the modelview holds only node transforms.
  gluLookAt(eye.x, eye.y, eye.z, center.x, center.y, center.z, up.x, up.y, up.z);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void Scene::LightPass(SceneNode* node, int32_t levels) {
  if (levels <= 0) return;
  for (auto& child : node->children) {
    SceneNode* k = child.get();
    glPushMatrix();
    glMultMatrixf(k->matrix.m);
    if (k->kind == kLightKind && enabledLights < kMaxLights) {
      auto* light = static_cast<LightNode*>(k);
      GLenum id = static_cast<GLenum>(GL_LIGHT0 + enabledLights);
      ++enabledLights;
      // The matrix already translates by the position, so the light lands at twice it.
      GLfloat position[4] = {light->position.x, light->position.y, light->position.z, 1.0f};
      glLightfv(id, GL_POSITION, position);
      GLfloat diffuse[4] = {light->colour[0], light->colour[1], light->colour[2], 1.0f};
      glLightfv(id, GL_DIFFUSE, diffuse);
      glLightf(id, GL_CONSTANT_ATTENUATION, light->attenuation[0]);
      glLightf(id, GL_LINEAR_ATTENUATION, light->attenuation[1]);
      glLightf(id, GL_QUADRATIC_ATTENUATION, light->attenuation[2]);
      glEnable(id);
    }
    if (!k->children.empty()) LightPass(k, levels - 1);
    glPopMatrix();
  }
}

void Scene::DrawPass(SceneNode* node, int32_t levels, bool seeThrough, bool passFlag) {
  if (levels <= 0) return;
  for (auto& child : node->children) {
    SceneNode* k = child.get();
    glPushMatrix();
    glMultMatrixf(k->matrix.m);
    if (k->IsDrawable()) {
      bool transparent = k->kind == kMeshKind && static_cast<MeshNode*>(k)->transparent;
      if (!seeThrough && !transparent) static_cast<DrawableNode*>(k)->Draw(false);
      if (seeThrough && transparent) static_cast<DrawableNode*>(k)->Draw(passFlag);
    }
    if (!k->children.empty()) DrawPass(k, levels - 1, seeThrough, passFlag);
    glPopMatrix();
  }
}

bool Scene::OpaqueOrderIsFree() {
  if (glIsEnabled(GL_STENCIL_TEST)) return false;
  GLint depthFunction = 0;
  glGetIntegerv(GL_DEPTH_FUNC, &depthFunction);
  if (depthFunction != GL_LESS && depthFunction != GL_LEQUAL) return false;
  if (!glIsEnabled(GL_BLEND)) return true;
  GLint source = 0, destination = 0;
  glGetIntegerv(GL_BLEND_SRC, &source);
  glGetIntegerv(GL_BLEND_DST, &destination);
  return source == GL_ONE && destination == GL_ZERO;
}

void Scene::CollectOpaque(SceneNode* node, int32_t levels, const float* p) {
  if (levels <= 0) return;
  for (auto& child : node->children) {
    SceneNode* k = child.get();
    glPushMatrix();
    glMultMatrixf(k->matrix.m);
    if (k->kind == kMeshKind) {
      auto* mesh = static_cast<MeshNode*>(k);
      if (!mesh->transparent && mesh->visibilityTrack.State()) {
        OpaqueDraw draw;
        draw.mesh = mesh;
        glGetFloatv(GL_MODELVIEW_MATRIX, draw.modelview);
        const float* m = draw.modelview;
        const Vector3& c = mesh->centre;
        float x = m[0] * c.x + m[4] * c.y + m[8] * c.z + m[12];
        float y = m[1] * c.x + m[5] * c.y + m[9] * c.z + m[13];
        float z = m[2] * c.x + m[6] * c.y + m[10] * c.z + m[14];
        float w = m[3] * c.x + m[7] * c.y + m[11] * c.z + m[15];
        // Sorted by the far end of the bounding sphere: a ground or a wall behind everything
        // is large, and goes after the smaller things standing on it or in front of it.
        float scale = std::sqrt(std::max({m[0] * m[0] + m[1] * m[1] + m[2] * m[2],
                                          m[4] * m[4] + m[5] * m[5] + m[6] * m[6],
                                          m[8] * m[8] + m[9] * m[9] + m[10] * m[10]}));
        float distance = p[3] * x + p[7] * y + p[11] * z + p[15] * w + mesh->radius * scale;
        // Whatever the data, the key must order: anything not finite goes last.
        draw.distance = std::isfinite(distance) ? distance : std::numeric_limits<float>::max();
        opaqueDraws_.push_back(draw);
      }
    }
    if (!k->children.empty()) CollectOpaque(k, levels - 1, p);
    glPopMatrix();
  }
}

namespace {

// The window position of an object-space point under toClip and the view; false when it lies
// at or behind the eye plane (w not positive), where no window position stands for it.
// betweenPlanes: whether it lies between the near and far planes (a triangle through either
// is cut there by the clipper).
bool ToWindow(const double* m, const Vector3& v, const GLint* viewport, const GLfloat* depthRange, WindowPoint* out,
              bool* betweenPlanes = nullptr) {
  const double x = v.x, y = v.y, z = v.z;
  const double cx = m[0] * x + m[4] * y + m[8] * z + m[12];
  const double cy = m[1] * x + m[5] * y + m[9] * z + m[13];
  const double cz = m[2] * x + m[6] * y + m[10] * z + m[14];
  const double cw = m[3] * x + m[7] * y + m[11] * z + m[15];
  if (!(cw > 1e-6)) return false;
  out->x = viewport[0] + (cx / cw + 1.0) * 0.5 * viewport[2];
  out->y = viewport[1] + (cy / cw + 1.0) * 0.5 * viewport[3];
  out->z = depthRange[0] + (cz / cw + 1.0) * 0.5 * (static_cast<double>(depthRange[1]) - depthRange[0]);
  if (betweenPlanes) *betweenPlanes = cz >= -cw && cz <= cw;
  return true;
}

constexpr size_t kMaxOccluderFaces = 128;

// Meshes whose vertices are moved every frame (morph keys) are left out of the occlusion test
// both ways: their bounds and faces are not the ones drawn.
bool StaticMesh(const MeshNode& mesh) {
  return mesh.morphTrack.KeyCount() == 0 && mesh.boundsLow.x <= mesh.boundsHigh.x;
}

}  // namespace

bool Scene::HiddenByEarlierMeshes(const MeshNode& mesh, const double* toClip) const {
  if (!StaticMesh(mesh)) return false;
  const ViewState& view = view_;
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0, nearest = 0.0;
  for (int corner = 0; corner < 8; ++corner) {
    const Vector3 v{corner & 1 ? mesh.boundsHigh.x : mesh.boundsLow.x,
                    corner & 2 ? mesh.boundsHigh.y : mesh.boundsLow.y,
                    corner & 4 ? mesh.boundsHigh.z : mesh.boundsLow.z};
    WindowPoint p;
    // A corner at or behind the eye: the box's picture has no bounds to test.
    if (!ToWindow(toClip, v, view.viewport, view.depthRange, &p)) return false;
    if (corner == 0) {
      x0 = x1 = p.x;
      y0 = y1 = p.y;
      nearest = p.z;
    } else {
      x0 = std::min(x0, p.x);
      x1 = std::max(x1, p.x);
      y0 = std::min(y0, p.y);
      y1 = std::max(y1, p.y);
      nearest = std::min(nearest, p.z);
    }
  }
  return occlusion_.Hides(x0, y0, x1, y1, nearest);
}

void Scene::AddOccluder(const MeshNode& mesh, const double* toClip, bool counterClockwiseFront) {
  if (!StaticMesh(mesh)) return;
  // Walls, floors and blocks hide things: a few large faces. A mesh of many faces (a knot, a
  // sphere, a terrain) has few that cover a cell, and would cost more to record than it saves.
  size_t faces = 0;
  bool fills = false;
  for (const FaceGroup& group : mesh.groups) {
    faces += group.faces.size();
    fills = fills || (group.style && group.style->FillsFrontFaces());
  }
  if (!fills || faces > kMaxOccluderFaces) return;
  const ViewState& view = view_;
  windowPoints_.resize(mesh.vertices.size());
  std::vector<uint8_t>& usable = occluderUsable_;
  usable.resize(mesh.vertices.size());
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    bool between = false;
    usable[i] = ToWindow(toClip, mesh.vertices[i], view.viewport, view.depthRange, &windowPoints_[i], &between) &&
                between;
  }
  const size_t count = mesh.vertices.size();
  // The face's three window points, when all lie between near and far and it faces the eye
  // (back faces are culled).
  auto drawn = [&](const MeshFace& face, const WindowPoint** out) {
    for (int k = 0; k < 3; ++k) {
      const int32_t v = face.corners[k].vertex;
      if (v < 0 || static_cast<size_t>(v) >= count || !usable[static_cast<size_t>(v)]) return false;
      out[k] = &windowPoints_[static_cast<size_t>(v)];
    }
    const double area =
        (out[1]->x - out[0]->x) * (out[2]->y - out[0]->y) - (out[1]->y - out[0]->y) * (out[2]->x - out[0]->x);
    return counterClockwiseFront ? area > 0.0 : area < 0.0;
  };
  for (const FaceGroup& group : mesh.groups) {
    if (!group.style || !group.style->FillsFrontFaces()) continue;
    const std::vector<MeshFace>& faces = group.faces;
    for (size_t f = 0; f < faces.size(); ++f) {
      const WindowPoint* p[3];
      if (!drawn(faces[f], p)) continue;
      // A quadrilateral given as (a, b, c), (a, c, d) goes in whole.
      const WindowPoint* q[3];
      if (f + 1 < faces.size() && faces[f + 1].corners[0].vertex == faces[f].corners[0].vertex &&
          faces[f + 1].corners[1].vertex == faces[f].corners[2].vertex && drawn(faces[f + 1], q)) {
        occlusion_.Add(*p[0], *p[1], *p[2], *q[2]);
        ++f;
        continue;
      }
      occlusion_.Add(*p[0], *p[1], *p[2]);
    }
  }
}

void Scene::DrawOpaqueNearestFirst(int32_t levels) {
  float projection[16], start[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, start);
  opaqueDraws_.clear();
  CollectOpaque(this, levels, projection);
  std::stable_sort(opaqueDraws_.begin(), opaqueDraws_.end(),
                   [](const OpaqueDraw& a, const OpaqueDraw& b) { return a.distance < b.distance; });
  // The styles cull back faces (the cull mode stays as the pass finds it) and test depth.
  GLint cullMode = GL_BACK, frontFace = GL_CCW;
  glGetIntegerv(GL_CULL_FACE_MODE, &cullMode);
  glGetIntegerv(GL_FRONT_FACE, &frontFace);
  const bool occlusion = cullMode == GL_BACK && glIsEnabled(GL_DEPTH_TEST) && !glIsEnabled(GL_SCISSOR_TEST);
  glGetIntegerv(GL_VIEWPORT, view_.viewport);
  glGetFloatv(GL_DEPTH_RANGE, view_.depthRange);
  occlusion_.Reset(view_.viewport[0], view_.viewport[1], view_.viewport[2], view_.viewport[3]);
  hiddenSkipped_ = 0;
  for (size_t i = 0; i < opaqueDraws_.size(); ++i) {
    const OpaqueDraw& draw = opaqueDraws_[i];
    Transform toClip = Transform::Of(projection);
    if (occlusion) {
      toClip.Multiply(Transform::Of(draw.modelview));
      // The last mesh is always drawn: the state its styles leave is the state the pass leaves.
      if (i + 1 < opaqueDraws_.size() && HiddenByEarlierMeshes(*draw.mesh, toClip.m)) {
        ++hiddenSkipped_;
        continue;
      }
    }
    glLoadMatrixf(draw.modelview);
    draw.mesh->Draw(false);
    if (occlusion) AddOccluder(*draw.mesh, toClip.m, frontFace == GL_CCW);
  }
  glLoadMatrixf(start);
}

void Scene::EvaluateTree(float frame) { EvaluatePass(this, frame); }

void Scene::Render(float frame, const SceneBlend* blend) {
  if (!camera_ || !camera_->target) {
    if (!loggedNoCamera_) {
      Log("scene: no camera with a target; nothing drawn");
      loggedNoCamera_ = true;
    }
    return;
  }
  float alpha = blend ? blend->alpha : 1.0f;
  GLfloat diffuse[4] = {0.8f, 0.8f, 0.8f, alpha};
  glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
  glColor4f(1.0f, 1.0f, 1.0f, alpha);
  if (lightCount < 1) {
    glDisable(GL_LIGHTING);
    glShadeModel(GL_FLAT);
  } else {
    glEnable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
  }
  enabledLights = 0;
  hiddenSkipped_ = 0;
  SetUpCamera(frame);
  EvaluateTree(frame);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  // Nesting deeper than the modelview stack can take from here cannot be placed; those levels
  // are skipped.
  const int32_t levels = FreeModelviewLevels();
  if (depth_ > levels && !loggedTooDeep_) {
    Log("scene %s: nodes nested %d levels deep, but the matrix stack takes %d more here; deeper levels are not drawn",
        Label(), depth_, levels);
    loggedTooDeep_ = true;
  }
  LightPass(this, levels);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  if (blend) {
    glEnable(GL_BLEND);
    glBlendFunc(static_cast<GLenum>(blend->opaqueSource), static_cast<GLenum>(blend->opaqueDestination));
  }
  if (OpaqueOrderIsFree())
    DrawOpaqueNearestFirst(levels);
  else
    DrawPass(this, levels, false, false);
  glDepthMask(GL_FALSE);
  if (blend) {
    glBlendFunc(static_cast<GLenum>(blend->seeThroughSource), static_cast<GLenum>(blend->seeThroughDestination));
  }
  DrawPass(this, levels, true, blend != nullptr);
  glDepthMask(GL_TRUE);
  if (blend) glDisable(GL_BLEND);
  for (int32_t i = 0; i < enabledLights; ++i) glDisable(static_cast<GLenum>(GL_LIGHT0 + i));
}
