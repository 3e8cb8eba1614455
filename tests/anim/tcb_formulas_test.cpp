// The tangent and control formulas of the keyframe tracks, computed here independently in double
// precision for keys with uneven gaps and non-zero tension, continuity and bias (continuity and
// bias different), so that a textbook TCB variant of any term shows.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "anim/tracks.h"
#include "anim/vecmath.h"
namespace {

struct KeySpec {
  int32_t frame;
  double value;
  double t, c, b;
};

// Five keys, gaps 7, 18, 6, 19; every key with its own tension, continuity and bias.
const std::vector<KeySpec> kKeys = {
    {0, 0.0, 0.15, 0.3, -0.2},   {7, 3.0, 0.2, 0.4, -0.3},  {25, -2.0, -0.1, -0.5, 0.25},
    {31, 5.0, 0.3, 0.1, 0.6},    {50, 1.0, -0.2, -0.35, 0.45},
};

struct Tangents {
  std::vector<double> in, out;
};

// The design's tangents: the incoming tangent carries (1 + b)(1 - b) on both differences and
// continuity only through adjIn; end keys use 1.5 x chord - 0.5 x the neighbour's tangent; the
// morph track scales its outgoing tangent by adjIn.
Tangents ReferenceTangents(const std::vector<KeySpec>& k, bool morph) {
  const size_t n = k.size();
  Tangents r{std::vector<double>(n, 0.0), std::vector<double>(n, 0.0)};
  for (size_t i = 1; i + 1 < n; ++i) {
    const double np = k[i].frame - k[i - 1].frame, nn = k[i + 1].frame - k[i].frame;
    const double adjIn = (1 - std::fabs(k[i].c)) * (np / (np + nn) - 0.5) + 0.5;
    const double adjOut = (1 - std::fabs(k[i].c)) * (nn / (np + nn) - 0.5) + 0.5;
    const double dp = k[i].value - k[i - 1].value, dn = k[i + 1].value - k[i].value;
    const double t = k[i].t, c = k[i].c, b = k[i].b;
    r.in[i] = adjIn * (1 - t) * (1 + b) * (1 - b) * (dp + dn);
    r.out[i] = (morph ? adjIn : adjOut) * (1 - t) * ((1 + c) * (1 + b) * dp + (1 - c) * (1 - b) * dn);
  }
  r.out[0] = (1 - k[0].t) * (1.5 * (k[1].value - k[0].value) - 0.5 * r.in[1]);
  r.in[n - 1] = (1 - k[n - 1].t) * (1.5 * (k[n - 1].value - k[n - 2].value) - 0.5 * r.out[n - 2]);
  return r;
}

double Hermite(double p0, double t0, double p1, double t1, double s) {
  const double s2 = s * s, s3 = s2 * s;
  return (2 * s3 - 3 * s2 + 1) * p0 + (3 * s2 - 2 * s3) * p1 + (s3 - 2 * s2 + s) * t0 + (s3 - s2) * t1;
}

template <class Key>
void SetHeader(Key* key, const KeySpec& spec) {
  key->frame = spec.frame;
  key->tension = static_cast<float>(spec.t);
  key->continuity = static_cast<float>(spec.c);
  key->bias = static_cast<float>(spec.b);
}

void ExpectClose(double got, double want, const char* what, size_t key) {
  EXPECT_NEAR(got, want, 1e-5 * (1.0 + std::fabs(want))) << what << " of key " << key;
}

// ---------------------------------------------------------------- rotations

struct Quat {
  double w, x, y, z;
};

Quat Ref(const Quaternion& q) { return {q.w, q.x, q.y, q.z}; }

Quat SlerpRef(const Quat& a, const Quat& b, double u) {
  double d = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
  d = std::fmin(1.0, std::fmax(-1.0, d));
  const double theta = std::acos(d), k = 1.0 / std::sin(theta);
  const double wa = k * std::sin((1 - u) * theta), wb = k * std::sin(u * theta);
  return {wa * a.w + wb * b.w, wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z};
}

Quat AxisAngle(double x, double y, double z, double angle) {
  const double len = std::sqrt(x * x + y * y + z * z), s = std::sin(angle / 2) / len;
  return {std::cos(angle / 2), x * s, y * s, z * s};
}

void ExpectQuat(const Quaternion& got, const Quat& want, const char* what, size_t key) {
  EXPECT_NEAR(got.w, want.w, 2e-5) << what << " of key " << key;
  EXPECT_NEAR(got.x, want.x, 2e-5) << what << " of key " << key;
  EXPECT_NEAR(got.y, want.y, 2e-5) << what << " of key " << key;
  EXPECT_NEAR(got.z, want.z, 2e-5) << what << " of key " << key;
}

}  // namespace

