// Where the effects put every star and sprite, and in which colour, against the formulas
// computed here from scratch in double precision. GL's feedback mode reports the window position
// and colour of markers that stand in for the star mesh (tiny triangles) and the sprite quad
// (points), so any changed constant, axis or transform order moves a marker.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <vector>

#include "show/effects.h"
#include "show/ob3.h"
#include "show/viewport.h"
#include "tests/show/gl_fixture.h"

// Mesa's software rasteriser keeps the feedback stage it builds for a context when the context
// goes; the leak checker of sanitizer builds is told to leave the driver's own blocks alone.
extern "C" const char* __lsan_default_suppressions() { return "leak:swrast_dri.so\n"; }

namespace {

// ---------------------------------------------------------------- reference matrices

struct M4 {
  double m[16];  // column order, element (r, c) at 4c + r
};

M4 Identity() {
  M4 r{};
  r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0;
  return r;
}

M4 Mul(const M4& a, const M4& b) {
  M4 r{};
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += a.m[4 * k + row] * b.m[4 * c + k];
      r.m[4 * c + row] = s;
    }
  return r;
}

M4 Translate(double x, double y, double z) {
  M4 r = Identity();
  r.m[12] = x, r.m[13] = y, r.m[14] = z;
  return r;
}

M4 Scale(double s) {
  M4 r = Identity();
  r.m[0] = r.m[5] = r.m[10] = s;
  return r;
}

// Rotation by degrees about an axis, turning counter-clockwise looking down the axis.
M4 Rotate(double degrees, double x, double y, double z) {
  const double len = std::sqrt(x * x + y * y + z * z);
  x /= len, y /= len, z /= len;
  const double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a), t = 1 - c;
  M4 r = Identity();
  r.m[0] = t * x * x + c, r.m[4] = t * x * y - s * z, r.m[8] = t * x * z + s * y;
  r.m[1] = t * x * y + s * z, r.m[5] = t * y * y + c, r.m[9] = t * y * z - s * x;
  r.m[2] = t * x * z - s * y, r.m[6] = t * y * z + s * x, r.m[10] = t * z * z + c;
  return r;
}

M4 Perspective(double fovy, double aspect, double zNear, double zFar) {
  const double f = 1.0 / std::tan(fovy * M_PI / 360.0);
  M4 r{};
  r.m[0] = f / aspect;
  r.m[5] = f;
  r.m[10] = (zFar + zNear) / (zNear - zFar);
  r.m[11] = -1;
  r.m[14] = 2 * zFar * zNear / (zNear - zFar);
  return r;
}

struct Seen {
  bool inside = false;
  bool nearEdge = false;  // too close to the clip volume's boundary to call
  double x = 0, y = 0;
};

Seen Project(const M4& m, double px, double py, double pz, int width, int height) {
  double c[4];
  for (int r = 0; r < 4; ++r) c[r] = m.m[r] * px + m.m[4 + r] * py + m.m[8 + r] * pz + m.m[12 + r];
  Seen s;
  const double margin = 1e-4 * std::fabs(c[3]);
  double worst = 1e30;
  for (int k = 0; k < 3; ++k) worst = std::fmin(worst, std::fmin(c[3] - c[k], c[3] + c[k]));
  s.inside = worst > 0;
  s.nearEdge = std::fabs(worst) <= margin;
  if (c[3] != 0) {
    s.x = (c[0] / c[3] + 1) * 0.5 * width;
    s.y = (c[1] / c[3] + 1) * 0.5 * height;
  }
  return s;
}

// ---------------------------------------------------------------- feedback

// One marker: which of a list's points, where it landed (absent when clipped) and its colour.
struct Mark {
  int point = -1;
  bool drawn = false;
  float x = 0, y = 0;
  float rgba[4] = {};
};

