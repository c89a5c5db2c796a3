// The procedural shapes: a cube whose six faces are pushed out onto a sphere, coarse for the
// locator ball (GFX_ColorBall) and finer for the navigation dial's globe (GFX_SphereButton).
// All geometry is computed on the CPU at construction; drawing reads the stored arrays.
#pragma once

#include "gfx/grouped_model.h"
#include "gfx/mesh.h"

// One face of the ball: an n x n grid on the sphere. Vertex (i, j), i, j = 0 .. n, has index
// i * (n + 1) + j; texture coordinates run 0 .. 1 over the face. Each generator appends its face's
// vertices, then the strips, then the triangles, with indices counted from 0: call one
// generator on a fresh group. n < 1 appends nothing.
class GFX_ColorBallMeshGroup : public GFX_MeshGroup {
public:
    GFX_ColorBallMeshGroup() = default;
    ~GFX_ColorBallMeshGroup() override;

    void create_cube_side_positive_x(int n, float size);
    void create_cube_side_negative_x(int n, float size);
    void create_cube_side_positive_y(int n, float size);
    void create_cube_side_negative_y(int n, float size);
    void create_cube_side_positive_z(int n, float size);
    void create_cube_side_negative_z(int n, float size);
    // n strips of 2 (n + 1) indices, one per grid row.
    void create_triangle_strips(int n);
    // 2 n^2 triangles, counter-clockwise seen from outside the face.
    void create_triangle_array(int n);
};

// The same faces as GFX_ColorBallMeshGroup, used with a finer grid.
class GFX_SphereButtonMeshGroup : public GFX_MeshGroup {
public:
    GFX_SphereButtonMeshGroup() = default;
    ~GFX_SphereButtonMeshGroup() override;

    void create_cube_side_positive_x(int n, float size);
    void create_cube_side_negative_x(int n, float size);
    void create_cube_side_positive_y(int n, float size);
    void create_cube_side_negative_y(int n, float size);
    void create_cube_side_positive_z(int n, float size);
    void create_cube_side_negative_z(int n, float size);
    void create_triangle_strips(int n);
    void create_triangle_array(int n);
};

// The locator ball: six 5 x 5 faces (6 x 36 vertices, 6 x 50 triangles), groups in the order
// +x, -x, +y, -y, +z, -z. The controller keeps one of radius 125 and scales it per locator.
class GFX_ColorBall : public GFX_GroupedModel {
public:
    // cells: the grid of each of the six faces; fewer make a coarser ball for a small one on
    // screen.
    explicit GFX_ColorBall(float radius, int cells = CELLS_PER_FACE);
    ~GFX_ColorBall() override;

    static constexpr int CELLS_PER_FACE = 5;
};

// The globe of the navigation dial: six 10 x 10 faces (6 x 121 vertices, 6 x 200 triangles).
// A 10 x 10 face has a vertex at its centre, on the face's axis.
class GFX_SphereButton : public GFX_GroupedModel {
public:
    explicit GFX_SphereButton(float radius);
    ~GFX_SphereButton() override;

    static constexpr int CELLS_PER_FACE = 10;
};