TEST(TcbFormulas, ScalarAndVectorTangentsAndTheCurveBetweenThem) {
  ScalarTrack scalar;
  VectorTrack vector;
  for (const KeySpec& spec : kKeys) {
    ScalarKey s;
    SetHeader(&s, spec);
    s.value = static_cast<float>(spec.value);
    scalar.keys.push_back(s);
    VectorKey v;
    SetHeader(&v, spec);
    // y runs the same keys backwards in value; z is twice x.
    v.value = Vector3(static_cast<float>(spec.value), static_cast<float>(-spec.value), static_cast<float>(2 * spec.value));
    vector.keys.push_back(v);
  }
  scalar.Prepare();
  vector.Prepare();
  const Tangents want = ReferenceTangents(kKeys, false);
  for (size_t i = 0; i < kKeys.size(); ++i) {
    if (i > 0) ExpectClose(scalar.keys[i].in, want.in[i], "incoming tangent", i);
    if (i + 1 < kKeys.size()) ExpectClose(scalar.keys[i].out, want.out[i], "outgoing tangent", i);
    if (i > 0) {
      ExpectClose(vector.keys[i].in.x, want.in[i], "incoming x", i);
      ExpectClose(vector.keys[i].in.y, -want.in[i], "incoming y", i);
      ExpectClose(vector.keys[i].in.z, 2 * want.in[i], "incoming z", i);
    }
    if (i + 1 < kKeys.size()) {
      ExpectClose(vector.keys[i].out.x, want.out[i], "outgoing x", i);
      ExpectClose(vector.keys[i].out.y, -want.out[i], "outgoing y", i);
      ExpectClose(vector.keys[i].out.z, 2 * want.out[i], "outgoing z", i);
    }
  }
  // The curve between keys: each segment's Hermite polynomial with the segment's own tangents
  // (before the first key, the first segment's polynomial runs backwards).
  for (double f : {-3.0, 2.5, 7.0, 11.0, 24.9, 28.0, 40.0, 49.5, 60.0}) {
    size_t i = 0;
    while (i + 1 < kKeys.size() && kKeys[i + 1].frame <= f) ++i;
    double expected = kKeys.back().value;
    if (i + 1 < kKeys.size()) {
      const double s = (f - kKeys[i].frame) / (kKeys[i + 1].frame - kKeys[i].frame);
      expected = Hermite(kKeys[i].value, want.out[i], kKeys[i + 1].value, want.in[i + 1], s);
    }
    EXPECT_NEAR(scalar.Evaluate(static_cast<float>(f)), expected, 1e-4) << "at frame " << f;
    EXPECT_NEAR(vector.Evaluate(static_cast<float>(f)).z, 2 * expected, 2e-4) << "at frame " << f;
  }
}

TEST(TcbFormulas, MorphTangentsScaleTheOutgoingSideByAdjIn) {
  MorphTrack morph;
  for (const KeySpec& spec : kKeys) {
    MorphKey k;
    SetHeader(&k, spec);
    k.value = {Vector3(static_cast<float>(spec.value), 1.0f, static_cast<float>(-3 * spec.value))};
    k.in = k.out = {Vector3()};
    morph.keys.push_back(k);
  }
  morph.Prepare();
  const Tangents want = ReferenceTangents(kKeys, true);
  for (size_t i = 0; i < kKeys.size(); ++i) {
    if (i > 0) ExpectClose(morph.keys[i].in[0].x, want.in[i], "incoming tangent", i);
    if (i + 1 < kKeys.size()) {
      ExpectClose(morph.keys[i].out[0].x, want.out[i], "outgoing tangent", i);
      ExpectClose(morph.keys[i].out[0].z, -3 * want.out[i], "outgoing z", i);
    }
    EXPECT_EQ(morph.keys[i].out[0].y, 0.0f);  // a constant coordinate has no slope
  }
}

