// GFX_GroupedModel: a drawable model made of owned mesh groups, drawn group by group; and
// GFX_ModelPoint, a named point a model can share among its groups.
#pragma once

#include "gfx/math.h"
#include "gfx/mesh.h"

#include <map>
#include <string>
#include <vector>

// A point of a model that several groups refer to. No model of this system has any; the list
// is kept so a model can carry them.
struct GFX_ModelPoint {
    Math_Vector3 m_position;
};

// The procedural shapes (gfx/shapes.h) derive from this and fill the group list in their
// constructors. The model's own visibility flag is not looked at when drawing: each group's
// flag decides whether that group draws.
class GFX_GroupedModel : public GFX_Geometry {
public:
    GFX_GroupedModel() = default;
    ~GFX_GroupedModel() override;
    // Owns its groups and points through raw pointers: a copy would free them twice.
    GFX_GroupedModel(const GFX_GroupedModel&) = delete;
    GFX_GroupedModel& operator=(const GFX_GroupedModel&) = delete;

    // Zeroes the position, deletes every group and point, empties the name map.
    void clear();
    void clear_point_array();
    // Takes ownership of group, appends it, sets its group index to its place in the list and
    // records its group name (when it has one). A null group is ignored.
    void add_group(GFX_MeshGroup* group);

    using GFX_Geometry::draw;
    // Each calls the same operation on every group, in order.
    void draw() override;
    void draw(const std::string& name) override;
    virtual void draw_imm_mode();
    virtual void draw_triangle_strips();

    // Owned, in insertion order.
    std::vector<GFX_MeshGroup*> m_groups;
    std::map<std::string, int> m_group_index_by_name;
    // Owned.
    std::vector<GFX_ModelPoint*> m_points;
    Math_Vector3 m_position;
};
