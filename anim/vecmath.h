// Small value types shared by the animation and scene code: Vector3, Quaternion (stored
// w, x, y, z), Matrix4 (sixteen floats in OpenGL column order, element (row r, column c) at
// index 4c + r), the cubic Hermite segment and Slerp.
//
//   Vector3 p = HermiteSegment(p0, t0, p1, t1, 0.5f);
//   Quaternion q = Slerp(qa, qb, u);            // no shortest-arc flip, no renormalising
//   Vector3 up = Matrix4::RotationZ(r).TransformPoint(up0);
#pragma once

struct Vector3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;
  Vector3() = default;
  Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  Vector3 operator+(const Vector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vector3 operator-(const Vector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vector3 operator*(float k) const { return {x * k, y * k, z * k}; }
  bool operator==(const Vector3& o) const { return x == o.x && y == o.y && z == o.z; }
};

Vector3 Cross(const Vector3& a, const Vector3& b);
float Length(const Vector3& v);

struct Quaternion {
  float w = 0.0f, x = 0.0f, y = 0.0f, z = 0.0f;
  Quaternion() = default;
  Quaternion(float w_, float x_, float y_, float z_) : w(w_), x(x_), y(y_), z(z_) {}
  static Quaternion Identity() { return {1.0f, 0.0f, 0.0f, 0.0f}; }
  bool operator==(const Quaternion& o) const { return w == o.w && x == o.x && y == o.y && z == o.z; }
};

struct Matrix4 {
  float m[16];
  static Matrix4 Identity();
  // Rotation about the z axis by a radians.
  static Matrix4 RotationZ(float a);
  // M times the column (x, y, z, 1), without the division by w.
  Vector3 TransformPoint(const Vector3& p) const;
};

// h1 P0 + h2 P1 + h3 T0 + h4 T1 with the cubic Hermite weights at s.
float HermiteSegment(float p0, float t0, float p1, float t1, float s);
Vector3 HermiteSegment(const Vector3& p0, const Vector3& t0, const Vector3& p1, const Vector3& t1, float s);

// Spherical interpolation along the great circle through qa and qb. When sin(theta) is zero or
// nearly so (equal or opposite quaternions) the result is qa, never a non-number.
Quaternion Slerp(const Quaternion& qa, const Quaternion& qb, float u);

// The single-precision 1/3 the control construction uses (bits 0x3EAAAAAB).
constexpr float kOneThird = 0.33333334f;
