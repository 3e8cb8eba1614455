#include "anim/vecmath.h"

#include <cmath>

Vector3 Cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

Matrix4 Matrix4::Identity() {
  Matrix4 r{};
  r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0f;
  return r;
}

Matrix4 Matrix4::RotationZ(float a) {
  Matrix4 r = Identity();
  float c = std::cos(a), s = std::sin(a);
  r.m[0] = c;
  r.m[1] = s;
  r.m[4] = -s;
  r.m[5] = c;
  return r;
}

Vector3 Matrix4::TransformPoint(const Vector3& p) const {
  return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
          m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

float HermiteSegment(float p0, float t0, float p1, float t1, float s) {
  float s2 = s * s, s3 = s2 * s;
  float h1 = 2.0f * s3 - 3.0f * s2 + 1.0f;
  float h2 = 3.0f * s2 - 2.0f * s3;
  float h3 = s3 - 2.0f * s2 + s;
  float h4 = s3 - s2;
  return h1 * p0 + h2 * p1 + h3 * t0 + h4 * t1;
}

Vector3 HermiteSegment(const Vector3& p0, const Vector3& t0, const Vector3& p1, const Vector3& t1, float s) {
  return {HermiteSegment(p0.x, t0.x, p1.x, t1.x, s), HermiteSegment(p0.y, t0.y, p1.y, t1.y, s),
          HermiteSegment(p0.z, t0.z, p1.z, t1.z, s)};
}

Quaternion Slerp(const Quaternion& qa, const Quaternion& qb, float u) {
  float d = qa.w * qb.w + qa.x * qb.x + qa.y * qb.y + qa.z * qb.z;
  if (d > 1.0f) {
    d = 1.0f;
  } else if (d < -1.0f) {
    d = -1.0f;
  }
  float theta = std::acos(d);
  float sinTheta = std::sin(theta);
  // Equal or opposite quaternions: the great circle is not defined by the pair.
  if (!(std::fabs(sinTheta) > 1e-6f)) return qa;
  float k = 1.0f / sinTheta;
  float wa = k * std::sin((1.0f - u) * theta);
  float wb = k * std::sin(u * theta);
  return {wa * qa.w + wb * qb.w, wa * qa.x + wb * qb.x, wa * qa.y + wb * qb.y, wa * qa.z + wb * qb.z};
}