// Feedback of GL_3D_COLOR with an RGBA colour: x, y, z, r, g, b, a per vertex. Every pass-through
// token opens a new mark; a point token fills the last one. A polygon is a mark of its own,
// drawn, at its first corner, with no point index.
std::vector<Mark> ParseFeedback(const std::vector<GLfloat>& buffer, GLint count) {
  std::vector<Mark> marks;
  for (GLint i = 0; i < count;) {
    const GLint token = static_cast<GLint>(buffer[static_cast<size_t>(i++)]);
    if (token == GL_POLYGON_TOKEN) {
      const GLint corners = static_cast<GLint>(buffer[static_cast<size_t>(i++)]);
      const GLfloat* v = &buffer[static_cast<size_t>(i)];
      Mark m;
      m.drawn = true;
      m.x = v[0], m.y = v[1];
      for (int k = 0; k < 4; ++k) m.rgba[k] = v[3 + k];
      marks.push_back(m);
      i += corners * 7;
    } else if (token == GL_PASS_THROUGH_TOKEN) {
      Mark m;
      m.point = static_cast<int>(buffer[static_cast<size_t>(i++)]);
      marks.push_back(m);
    } else if (token == GL_POINT_TOKEN) {
      const GLfloat* v = &buffer[static_cast<size_t>(i)];
      if (!marks.empty()) {
        Mark& m = marks.back();
        m.drawn = true;
        m.x = v[0], m.y = v[1];
        for (int k = 0; k < 4; ++k) m.rgba[k] = v[3 + k];
      }
      i += 7;
    } else {
      ADD_FAILURE() << "unexpected feedback token " << token;
      break;
    }
  }
  return marks;
}

// A display list of marker points, each announced by a pass-through token with its index.
uint32_t MarkerList(const std::vector<std::array<float, 3>>& points) {
  const uint32_t list = glGenLists(1);
  glNewList(list, GL_COMPILE);
  for (size_t i = 0; i < points.size(); ++i) {
    glPassThrough(static_cast<GLfloat>(i));
    glBegin(GL_POINTS);
    glVertex3f(points[i][0], points[i][1], points[i][2]);
    glEnd();
  }
  glEndList();
  return list;
}

double EaseRef(double k, double period) {
  const double c = std::cos(k / period);
  return c > 0 ? 90.0 * (2.0 - std::pow(1.0 - c, 5)) : 90.0 * std::pow(1.0 + c, 5);
}

// The star marker: the mesh's origin and two points off it, so turns and scale show as well.
const std::vector<std::array<float, 3>> kStarPoints = {{0, 0, 0}, {200, 0, 0}, {0, 30, 200}};

// A mesh of one tiny triangle at each point (the star is drawn from arrays, where no
// pass-through token can go between its corners).
Ob3Mesh MarkerMesh(const std::vector<std::array<float, 3>>& points) {
  Ob3Mesh mesh;
  for (size_t i = 0; i < points.size(); ++i) {
    const auto& p = points[i];
    mesh.posedVertices.insert(mesh.posedVertices.end(), {p[0], p[1], p[2], p[0] + 0.01f, p[1], p[2], p[0], p[1] + 0.01f, p[2]});
    Ob3Face face;
    face.a = static_cast<int32_t>(i * 3);
    face.b = face.a + 1;
    face.c = face.a + 2;
    mesh.faces.push_back(face);
  }
  mesh.posedVertexNormals.assign(mesh.posedVertices.size(), 0.0f);
  CompileOb3(&mesh);
  return mesh;
}

// Triangle marks carry no point index: they are matched to the expected points in drawing
// order, a point left without one being off the view.
std::vector<Mark> InDrawingOrder(const std::vector<Mark>& seen, const std::vector<Seen>& want) {
  std::vector<Mark> marks(want.size());
  size_t k = 0;
  for (size_t i = 0; i < want.size() && k < seen.size(); ++i) {
    if (std::fabs(seen[k].x - want[i].x) < 0.5 && std::fabs(seen[k].y - want[i].y) < 0.5) marks[i] = seen[k++];
  }
  EXPECT_EQ(k, seen.size()) << "marks where no point was expected";
  return marks;
}
// The sprite marker: the quad's centre and a corner.
const std::vector<std::array<float, 3>> kSpritePoints = {{0, 0, 0}, {1, 1, 0}};

