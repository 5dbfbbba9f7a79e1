// Geometry queries and numeric helpers shared by the terrain tree, meshes, display drivers
// and the race code: lines against planes, rays against spheres, bounding boxes and spheres of
// point and sphere lists, a cubic Bezier point, 2D segment and circle crossings, and the
// power-of-two helpers for texture sizes. The plane and triangle queries on a single point are
// members of VQVector (VQVector.h). All compute in double precision and store floats.
#pragma once

#include <cstdint>

#include "Zentri/math/VQVector.h"

// The unbounded line through p0 and p1 against the plane through a, b, c. False when p0 equals
// p1, when two of a, b, c are equal (exact comparisons), or when the line is parallel to the
// plane (or a, b, c are collinear). Else out = the crossing, which may lie outside p0..p1.
bool VQmath_LinePlaneIntersection(const VQVector& p0, const VQVector& p1, const VQVector& a,
                                  const VQVector& b, const VQVector& c, VQVector& out);
// The same with the corners given as three float triples (x, y, z each).
bool VQmath_LinePlaneIntersection(const VQVector& p0, const VQVector& p1, const float a[3],
                                  const float b[3], const float c[3], VQVector& out);

// Distance along the unit direction u from origin o to where the ray enters the sphere, or -1
// when the line misses it. Negative (other than -1 by chance) when o lies inside the sphere or
// the sphere lies behind o: callers test the sign.
float VQmath_RaySphereDistance(const VQVector& centre, float radius, const VQVector& o,
                               const VQVector& u);

// Component-wise minimum and maximum of count points; count 0 (or less) gives two zero
// vectors. points may be null only when count is 0.
void VQmath_PointsBoundingBox(const VQVector* points, int count, VQVector& min, VQVector& max);
// The box around count spheres (centres[i], radii[i]); count 0 (or less) gives zero vectors.
void VQmath_SpheresBoundingBox(const VQVector* centres, const float* radii, int count,
                               VQVector& min, VQVector& max);
// A sphere around that box: its centre, and half its diagonal as radius (not the smallest
// enclosing sphere). count 0 gives centre (0, 0, 0) and radius 0.
void VQmath_SpheresBoundingSphere(const VQVector* centres, const float* radii, int count,
                                  VQVector& centre, float& radius);

// out = the cubic Bezier point at t with control points p0..p3. Returns out.
VQVector& VQmath_BezierPoint(VQVector& out, float t, const VQVector& p0, const VQVector& p1,
                             const VQVector& p2, const VQVector& p3);

// True when p lies on the left of the line from a to b, or on it.
bool VQmath_IsOnPositiveSide2D(const VQVector2& p, const VQVector2& a, const VQVector2& b);
// True when a0, a1 lie on different sides of the line b0-b1 and b0, b1 on different sides of
// the line a0-a1 (a point on a line counts as the positive side, so touching or collinear
// segments do not cross).
bool VQmath_SegmentsCross2D(const VQVector2& a0, const VQVector2& a1, const VQVector2& b0,
                            const VQVector2& b1);
// Where the segments cross: false unless VQmath_SegmentsCross2D holds and they are not nearly
// parallel (|cross of directions| below 1e-5).
bool VQmath_SegmentIntersection2D(const VQVector2& a0, const VQVector2& a1, const VQVector2& b0,
                                  const VQVector2& b1, VQVector2& out);
// Where the segment p0-p1 meets the circle. first is the crossing nearer p0; second the
// other one, or a copy of first when only one crossing lies on the segment. False when none
// does, or when the segment is shorter than 0.01.
bool VQmath_SegmentCircleIntersection2D(const VQVector2& p0, const VQVector2& p1,
                                        const VQVector2& centre, float radius, VQVector2& first,
                                        VQVector2& second);

bool VQmath_IsPowerOfTwo(uint32_t x);
// x when it is a power of two, else the next higher one; 0 gives 1. Above 2^31 no power of
// two fits in 32 bits and the result is 0.
uint32_t VQmath_NextPowerOfTwo(uint32_t x);
// The base-2 logarithm of x cut toward zero (exact for powers of two). Callers pass positive
// sizes; 0 and negative numbers give -1.
int VQmath_Log2(int x);
