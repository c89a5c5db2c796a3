// Ray against triangle: the picking test the locators run on the two triangles of each
// billboard quad. Pure arithmetic, no OpenGL.
#pragma once

#include "gfx/math.h"

// True when the ray origin + t * dir hits the triangle (c0, c1, c2) with 0 < t <= length. Both
// windings count (no face is culled) and the triangle's edges belong to it, so a ray through the
// edge shared by two triangles hits both. t is in units of dir (the distance for a unit dir); it
// is written whenever the ray meets the triangle's interior or edge, also when t is then out of
// range, and left alone for a miss or a ray parallel to the triangle.
bool ray_triangle_intersection(const Math_Vector3& origin, const Math_Vector3& dir, float length,
                               const Math_Vector3& c0, const Math_Vector3& c1,
                               const Math_Vector3& c2, float& t);