class EffectFormulas : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    ResizeViewport(kViewWidth, kViewHeight);  // aspect 1.5: the axes cannot be swapped unseen
    effects_.starMesh = MarkerMesh(kStarPoints);
    effects_.unitQuad = MarkerList(kSpritePoints);
    RegisterEffects(&effects_);
  }

  template <class Draw>
  std::vector<Mark> Feedback(Draw draw) {
    std::vector<GLfloat> buffer(60000);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint count = glRenderMode(GL_RENDER);
    EXPECT_GE(count, 0) << "feedback buffer too small";
    glMatrixMode(GL_MODELVIEW);
    return ParseFeedback(buffer, count);
  }

  // Compares marks with the reference points, one entry per marker point, in drawing order.
  void Compare(const std::vector<Mark>& marks, const std::vector<Seen>& want, const std::vector<std::array<double, 3>>& colours,
               const char* what) {
    ASSERT_EQ(marks.size(), want.size()) << what;
    int drawn = 0;
    for (size_t i = 0; i < marks.size(); ++i) {
      if (want[i].nearEdge) continue;
      ASSERT_EQ(marks[i].drawn, want[i].inside) << what << " mark " << i;
      if (!marks[i].drawn) continue;
      ++drawn;
      EXPECT_NEAR(marks[i].x, want[i].x, 0.02) << what << " mark " << i;
      EXPECT_NEAR(marks[i].y, want[i].y, 0.02) << what << " mark " << i;
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(marks[i].rgba[k], colours[i][k], 1e-5) << what << " mark " << i;
    }
    EXPECT_GT(drawn, 20) << what << ": too few marks on screen to tell anything";
  }

  static constexpr int kViewWidth = 96, kViewHeight = 64;
  EffectsState effects_;
};

}  // namespace

TEST_F(EffectFormulas, RingStarsStandWhereTheRingFormulasPutThem) {
  struct Case {
    bool wobble;
    double a, b, fov;
  } cases[] = {{true, 1234.5, 56789.25, 80.0}, {false, 100.0, 0.0, 90.0}, {true, 77.0, 3000.0, 100.0}};
  for (const Case& c : cases) {
    std::vector<Mark> marks = Feedback([&] { RingTunnel(effects_, c.wobble, c.a, c.b, c.fov, 0); });

    M4 base = Perspective(c.fov, static_cast<double>(kViewWidth) / kViewHeight, 1.0, 10000.0);
    if (c.wobble) {
      const double k = std::trunc(c.b);
      base = Mul(base, Rotate(EaseRef(k, 2033.0), 1, 0, 0));
      base = Mul(base, Rotate(EaseRef(k, 3193.0), 0, 1, 0));
      base = Mul(base, Rotate(EaseRef(k, 4693.0), 0, 0, 1));
      base = Mul(base, Translate(EaseRef(k, 1845.5) * 10, EaseRef(k, 1545.0) * 10, 0));
    }
    const float bFloat = static_cast<float>(c.b * 0.01);
    const double B = bFloat;
    base = Mul(base, Translate(0, 0, B * 600 + 36000));
    std::vector<Seen> want;
    std::vector<std::array<double, 3>> colours;
    for (int n = static_cast<int>(bFloat); static_cast<float>(n) < bFloat + 120.0f; ++n) {
      const M4 ring = Mul(base, Translate(0, 0, -600.0 * n));
      for (int j = 0; j < 4; ++j) {
        const double T = n * 0.4291845493562232 + j, r = (2000.0 - 250.0 * j + 3000.0) * 0.5;
        const double t1 = T * 3.142458100558659, t2 = T * 0.7856145251396648;
        M4 m = Mul(ring, Translate(r * (0.5 * std::cos(t1) + std::cos(t2)), r * (0.5 * std::sin(t1) + std::sin(t2)), 100.0 * j));
        m = Mul(m, Rotate(T * 45, 0, 0, 1));
        m = Mul(m, Rotate(90, 0, 1, 0));
        const double U = n * 2.33 + j;
        m = Mul(m, Rotate(U * 360 + c.a * 0.1, 0, 0, 1));
        m = Mul(m, Rotate(U * 230 + c.a * 0.03333333333333333, 4, 5, 7));
        const double s1 = std::sin(j * 6.8345 + n * 2.235);
        m = Mul(m, Scale(std::trunc(s1 * 20000 + 45536) / 65536));
        const std::array<double, 3> colour = {std::trunc(s1 * 5000 + 60536) / 65536,
                                              std::trunc(std::sin(j * 7.8345 + n * 3.235) * 5000 + 60536) / 65536,
                                              std::trunc(std::sin(j * 8.8345 + n * 4.235) * 5000 + 60536) / 65536};
        for (const auto& p : kStarPoints) {
          want.push_back(Project(m, p[0], p[1], p[2], kViewWidth, kViewHeight));
          colours.push_back(colour);
        }
      }
    }
    Compare(InDrawingOrder(marks, want), want, colours, c.wobble ? "wobbling rings" : "straight rings");
  }
}

