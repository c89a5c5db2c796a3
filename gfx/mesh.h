// Indexed triangle meshes: the vertex and triangle types, the drawable base GFX_Geometry, the
// mesh with its three drawing paths, and the named mesh group that grouped models are made of.
#pragma once

#include "gfx/math.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

// The vertex of every mesh. The vertex array is handed to OpenGL as interleaved position, normal
// and texture-coordinate arrays with sizeof(Math_VertexTangentSpace) as the stride, so the
// layout below is fixed (checked after the declaration).
struct Math_VertexTangentSpace {
    Math_Vector3 m_position;
    Math_Vector3 m_normal;  // unit length
    // Tangent frame for tangent-space lighting; the sphere faces set only m_frame_normal.
    Math_Vector3 m_tangent;
    Math_Vector3 m_binormal;
    Math_Vector3 m_frame_normal;
    float m_s = 0.0f;
    float m_t = 0.0f;
    // Light and half-angle vectors in tangent space; not read by any drawing path.
    Math_Vector3 m_light;
    Math_Vector3 m_half_angle;
};

static_assert(std::is_standard_layout<Math_VertexTangentSpace>::value,
              "vertex is handed to OpenGL");
static_assert(sizeof(Math_VertexTangentSpace) == 23 * sizeof(float),
              "vertex holds 23 packed floats");
static_assert(offsetof(Math_VertexTangentSpace, m_position) == 0, "position first");
static_assert(offsetof(Math_VertexTangentSpace, m_normal) == 3 * sizeof(float),
              "normal after position");
static_assert(offsetof(Math_VertexTangentSpace, m_t) ==
                  offsetof(Math_VertexTangentSpace, m_s) + sizeof(float),
              "s and t adjacent, as one texture coordinate pair");

// Three vertex indices in drawing order. A triangle array is the GL_UNSIGNED_INT index array of
// glDrawElements as it stands (3 indices a triangle), hence the fixed 32-bit layout.
struct Math_Triangle {
    std::int32_t m_index[3] = {0, 0, 0};

    Math_Triangle() = default;
    Math_Triangle(std::int32_t a, std::int32_t b, std::int32_t c) : m_index{a, b, c} {}

    std::int32_t& operator[](int i) { return m_index[i]; }
    std::int32_t operator[](int i) const { return m_index[i]; }
};

static_assert(sizeof(Math_Triangle) == 3 * sizeof(std::int32_t),
              "triangles packed as an index array");
static_assert(std::is_standard_layout<Math_Triangle>::value, "triangle array is handed to OpenGL");

// Argument of GFX_Geometry::draw(const GFX_Stream&). It carries nothing; no model draws through
// it, the overload only completes the drawable interface.
struct GFX_Stream {};

// Base of every drawable model. All OpenGL calls of the drawing operations run on the thread of
// the current context (the main thread).
class GFX_Geometry {
public:
    GFX_Geometry() = default;
    virtual ~GFX_Geometry();

    virtual void set_visibility(bool visible);
    virtual void draw();
    virtual void draw(const GFX_Stream& stream);
    virtual void draw(const std::string& name);

    bool is_visible() const { return m_visible; }

protected:
    bool m_visible = true;
};

// An indexed triangle mesh with triangle strips over the same vertices. Filled once by a shape
// generator, then drawn every frame; nothing is drawn while it is hidden. Indices in triangles
// and strips must lie inside the vertex array (the generators guarantee it).
class GFX_Mesh : public GFX_Geometry {
public:
    GFX_Mesh();
    explicit GFX_Mesh(const std::string& name);
    ~GFX_Mesh() override;
    // The strips are owned raw pointers: a copy would free them twice.
    GFX_Mesh(const GFX_Mesh&) = delete;
    GFX_Mesh& operator=(const GFX_Mesh&) = delete;

    // Deletes every strip and empties strips, vertices and triangles.
    void clear();

    using GFX_Geometry::draw;
    // Vertex arrays and one indexed triangle list. Does not enable the client arrays: the
    // caller enables GL_VERTEX_ARRAY, GL_NORMAL_ARRAY and GL_TEXTURE_COORD_ARRAY once per
    // frame. Binds no texture and sets no colour.
    void draw() override;
    // A mesh has one part only: the name is not looked at.
    void draw(const std::string& name) override;
    // Immediate-mode triangles; no client arrays needed.
    virtual void draw_imm_mode();
    // The same array pointers as draw(), then one indexed triangle strip per strip.
    void draw_triangle_strips();

    std::string m_name;
    std::vector<Math_VertexTangentSpace> m_vertices;
    std::vector<Math_Triangle> m_triangles;
    // Owned; each inner vector is one triangle strip of vertex indices.
    std::vector<std::vector<int>*> m_strips;

private:
    void set_array_pointers() const;
};

// One named part of a grouped model (gfx/grouped_model.h). The model sets m_group_index to the
// group's place in its list when the group is added.
class GFX_MeshGroup : public GFX_Mesh {
public:
    GFX_MeshGroup() = default;
    ~GFX_MeshGroup() override;

    std::string m_group_name;
    int m_group_index = -1;  // -1 until added to a model
};
