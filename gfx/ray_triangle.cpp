// Two-sided ray/triangle test (Moller-Trumbore with the division by the determinant postponed).
#include "gfx/ray_triangle.h"

namespace {

// Below this |det| the ray is taken as parallel to the triangle's plane.
constexpr float PARALLEL_EPSILON = 1e-5f;

}  // namespace

bool ray_triangle_intersection(const Math_Vector3& origin, const Math_Vector3& dir, float length,
                               const Math_Vector3& c0, const Math_Vector3& c1,
                               const Math_Vector3& c2, float& t) {
    const Math_Vector3 e1 = c1 - c0;
    const Math_Vector3 e2 = c2 - c0;
    const Math_Vector3 p = dir.cross(e2);
    const float det = e1.dot(p);

    // u and w are the barycentric coordinates of the hit times det; comparing them with det
    // instead of dividing first saves the division on every miss.
    const Math_Vector3 s = origin - c0;
    const Math_Vector3 q = s.cross(e1);
    const float u = s.dot(p);
    const float w = dir.dot(q);

    // NOTE: every test is written so that a NaN fails it; a degenerate or non-finite input
    // therefore gives no hit rather than a hit anywhere.
    if (det > PARALLEL_EPSILON) {
        if (!(u >= 0.0f && u <= det && w >= 0.0f && u + w <= det)) return false;
    } else if (det < -PARALLEL_EPSILON) {
        if (!(u <= 0.0f && u >= det && w <= 0.0f && u + w >= det)) return false;
    } else {
        return false;
    }

    t = e2.dot(q) / det;
    return t > 0.0f && t <= length;
}