TEST_F(EffectFormulas, SpritesFollowTheGridFormulasAndTheCornersGoBlack) {
  for (double t : {0.0, 1234.0, 7777.5}) {
    std::vector<Mark> marks = Feedback([&] { SpriteField(effects_, t, 0); });

    const M4 projection = Perspective(90.0, static_cast<double>(kViewWidth) / kViewHeight, 1.0, 10000.0);
    M4 field = Rotate(std::cos(t * 0.0002849002849002849) * 40, 1, 0, 0);
    field = Mul(field, Rotate(std::cos(t * 0.00035587188612099647) * 40, 0, 1, 0));
    field = Mul(field, Rotate(t * 0.03333333333333333, 0, 0, 1));
    field = Mul(field, Translate(std::sin(t * 0.00018777579569993427) * 3, std::cos(t * 0.0002795951462282615) * 3, 0));
    const double sc = static_cast<float>(0.9 + 0.7 * std::sin(t * 0.0005795421616922632));
    const double opening = std::fmin(1.0, std::fmax(0.0, 5 * std::cos(t * 0.00042625745950554135)));
    const double spin = static_cast<float>(180 * opening);
    const double k1 = t * 0.0049382716049382715, k2 = t * 0.0039016777214202106, k3 = t * 0.008103727714748784;
    std::vector<Seen> want;
    std::vector<std::array<double, 3>> colours;
    int black = 0;
    for (int i = 0; i < 16; ++i) {
      const double X = i - 7.5, si = std::sin(k3 + i);
      for (int j = 0; j < 16; ++j) {
        const double Y = j - 7.5;
        double phi = std::atan(X / Y);
        if (Y <= 0) phi += static_cast<double>(3.1415927f);
        const double d = std::sqrt(X * X + Y * Y);
        M4 m = Mul(field, Translate(Y * sc * 1.8, X * sc * 1.5, 2.5 * std::sin(k1 - d * 0.6666666666666666) + std::cos(j - k2) + si - 5.0));
        m = Mul(m, Rotate(phi * 57.29577950560105 + spin + 90, 0, 0, 1));
        m = Mul(m, Translate(0, 0, -1));
        // Brightness 1 - d / 8; beyond d = 8 (the grid's corners) GL clamps it to black.
        const double v = std::fmax(0.0, static_cast<float>(1.0 - d * 0.125));
        black += v == 0.0;
        for (const auto& p : kSpritePoints) {
          want.push_back(Project(Mul(projection, m), p[0], p[1], p[2], kViewWidth, kViewHeight));
          colours.push_back({v, v, v});
        }
      }
    }
    ASSERT_GT(black, 0);
    Compare(marks, want, colours, "sprite field");
  }
}

