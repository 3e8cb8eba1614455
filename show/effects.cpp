#include "show/effects.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <vector>

#include "show/clip_draw.h"
#include "show/viewport.h"

namespace {

constexpr int32_t kDroid1 = 1;
constexpr int32_t kDroid2 = 2;
constexpr int32_t kDroid3 = 3;
constexpr int32_t kTunnel = 4;

// Rings in flight at once, and a bound on the loop for positions where float steps are coarse.
constexpr float kRingsAhead = 120.0f;
constexpr int32_t kMaxRings = 130;
// Beyond this the ring index no longer fits the loop's integer; nothing is drawn.
constexpr double kMaxRingPosition = 1.0e9;

void BeginSprites(uint32_t texture);
void EndSprites();

// The texture's outline, traced now if not yet or if textures were made since; nullptr where
// the whole quad is drawn.
const SpriteOutline* OutlineFor(const EffectsState& effects, uint32_t texture) {
  if (texture == 0) return nullptr;
  auto found = effects.outlines.find(texture);
  if (found == effects.outlines.end() || found->second.generation != TextureGeneration()) {
    SpriteOutline traced = TraceSpriteOutline(texture);
    traced.generation = TextureGeneration();
    found = effects.outlines.insert_or_assign(texture, std::move(traced)).first;
  }
  const SpriteOutline& outline = found->second;
  if (outline.whole || outline.levels.empty()) return nullptr;
  return &outline;
}

void EffectProjection(double fieldOfView) {
  const ViewportSize& view = CurrentViewport();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(fieldOfView, static_cast<double>(view.width) / static_cast<double>(view.height), 1.0, 10000.0);
}

}  // namespace

void RegisterEffects(EffectsState* effects) {
  effects->table = {{"droid1", kDroid1}, {"droid2", kDroid2}, {"droid3", kDroid3}, {"tunnel", kTunnel}};
}

