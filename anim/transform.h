// A 4 x 4 matrix in column order, composed in double precision the way glTranslated,
// glRotated, glScaled and glMultMatrixd compose GL's current matrix (each on the right), for
// work done beside GL on the same transforms (the effects' batches, the hidden-mesh test).
//
//   Transform t = Transform::Of(projection);   // as glGetFloatv gives it
//   t.Multiply(Transform::Of(modelview));
//   t.Translate(0, 0, -5);
//   t.Rotate(30, 0, 0, 1);
#pragma once

struct Transform {
  double m[16];
  static Transform Of(const float f[16]);  // as glGetFloatv gives GL's matrices
  void Multiply(const Transform& right);
  void Translate(double x, double y, double z);
  void Scale(double s);
  // A turn by `degrees` about the axis (x, y, z), counter-clockwise looking down the axis; a
  // zero axis leaves the matrix as it is.
  void Rotate(double degrees, double x, double y, double z);
};
