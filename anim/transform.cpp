#include "anim/transform.h"

#include <algorithm>
#include <cmath>
#include <iterator>

Transform Transform::Of(const float f[16]) {
  Transform t;
  for (int i = 0; i < 16; ++i) t.m[i] = f[i];
  return t;
}

void Transform::Multiply(const Transform& r) {
  double out[16];
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row)
      out[4 * c + row] = m[row] * r.m[4 * c] + m[4 + row] * r.m[4 * c + 1] + m[8 + row] * r.m[4 * c + 2] +
                         m[12 + row] * r.m[4 * c + 3];
  std::copy(std::begin(out), std::end(out), m);
}

void Transform::Translate(double x, double y, double z) {
  for (int row = 0; row < 4; ++row) m[12 + row] += m[row] * x + m[4 + row] * y + m[8 + row] * z;
}

void Transform::Scale(double s) {
  for (int i = 0; i < 12; ++i) m[i] *= s;
}

void Transform::Rotate(double degrees, double x, double y, double z) {
  const double length = std::sqrt(x * x + y * y + z * z);
  if (!(length > 0.0)) return;
  x /= length;
  y /= length;
  z /= length;
  const double radians = degrees * (3.14159265358979323846 / 180.0);
  const double c = std::cos(radians), s = std::sin(radians), d = 1.0 - c;
  Transform r{};
  r.m[0] = x * x * d + c;
  r.m[1] = y * x * d + z * s;
  r.m[2] = x * z * d - y * s;
  r.m[4] = x * y * d - z * s;
  r.m[5] = y * y * d + c;
  r.m[6] = y * z * d + x * s;
  r.m[8] = x * z * d + y * s;
  r.m[9] = y * z * d - x * s;
  r.m[10] = z * z * d + c;
  r.m[15] = 1.0;
  Multiply(r);
}