TEST(EffectPlans, Droid2TakesTwoRandomValuesAFrameSecondAsTimeFirstAsSpeed) {
  EffectsState effects;
  RegisterEffects(&effects);
  PartEntry entry;
  entry.name = "droid2";
  entry.isEffect = 1;
  entry.fieldOfView = 70;
  EffectRandom sequence;
  for (int frame = 0; frame < 3; ++frame) {
    const int32_t first = sequence.Next(), second = sequence.Next();
    EffectCall call = PlanEffect(&effects, {}, entry, static_cast<float>(frame));
    EXPECT_EQ(call.a, second);
    EXPECT_EQ(call.b, first);
    EXPECT_EQ(call.fieldOfView, 70.0);
  }
  // Ring and sprite effects take their time from the entry; nothing random.
  entry.name = "droid1";
  entry.speed = 250;
  entry.startFrame = 12;
  EffectCall ring = PlanEffect(&effects, {}, entry, 3.5f);
  EXPECT_EQ(ring.a, 15.5f * 33.333332f);
  EXPECT_EQ(ring.b, 250.0f * 15.5f * 0.033333335f);
  entry.name = "droid3";
  EffectCall sprites = PlanEffect(&effects, {}, entry, 3.5f);
  EXPECT_EQ(sprites.t, static_cast<double>(15.5f * 250.0f * 0.033333335f));
  EXPECT_EQ(effects.random.Next(), sequence.Next()) << "only droid2 draws random values";
}

TEST_F(EffectFormulas, RunEffectHandsEachEffectItsOwnArguments) {
  auto same = [](const std::vector<Mark>& a, const std::vector<Mark>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (a[i].point != b[i].point || a[i].drawn != b[i].drawn || a[i].x != b[i].x || a[i].y != b[i].y) return false;
      for (int k = 0; k < 4; ++k)
        if (a[i].rgba[k] != b[i].rgba[k]) return false;
    }
    return true;
  };
  PartEntry entry;
  entry.isEffect = 1;
  entry.speed = 250;
  entry.startFrame = 12;
  entry.fieldOfView = 70;
  const float x = 15.5f;  // start frame + part frames
  const double a = x * 33.333332f, b = 250.0f * x * 0.033333335f;

  entry.name = "droid1";
  std::vector<Mark> run = Feedback([&] { RunEffect(&effects_, {}, entry, 3.5f); });
  EXPECT_TRUE(same(run, Feedback([&] { RingTunnel(effects_, true, a, b, 70.0, 0); })));
  EXPECT_FALSE(same(run, Feedback([&] { RingTunnel(effects_, true, b, a, 70.0, 0); })));

  entry.name = "tunnel";
  run = Feedback([&] { RunEffect(&effects_, {}, entry, 3.5f); });
  EXPECT_TRUE(same(run, Feedback([&] { RingTunnel(effects_, false, a, b, 70.0, 0); })));

  entry.name = "droid2";
  EffectRandom sequence;
  const int32_t r1 = sequence.Next(), r2 = sequence.Next();
  run = Feedback([&] { RunEffect(&effects_, {}, entry, 3.5f); });
  EXPECT_TRUE(same(run, Feedback([&] { RingTunnel(effects_, true, r2, r1, 70.0, 0); })));
  EXPECT_FALSE(same(run, Feedback([&] { RingTunnel(effects_, true, r1, r2, 70.0, 0); })));

  entry.name = "droid3";
  run = Feedback([&] { RunEffect(&effects_, {}, entry, 3.5f); });
  EXPECT_TRUE(same(run, Feedback([&] { SpriteField(effects_, static_cast<double>(x * 250.0f * 0.033333335f), 0); })));
}
