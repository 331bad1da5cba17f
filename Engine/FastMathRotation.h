#pragma once
// Rotation descriptions: one Vector4 whose meaning is chosen by a rotation code (only the low
// eight bits of the code count):
//   code 0      a quaternion (x, y, z, w); also what every code outside 1-7 means when a
//               matrix or quaternion is built from a description;
//   code 1      axis (x, y, z) and angle w;
//   codes 2-7   Euler angles x, y, z about X, Y, Z (w ignored, 0 when produced), composed as
//               2: Z Y X   3: Y Z X   4: Z X Y   5: X Z Y   6: Y X Z   7: X Y Z
//               where "Z Y X" means RotationZ(z) x RotationY(y) x RotationX(x): with row vectors
//               the leftmost is applied first.
// Code 2 is the default Euler order: matrices are turned into angles in that order wherever no
// code is given.

#include "Engine/FastMath.h"

enum RotationCode {
  kRotationQuaternion = 0,
  kRotationAxisAngle = 1,
  kRotationEulerZYX = 2,
  kRotationEulerYZX = 3,
  kRotationEulerZXY = 4,
  kRotationEulerXZY = 5,
  kRotationEulerYXZ = 6,
  kRotationEulerXYZ = 7,
};

// A pure rotation (row 4 = (0, 0, 0, 1), column 4 = 0) from a description.
Matrix& MatrixFromRotation(int code, const Vector4& description, Matrix& out);

// q = (axis * sin(w/2), cos(w/2)) turned into a matrix; the axis is not normalised, so a
// non-unit axis gives a matrix that is not orthonormal.
Matrix& AxisAngleToMatrix(const Vector4& description, Matrix& out);

// The description of code `code` for the upper 3 by 3 of m. Codes 3-7 extract their own Euler
// order; code 2 and every code from 8 up extract the default order.
Vector4& MatrixToRotation(int code, const Matrix& m, Vector4& out);

// Euler angles of the default order (code 2).
Vector4& MatrixToEuler(const Matrix& m, Vector4& out);

// Unit quaternion, with w >= 0, of the rotation in the upper 3 by 3 of m.
Quaternion& MatrixToQuaternion(const Matrix& m, Quaternion& out);

// Axis and angle (a code 1 description); a rotation too small to have an axis gives (1, 0, 0, 0).
Vector4& QuaternionToAxisAngle(const Quaternion& q, Vector4& out);

Vector4& QuaternionToRotation(const Quaternion& q, Vector4& out, int code);
Vector4& MatrixToAxisAngle(const Matrix& m, Vector4& out);
Quaternion& QuaternionFromRotation(int code, const Vector4& description, Quaternion& out);
Vector4& RotationToAxisAngle(int code, const Vector4& description, Vector4& out);

// The unit quaternion of MatrixFromRotation(code, angles): QuaternionToMatrix of the result
// equals that matrix. Codes outside 2-7 use the default order, code 2.
Quaternion& EulerToQuaternion(int code, const Vector4& angles, Quaternion& out);

// The rotation taking direction `from` onto direction `to` (from x out = to). Writes only the
// upper 3 by 3 of out.
Matrix& MatrixRotateVectorToVector(const Vector4& from, const Vector4& to, Matrix& out);

// An orthonormal orientation whose third row (AlignZ) or second row (AlignY) points along the
// direction, turned about it so that `up` (or `fallbackUp`, when up is nearly along the
// direction) stays on the up side. Writes only x, y, z of the first three rows.
Matrix& MatrixAlignZ(const Vector4& direction, const Vector4& up, const Vector4& fallbackUp,
                     Matrix& out);
Matrix& MatrixAlignY(const Vector4& direction, const Vector4& up, const Vector4& fallbackUp,
                     Matrix& out);

// Turns the orientation in m so that its second row points along the direction, keeping the old
// third row as the reference. Row 4 and column 4 are not touched.
Matrix& MatrixRealignY(const Vector4& direction, Matrix& m);

// The orientation whose first row is xAxis and whose second row lies in the plane of xAxis and
// yAxis. Both inputs are normalised in place (and get w = 0 unless they are parallel).
Quaternion& QuaternionFromAxes(Vector4& xAxis, Vector4& yAxis, Quaternion& out);

// The placement of an object at `position` facing `target`: MatrixAlignZ towards the target,
// row 4 = position (all four components).
Matrix& MatrixLookAt(const Vector4& target, const Vector4& position, const Vector4& up,
                     const Vector4& fallbackUp, Matrix& out);
