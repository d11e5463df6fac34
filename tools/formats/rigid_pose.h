// Turning a bone's 3x3 linear part into what a node transformation can hold:
// a rotation, as a unit quaternion, and a uniform sign for reflections.
#pragma once

// Splits m (row-major) into sign · q with q the rotation nearest to sign · m
// and sign = -1 exactly when det m < 0, so that a reflection is carried as
// the rotation of -m with scale (-1, -1, -1). Returns false when m is not
// finite or (nearly) singular.
bool splitRigidLinear(const double* m, double q[9], double& sign);

// Unit quaternion (x, y, z, w) of the rotation q (row-major).
void rotationToQuaternion(const double* q, double out[4]);

// c = a^T · b for row-major 3x3 matrices.
void multiplyTransposed3(const double* a, const double* b, double* c);
