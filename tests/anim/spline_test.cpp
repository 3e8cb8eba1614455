// Interpolation maths: Hermite segments, TCB tangents, Slerp and rotation controls.
#include <gtest/gtest.h>

#include <cmath>

#include "anim/tracks.h"
#include "anim/vecmath.h"
namespace {

ScalarTrack Scalars(std::initializer_list<std::pair<int32_t, float>> keys) {
  ScalarTrack t;
  for (auto [frame, value] : keys) {
    ScalarKey k;
    k.frame = frame;
    k.value = value;
    t.keys.push_back(k);
  }
  return t;
}

float Dot(const Quaternion& a, const Quaternion& b) { return a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z; }

void ExpectQuatNear(const Quaternion& a, const Quaternion& b, float eps = 1e-5f) {
  EXPECT_NEAR(a.w, b.w, eps);
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

}  // namespace

TEST(Hermite, EndPointsIgnoreTangentsAndWeightsSumToOne) {
  EXPECT_FLOAT_EQ(HermiteSegment(3.0f, 100.0f, -7.0f, -50.0f, 0.0f), 3.0f);
  EXPECT_FLOAT_EQ(HermiteSegment(3.0f, 100.0f, -7.0f, -50.0f, 1.0f), -7.0f);
  Vector3 v = HermiteSegment(Vector3(1, 2, 3), Vector3(9, 9, 9), Vector3(4, 5, 6), Vector3(-9, 0, 9), 1.0f);
  EXPECT_EQ(v, Vector3(4, 5, 6));
  // Equal end values and zero tangents: constant.
  EXPECT_FLOAT_EQ(HermiteSegment(2.5f, 0.0f, 2.5f, 0.0f, 0.37f), 2.5f);
}

TEST(Tangents, TwoKeysGiveTheChordAndExtrapolateBeforeTheFirstKey) {
  ScalarTrack t = Scalars({{0, 0.0f}, {10, 10.0f}});
  t.Prepare();
  EXPECT_FLOAT_EQ(t.keys[0].out, 10.0f);
  EXPECT_FLOAT_EQ(t.keys[1].in, 10.0f);
  EXPECT_FLOAT_EQ(t.Evaluate(5.0f), 5.0f);
  EXPECT_FLOAT_EQ(t.Evaluate(10.0f), 10.0f);
  EXPECT_FLOAT_EQ(t.Evaluate(99.0f), 10.0f);
  // Before key 0 the first segment's polynomial runs backwards (s = -0.5), no clamping.
  EXPECT_FLOAT_EQ(t.Evaluate(-5.0f), -5.0f);
}

TEST(Tangents, EvenlySpacedThreeKeysFormAStraightLine) {
  ScalarTrack t = Scalars({{0, 0.0f}, {10, 10.0f}, {20, 20.0f}});
  t.Prepare();
  EXPECT_FLOAT_EQ(t.keys[1].in, 10.0f);
  EXPECT_FLOAT_EQ(t.keys[1].out, 10.0f);
  EXPECT_FLOAT_EQ(t.keys[0].out, 10.0f);  // 1.5 * 10 - 0.5 * 10
  EXPECT_FLOAT_EQ(t.keys[2].in, 10.0f);
  for (float f : {2.5f, 7.0f, 13.0f, 19.5f}) EXPECT_NEAR(t.Evaluate(f), f, 1e-4f);
}

TEST(Tangents, TensionOneZeroesTheKeysTangents) {
  ScalarTrack t = Scalars({{0, 0.0f}, {10, 10.0f}, {20, 30.0f}});
  t.keys[0].tension = 1.0f;
  t.keys[1].tension = 1.0f;
  t.keys[2].tension = 1.0f;
  t.Prepare();
  EXPECT_FLOAT_EQ(t.keys[1].in, 0.0f);
  EXPECT_FLOAT_EQ(t.keys[1].out, 0.0f);
  EXPECT_FLOAT_EQ(t.keys[0].out, 0.0f);
  EXPECT_FLOAT_EQ(t.keys[2].in, 0.0f);
}

TEST(Tangents, UnevenGapsSplitByShareAndFullContinuityEvensThem) {
  float in, out;
  GapAdjustments(10, 30, 0.0f, &in, &out);  // frames 0, 10, 40
  EXPECT_FLOAT_EQ(in, 0.25f);
  EXPECT_FLOAT_EQ(out, 0.75f);
  GapAdjustments(10, 30, 1.0f, &in, &out);
  EXPECT_FLOAT_EQ(in, 0.5f);
  EXPECT_FLOAT_EQ(out, 0.5f);
  GapAdjustments(10, 30, -1.0f, &in, &out);
  EXPECT_FLOAT_EQ(in, 0.5f);
  EXPECT_FLOAT_EQ(out, 0.5f);
  // Two keys on the frame of their neighbour on both sides: half each, no 0/0.
  GapAdjustments(0, 0, 0.0f, &in, &out);
  EXPECT_FLOAT_EQ(in, 0.5f);
  EXPECT_FLOAT_EQ(out, 0.5f);

  ScalarTrack t = Scalars({{0, 0.0f}, {10, 10.0f}, {40, 20.0f}});
  t.Prepare();
  EXPECT_FLOAT_EQ(t.keys[1].in, 0.25f * 20.0f);
  EXPECT_FLOAT_EQ(t.keys[1].out, 0.75f * 20.0f);
}

TEST(Tangents, IncomingTangentKeepsBiasPairAndContinuityOnlyThroughAdjIn) {
  // Design quirk: the incoming tangent uses (1 + b)(1 - b) on both differences.
  ScalarTrack t = Scalars({{0, 0.0f}, {10, 10.0f}, {20, 30.0f}});
  t.keys[1].continuity = 0.5f;
  t.keys[1].bias = 0.5f;
  t.Prepare();
  // adjIn = adjOut = 0.5 for even gaps.
  EXPECT_FLOAT_EQ(t.keys[1].in, 0.5f * 1.5f * 0.5f * (10.0f + 20.0f));
  EXPECT_FLOAT_EQ(t.keys[1].out, 0.5f * (1.5f * 1.5f * 10.0f + 0.5f * 0.5f * 20.0f));
}

TEST(Tangents, MorphOutgoingTangentUsesAdjIn) {
  // Design quirk: the morph track scales its outgoing tangent by the preceding gap's share.
  MorphTrack m;
  VectorTrack v;
  const int32_t frames[3] = {0, 10, 40};
  const float values[3] = {0.0f, 10.0f, 20.0f};
  for (int i = 0; i < 3; ++i) {
    MorphKey mk;
    mk.frame = frames[i];
    mk.value = {Vector3(values[i], 0, 0)};
    mk.in = mk.out = {Vector3()};
    m.keys.push_back(mk);
    VectorKey vk;
    vk.frame = frames[i];
    vk.value = Vector3(values[i], 0, 0);
    v.keys.push_back(vk);
  }
  m.Prepare();
  v.Prepare();
  EXPECT_FLOAT_EQ(v.keys[1].out.x, 0.75f * 20.0f);
  EXPECT_FLOAT_EQ(m.keys[1].out[0].x, 0.25f * 20.0f);
  EXPECT_FLOAT_EQ(m.keys[1].in[0].x, v.keys[1].in.x);
}

TEST(Slerp, EndsLongerArcAndDegenerateCases) {
  Quaternion a(1, 0, 0, 0);
  Quaternion b(std::cos(0.6f), std::sin(0.6f), 0, 0);
  ExpectQuatNear(Slerp(a, b, 0.0f), a);
  ExpectQuatNear(Slerp(a, b, 1.0f), b);
  Quaternion mid = Slerp(a, b, 0.5f);
  ExpectQuatNear(mid, Quaternion(std::cos(0.3f), std::sin(0.3f), 0, 0));

  // No shortest-arc flip: with d < 0 the midpoint lies between qa and qb themselves.
  Quaternion c(-0.6f, 0.8f, 0, 0);
  Quaternion m2 = Slerp(a, c, 0.5f);
  EXPECT_GT(m2.x, 0.0f);
  EXPECT_GT(m2.w, 0.0f);

  // sin(theta) = 0: equal and opposite quaternions give qa, never a non-number.
  Quaternion same = Slerp(b, b, 0.3f);
  ExpectQuatNear(same, b);
  Quaternion opposite = Slerp(a, Quaternion(-1, 0, 0, 0), 0.5f);
  EXPECT_TRUE(std::isfinite(opposite.w) && std::isfinite(opposite.x));
  ExpectQuatNear(opposite, a);
}

TEST(RotationControls, TwoKeysPlaceControlsAtThirds) {
  RotationTrack t;
  RotationKey k0, k1;
  k0.frame = 0;
  k0.value = Quaternion(1, 0, 0, 0);
  k1.frame = 30;
  k1.value = Quaternion(std::cos(0.9f), 0, 0, std::sin(0.9f));
  t.keys = {k0, k1};
  t.Prepare();
  ExpectQuatNear(t.keys[0].out, Quaternion(std::cos(0.3f), 0, 0, std::sin(0.3f)));
  ExpectQuatNear(t.keys[1].in, Quaternion(std::cos(0.6f), 0, 0, std::sin(0.6f)));
  // A segment of a curve whose controls sit evenly on one great circle stays on it.
  Quaternion q = t.Evaluate(15.0f);
  EXPECT_NEAR(Dot(q, q), 1.0f, 1e-4f);
  EXPECT_NEAR(std::atan2(q.z, q.w), 0.45f, 1e-3f);
  ExpectQuatNear(t.Evaluate(30.0f), k1.value);
  ExpectQuatNear(t.Evaluate(0.0f), k0.value);
}

TEST(RotationControls, ThreeKeysOnOneAxisGiveFiniteSmoothCurve) {
  RotationTrack t;
  for (int i = 0; i < 3; ++i) {
    RotationKey k;
    k.frame = i * 10;
    k.value = Quaternion(std::cos(0.2f * i), std::sin(0.2f * i), 0, 0);
    t.keys.push_back(k);
  }
  t.Prepare();
  for (float f = -5.0f; f <= 25.0f; f += 2.5f) {
    Quaternion q = t.Evaluate(f);
    EXPECT_TRUE(std::isfinite(q.w) && std::isfinite(q.x)) << f;
    EXPECT_NEAR(q.y, 0.0f, 1e-6f);
  }
  // Evenly spread keys about one axis: the curve passes at constant speed.
  Quaternion q = t.Evaluate(5.0f);
  EXPECT_NEAR(std::atan2(q.x, q.w), 0.1f, 1e-3f);
}

TEST(Matrix4, RotationZTurnsXTowardsY) {
  Matrix4 r = Matrix4::RotationZ(static_cast<float>(M_PI / 2));
  Vector3 p = r.TransformPoint(Vector3(1, 0, 0));
  EXPECT_NEAR(p.x, 0.0f, 1e-6f);
  EXPECT_NEAR(p.y, 1.0f, 1e-6f);
  Matrix4 id = Matrix4::Identity();
  EXPECT_EQ(id.TransformPoint(Vector3(3, 4, 5)), Vector3(3, 4, 5));
}