TEST(TcbFormulas, RotationControlsWithBiasContinuityTermsAndUnevenGaps) {
  const std::vector<Quat> values = {AxisAngle(0, 0, 1, 0.0), AxisAngle(1, 2, 3, 0.5), AxisAngle(0, 1, 0.5, 0.9),
                                    AxisAngle(-1, 0.5, 2, 0.4), AxisAngle(2, -1, 1, 1.1)};
  RotationTrack track;
  for (size_t i = 0; i < kKeys.size(); ++i) {
    RotationKey k;
    SetHeader(&k, kKeys[i]);
    k.value = Quaternion(static_cast<float>(values[i].w), static_cast<float>(values[i].x),
                         static_cast<float>(values[i].y), static_cast<float>(values[i].z));
    track.keys.push_back(k);
  }
  track.Prepare();

  const double third = static_cast<double>(kOneThird);
  const size_t n = kKeys.size();
  std::vector<Quat> q(n);
  for (size_t i = 0; i < n; ++i) q[i] = Ref(track.keys[i].value);
  // First and last key: the (1 + b c) and (1 - b c) factors.
  const KeySpec& k0 = kKeys[0];
  ExpectQuat(track.keys[0].out, SlerpRef(q[0], q[1], (1 + k0.b * k0.c) * (1 - k0.t) * third), "outgoing control", 0);
  const KeySpec& kl = kKeys[n - 1];
  ExpectQuat(track.keys[n - 1].in, SlerpRef(q[n - 1], q[n - 2], (1 - kl.b * kl.c) * (1 - kl.t) * third),
             "incoming control", n - 1);
  // Inner keys: the incoming control takes (1 + c) / 2 of the way from X1 to X2 and adjIn; the
  // outgoing one (1 - c) / 2 and adjOut.
  for (size_t i = 1; i + 1 < n; ++i) {
    const KeySpec& k = kKeys[i];
    const double np = k.frame - kKeys[i - 1].frame, nn = kKeys[i + 1].frame - k.frame;
    const double adjIn = (1 - std::fabs(k.c)) * (np / (np + nn) - 0.5) + 0.5;
    const double adjOut = (1 - std::fabs(k.c)) * (nn / (np + nn) - 0.5) + 0.5;
    const Quat x1 = SlerpRef(q[i], q[i - 1], -(1 + k.b) * third);
    const Quat x2 = SlerpRef(q[i], q[i + 1], (1 - k.b) * third);
    ExpectQuat(track.keys[i].in, SlerpRef(q[i], SlerpRef(x1, x2, (1 + k.c) * 0.5), -2 * adjIn * (1 - k.t)),
               "incoming control", i);
    ExpectQuat(track.keys[i].out, SlerpRef(q[i], SlerpRef(x1, x2, 0.5 - 0.5 * k.c), 2 * adjOut * (1 - k.t)),
               "outgoing control", i);
  }
  // A segment is the spherical Bezier through value, outgoing control, incoming control, value.
  const double f = 16.0, s = (f - kKeys[1].frame) / (kKeys[2].frame - kKeys[1].frame);
  const Quat b1 = Ref(track.keys[1].out), a2 = Ref(track.keys[2].in);
  const Quat l1 = SlerpRef(q[1], b1, s), l2 = SlerpRef(b1, a2, s), l3 = SlerpRef(a2, q[2], s);
  ExpectQuat(track.Evaluate(static_cast<float>(f)), SlerpRef(SlerpRef(l1, l2, s), SlerpRef(l2, l3, s), s), "curve",
             1);
}
