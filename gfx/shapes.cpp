// Sphere-like cube faces for the ball and the dial's globe: vertex grids, strips and triangles.
#include "gfx/shapes.h"

namespace {

enum CubeSide { POSITIVE_X, NEGATIVE_X, POSITIVE_Y, NEGATIVE_Y, POSITIVE_Z, NEGATIVE_Z };

// Point (s, t) of a side of the unit cube centred on the origin. The parametrisations are
// chosen so that the grid triangles are counter-clockwise seen from outside every side.
Math_Vector3 cube_side_point(CubeSide side, float s, float t) {
    switch (side) {
        case POSITIVE_X:
            return {0.5f, t - 0.5f, 0.5f - s};
        case NEGATIVE_X:
            return {-0.5f, t - 0.5f, s - 0.5f};
        case POSITIVE_Y:
            return {0.5f - t, 0.5f, 0.5f - s};
        case NEGATIVE_Y:
            return {t - 0.5f, -0.5f, 0.5f - s};
        case POSITIVE_Z:
            return {s - 0.5f, t - 0.5f, 0.5f};
        case NEGATIVE_Z:
            return {0.5f - s, t - 0.5f, -0.5f};
    }
    return {};
}

// Appends the (n + 1)^2 vertices of one side projected onto the sphere of radius size: the
// direction from the centre is both the normal and the normal of the tangent frame, and each
// side carries the whole texture.
void append_sphere_side(GFX_MeshGroup& group, CubeSide side, int n, float size) {
    const float step = 1.0f / static_cast<float>(n);
    group.m_vertices.reserve(group.m_vertices.size() + static_cast<size_t>(n + 1) * (n + 1));
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            const float s = static_cast<float>(i) * step;
            const float t = static_cast<float>(j) * step;
            Math_Vector3 d = cube_side_point(side, s, t);
            d.normalize();
            Math_VertexTangentSpace v;
            v.m_position = d * size;
            v.m_normal = d;
            v.m_frame_normal = d;
            v.m_s = s;
            v.m_t = t;
            group.m_vertices.push_back(v);
        }
    }
}

void append_grid_strips(GFX_MeshGroup& group, int n) {
    if (n < 1) return;
    for (int i = 0; i < n; ++i) {
        auto* strip = new std::vector<int>();
        strip->reserve(2 * static_cast<size_t>(n + 1));
        for (int j = 0; j <= n; ++j) {
            strip->push_back(i * (n + 1) + j);
            strip->push_back((i + 1) * (n + 1) + j);
        }
        group.m_strips.push_back(strip);
    }
}

void append_grid_triangles(GFX_MeshGroup& group, int n) {
    if (n < 1) return;
    group.m_triangles.reserve(group.m_triangles.size() + 2 * static_cast<size_t>(n) * n);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const int a = i * (n + 1) + j;
            const int c = (i + 1) * (n + 1) + j;
            group.m_triangles.emplace_back(a, c, a + 1);
            group.m_triangles.emplace_back(c + 1, a + 1, c);
        }
    }
}

// The face generators of both mesh group classes: vertices, then strips, then triangles.
template <class Group>
void create_sphere_side(Group& group, CubeSide side, int n, float size) {
    // A grid needs at least one cell; 1 / 0 would fill the face with non-finite points.
    if (n < 1) return;
    append_sphere_side(group, side, n, size);
    group.create_triangle_strips(n);
    group.create_triangle_array(n);
}

// Six faces in the order +x, -x, +y, -y, +z, -z, each its own group.
template <class Group>
void add_sphere_sides(GFX_GroupedModel& model, int n, float radius) {
    using Generator = void (Group::*)(int, float);
    const Generator generators[] = {
        &Group::create_cube_side_positive_x, &Group::create_cube_side_negative_x,
        &Group::create_cube_side_positive_y, &Group::create_cube_side_negative_y,
        &Group::create_cube_side_positive_z, &Group::create_cube_side_negative_z,
    };
    for (Generator generate : generators) {
        auto* group = new Group();
        (group->*generate)(n, radius);
        model.add_group(group);
    }
}

}  // namespace

// ---- GFX_ColorBallMeshGroup ------------------------------------------------------------------

GFX_ColorBallMeshGroup::~GFX_ColorBallMeshGroup() = default;

void GFX_ColorBallMeshGroup::create_cube_side_positive_x(int n, float size) {
    create_sphere_side(*this, POSITIVE_X, n, size);
}
void GFX_ColorBallMeshGroup::create_cube_side_negative_x(int n, float size) {
    create_sphere_side(*this, NEGATIVE_X, n, size);
}
void GFX_ColorBallMeshGroup::create_cube_side_positive_y(int n, float size) {
    create_sphere_side(*this, POSITIVE_Y, n, size);
}
void GFX_ColorBallMeshGroup::create_cube_side_negative_y(int n, float size) {
    create_sphere_side(*this, NEGATIVE_Y, n, size);
}
void GFX_ColorBallMeshGroup::create_cube_side_positive_z(int n, float size) {
    create_sphere_side(*this, POSITIVE_Z, n, size);
}
void GFX_ColorBallMeshGroup::create_cube_side_negative_z(int n, float size) {
    create_sphere_side(*this, NEGATIVE_Z, n, size);
}
void GFX_ColorBallMeshGroup::create_triangle_strips(int n) { append_grid_strips(*this, n); }
void GFX_ColorBallMeshGroup::create_triangle_array(int n) { append_grid_triangles(*this, n); }

// ---- GFX_SphereButtonMeshGroup ---------------------------------------------------------------

GFX_SphereButtonMeshGroup::~GFX_SphereButtonMeshGroup() = default;

void GFX_SphereButtonMeshGroup::create_cube_side_positive_x(int n, float size) {
    create_sphere_side(*this, POSITIVE_X, n, size);
}
void GFX_SphereButtonMeshGroup::create_cube_side_negative_x(int n, float size) {
    create_sphere_side(*this, NEGATIVE_X, n, size);
}
void GFX_SphereButtonMeshGroup::create_cube_side_positive_y(int n, float size) {
    create_sphere_side(*this, POSITIVE_Y, n, size);
}
void GFX_SphereButtonMeshGroup::create_cube_side_negative_y(int n, float size) {
    create_sphere_side(*this, NEGATIVE_Y, n, size);
}
void GFX_SphereButtonMeshGroup::create_cube_side_positive_z(int n, float size) {
    create_sphere_side(*this, POSITIVE_Z, n, size);
}
void GFX_SphereButtonMeshGroup::create_cube_side_negative_z(int n, float size) {
    create_sphere_side(*this, NEGATIVE_Z, n, size);
}
void GFX_SphereButtonMeshGroup::create_triangle_strips(int n) { append_grid_strips(*this, n); }
void GFX_SphereButtonMeshGroup::create_triangle_array(int n) { append_grid_triangles(*this, n); }

// ---- the shapes ------------------------------------------------------------------------------

GFX_ColorBall::GFX_ColorBall(float radius, int cells) {
    add_sphere_sides<GFX_ColorBallMeshGroup>(*this, cells > 0 ? cells : 1, radius);
}

GFX_ColorBall::~GFX_ColorBall() = default;

GFX_SphereButton::GFX_SphereButton(float radius) {
    add_sphere_sides<GFX_SphereButtonMeshGroup>(*this, CELLS_PER_FACE, radius);
}

GFX_SphereButton::~GFX_SphereButton() = default;