void InitEffects(EffectsState* effects) {
  effects->unitQuad = glGenLists(1);
  glNewList(effects->unitQuad, GL_COMPILE);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(-1.0f, -1.0f, 0.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(1.0f, -1.0f, 0.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(1.0f, 1.0f, 0.0f);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(-1.0f, 1.0f, 0.0f);
  glEnd();
  glEndList();
  LoadOb3("data\\star.ob3", 1, &effects->starMesh, 3, 1);
  RegisterEffects(effects);
  effects->random = EffectRandom();
}

int32_t FindEffect(const EffectsState& effects, const std::string& name) {
  for (const auto& [registered, id] : effects.table)
    if (registered.find(name) != std::string::npos) return id;
  return -1;
}

EffectCall PlanEffect(EffectsState* effects, const TextureTable& textures, const PartEntry& entry, float f) {
  EffectCall call;
  call.id = FindEffect(*effects, entry.name);
  auto found = textures.find(entry.background);
  call.texture = found != textures.end() ? found->second : 0;
  call.fieldOfView = entry.fieldOfView;
  const float x = static_cast<float>(entry.startFrame) + f;
  switch (call.id) {
    case kDroid1:
    case kTunnel:
      // a: the effect's time in milliseconds; b: its time in seconds times the speed.
      call.a = x * 33.333332f;
      call.b = static_cast<float>(entry.speed) * x * 0.033333335f;
      break;
    case kDroid2: {
      // A new random moment of "droid1" every frame.
      const int32_t r1 = effects->random.Next();
      const int32_t r2 = effects->random.Next();
      call.a = r2;
      call.b = r1;
      break;
    }
    case kDroid3:
      call.t = static_cast<double>(x * static_cast<float>(entry.speed) * 0.033333335f);
      break;
    default:
      break;
  }
  return call;
}

void RunEffect(EffectsState* effects, const TextureTable& textures, const PartEntry& entry, float f) {
  const EffectCall call = PlanEffect(effects, textures, entry, f);
  switch (call.id) {
    case kDroid1:
    case kDroid2:
      RingTunnel(*effects, true, call.a, call.b, call.fieldOfView, call.texture);
      break;
    case kDroid3:
      SpriteField(*effects, call.t, call.texture);
      break;
    case kTunnel:
      RingTunnel(*effects, false, call.a, call.b, call.fieldOfView, call.texture);
      break;
    default:
      break;
  }
}

double EaseAngle(double k, double period) {
  const double c = std::cos(k / period);
  if (c > 0.0) return 90.0 * (2.0 - std::pow(1.0 - c, 5.0));
  return 90.0 * std::pow(1.0 + c, 5.0);
}

RingSpan RingsAt(double b) {
  RingSpan span;
  span.position = static_cast<float>(b * 0.01);
  if (!(std::fabs(static_cast<double>(span.position)) < kMaxRingPosition)) return span;
  span.first = static_cast<int32_t>(span.position);
  const float end = span.position + kRingsAhead;
  int32_t n = span.first;
  while (static_cast<float>(n) < end && n - span.first < kMaxRings) ++n;
  span.last = n - 1;
  return span;
}

void RingTunnel(const EffectsState& effects, bool wobble, double a, double b, double fieldOfView, uint32_t texture) {
  // Every transform below goes onto the projection matrix.
  EffectProjection(fieldOfView);
  EnableTexturing();
  glEnable(GL_ALPHA_TEST);
  glDisable(GL_LIGHTING);
  glShadeModel(GL_SMOOTH);
  glBindTexture(GL_TEXTURE_2D, texture);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);

  if (wobble) {
    const double k = std::trunc(b);
    glRotated(EaseAngle(k, 2033.0), 1.0, 0.0, 0.0);
    glRotated(EaseAngle(k, 3193.0), 0.0, 1.0, 0.0);
    glRotated(EaseAngle(k, 4693.0), 0.0, 0.0, 1.0);
    glTranslated(EaseAngle(k, 1845.5) * 10.0, EaseAngle(k, 1545.0) * 10.0, 0.0);
  }
  const RingSpan rings = RingsAt(b);
  glTranslated(0.0, 0.0, static_cast<double>(rings.position) * 600.0 + 36000.0);
  // Each star's transforms would go onto the projection matrix between a push and a pop; they
  // are composed here instead, and the whole ring drawn in one batch.
  GLfloat projection[16], modelview[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  const Transform base = Transform::Of(projection), eye = Transform::Of(modelview);
  const Ob3Mesh& mesh = effects.starMesh;
  const bool drawable = Ob3Drawable(mesh);
  ClipBatch& batch = ClipBatch::Shared();
  batch.Clear();
  float colour[3] = {};
  bool any = false;
  for (int32_t n = rings.first; n <= rings.last; ++n) {
    Transform ring = base;
    ring.Translate(0.0, 0.0, -600.0 * n);
    for (int j = 0; j < 4; ++j) {
      Transform star = ring;
      const double T = n * 0.4291845493562232 + j;
      const double r = (2000.0 - 250.0 * j + 3000.0) * 0.5;
      const double theta1 = T * 3.142458100558659;
      const double theta2 = T * 0.7856145251396648;
      star.Translate(r * (0.5 * std::cos(theta1) + std::cos(theta2)), r * (0.5 * std::sin(theta1) + std::sin(theta2)),
                     100.0 * j);
      star.Rotate(T * 45.0, 0.0, 0.0, 1.0);
      star.Rotate(90.0, 0.0, 1.0, 0.0);
      const double U = n * 2.33 + j;
      star.Rotate(U * 360.0 + a * 0.1, 0.0, 0.0, 1.0);
      star.Rotate(U * 230.0 + a * 0.03333333333333333, 4.0, 5.0, 7.0);
      const double s1 = std::sin(j * 6.8345 + n * 2.235);
      star.Scale(std::trunc(s1 * 20000.0 + 45536.0) / 65536.0);
      star.Multiply(eye);
      colour[0] = static_cast<float>(std::trunc(s1 * 5000.0 + 60536.0) / 65536.0);
      colour[1] = static_cast<float>(std::trunc(std::sin(j * 7.8345 + n * 3.235) * 5000.0 + 60536.0) / 65536.0);
      colour[2] = static_cast<float>(std::trunc(std::sin(j * 8.8345 + n * 4.235) * 5000.0 + 60536.0) / 65536.0);
      any = true;
      if (drawable)
        batch.AddTriangles(star, mesh.cornerPositions.data(), mesh.cornerTexCoords.data(),
                           mesh.cornerPositions.size() / 3, colour[0], colour[1], colour[2]);
    }
  }
  batch.Draw();
  if (any) LeaveOb3Current(mesh, colour[0], colour[1], colour[2]);
}

void SpriteField(const EffectsState& effects, double t, uint32_t texture) {
  EffectProjection(90.0);
  EnableTexturing();
  glDisable(GL_LIGHTING);
  glShadeModel(GL_SMOOTH);
  glEnable(GL_ALPHA_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_SRC_ALPHA);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glPushMatrix();
  glRotated(std::cos(t * 0.0002849002849002849) * 40.0, 1.0, 0.0, 0.0);
  glRotated(std::cos(t * 0.00035587188612099647) * 40.0, 0.0, 1.0, 0.0);
  glRotated(t * 0.03333333333333333, 0.0, 0.0, 1.0);
  glTranslated(std::sin(t * 0.00018777579569993427) * 3.0, std::cos(t * 0.0002795951462282615) * 3.0, 0.0);
  SpriteGrid(effects, 1.0f, t, texture);
  glPopMatrix();
}

void SpriteGrid(const EffectsState& effects, float a, double t, uint32_t texture) {
  const float sc = static_cast<float>(0.9 + 0.7 * std::sin(t * 0.0005795421616922632));
  double opening = 5.0 * std::cos(t * 0.00042625745950554135);
  opening = opening < 0.0 ? 0.0 : (opening > 1.0 ? 1.0 : opening);
  const float spin = static_cast<float>(180.0 * opening);
  if (a <= 0.0f) return;
  // Every sprite is drawn in the same state: set once, as each sprite would set it.
  const SpriteOutline* outline = OutlineFor(effects, texture);
  GLfloat projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  const ViewportSize view = CurrentViewport();
  auto v = [a](double d) { return static_cast<float>((1.0 - d * 0.125) * a); };
  BeginSprites(texture);
  // With an outline, the sprites are composed here and drawn in one batch; without one, each
  // calls the unit quad's list under its own matrices.
  GLfloat modelview[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  const Transform eye = Transform::Of(modelview), clip = Transform::Of(projection);
  ClipBatch& batch = ClipBatch::Shared();
  batch.Clear();
  std::vector<float>& positions = effects.spritePositions;
  std::vector<float>& texCoords = effects.spriteTexCoords;
  float value = 0.0f;
  const double k1 = t * 0.0049382716049382715;
  const double k2 = t * 0.0039016777214202106;
  const double k3 = t * 0.008103727714748784;
  for (int i = 0; i < 16; ++i) {
    const double X = i - 7.5;
    const double si = std::sin(k3 + i);
    for (int j = 0; j < 16; ++j) {
      const double Y = j - 7.5;
      // Y is never 0 on this grid; X * 1000 stands in for X / Y should it be.
      double phi = std::atan(Y != 0.0 ? X / Y : X * 1000.0);
      if (Y <= 0.0) phi += 3.1415927f;
      const double d = std::sqrt(X * X + Y * Y);
      const double x = Y * sc * 1.8, y = X * sc * 1.5;
      const double z = 2.5 * std::sin(k1 - d * 0.6666666666666666) + std::cos(j - k2) + si - 5.0;
      const double turn = phi * 57.29577950560105 + spin + 90.0;
      value = v(d);
      if (!outline) {
        glPushMatrix();
        glTranslated(x, y, z);
        glRotated(turn, 0.0, 0.0, 1.0);
        glTranslatef(0.0f, 0.0f, -1.0f);
        glColor3f(value, value, value);  // the grid's corners go negative: GL clamps them to black
        glCallList(effects.unitQuad);
        glPopMatrix();
        continue;
      }
      Transform sprite = eye;
      sprite.Translate(x, y, z);
      sprite.Rotate(turn, 0.0, 0.0, 1.0);
      sprite.Translate(0.0, 0.0, -1.0);
      GLfloat spriteModelview[16];
      for (int k = 0; k < 16; ++k) spriteModelview[k] = static_cast<float>(sprite.m[k]);
      const int level = SpriteLevelBound(projection, spriteModelview, view.width, view.height, *outline);
      const auto& corners = outline->levels[static_cast<size_t>(level)];
      positions.clear();
      texCoords.clear();
      for (const auto& corner : corners) {
        positions.insert(positions.end(), {corner[0] * 2.0f - 1.0f, 1.0f - corner[1] * 2.0f, 0.0f});
        texCoords.insert(texCoords.end(), {corner[0], corner[1]});
      }
      Transform toClip = clip;
      toClip.Multiply(sprite);
      // The colour goes with the vertices. Set between draws, an unlit colour is a constant of
      // the fragment program, and a software driver stores its whole fragment state again for
      // every draw after such a change (some 20 KB a sprite, kept until the frame is done).
      batch.AddFan(toClip, positions.data(), texCoords.data(), corners.size(), value, value, value);
    }
  }
  if (outline) {
    batch.Draw();
    glColor3f(value, value, value);
    glTexCoord2f(0.0f, 0.0f);  // the unit quad's last texture coordinate, as drawing it would leave it
  }
  EndSprites();
}

void DrawSprite(const EffectsState& effects, float v, uint32_t texture) {
  BeginSprites(texture);
  glPushMatrix();
  glTranslatef(0.0f, 0.0f, -1.0f);
  glColor3f(v, v, v);  // the grid's corners go negative: GL clamps them to black
  glCallList(effects.unitQuad);
  glPopMatrix();
  EndSprites();
}

namespace {

void BeginSprites(uint32_t texture) {
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glEnable(GL_BLEND);
  glEnable(GL_ALPHA_TEST);
  glBlendFunc(GL_SRC_ALPHA, GL_SRC_ALPHA);
  glBindTexture(GL_TEXTURE_2D, texture);
}

void EndSprites() {
  glDisable(GL_BLEND);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glDisable(GL_LIGHT0);
  EnableTexturing();
  glShadeModel(GL_SMOOTH);
  glDepthMask(GL_TRUE);
}

}  // namespace
