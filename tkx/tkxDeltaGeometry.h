// Geometry the three-arm mechanisms share (the trion and the Falcon): where the
// three elbow spheres meet, and the lower arms' directions through which a
// platform force becomes arm torques. Pure functions over numbers.
#ifndef TKX_DELTAGEOMETRY_H
#define TKX_DELTAGEOMETRY_H

namespace tkx {

struct DeltaPose {
  double P[3];   // the platform point, mechanism frame
  double th[3];  // arm angles, with their cos and sin
  double ct[3];
  double st[3];
};

// the lower of the two points on the spheres X² + Y² + Z² - W X - V Y - U Z + K = 0
// (one per arm); false when they do not meet in two points or the result is not finite
bool DeltaPlatform(const double W[3], const double V[3], const double U[3], const double K[3], double P[3]);

struct DeltaFrames {
  double n[3][3];    // unit lower-arm directions, elbow to platform
  double t[3][3];    // each elbow's motion per radian of its arm angle, over the arm length
  double inv[3][3];  // rows of the inverse of the matrix whose columns are n, times D
  double D;          // that matrix's determinant
};

// the frames of a pose for arms of length a on a base of radius R at the angles
// whose cos and sin are given; false where the lower arms leave the platform
// undetermined
bool DeltaArmFrames(const DeltaPose &pose, double a, double R, const double cphi[3], const double sphi[3],
                    DeltaFrames *f);

}  // namespace tkx

#endif
