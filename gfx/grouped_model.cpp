// Grouped models: ownership of the mesh groups and drawing them one after the other.
#include "gfx/grouped_model.h"

// ---- construction ----------------------------------------------------------------------------

GFX_GroupedModel::~GFX_GroupedModel() { clear(); }

void GFX_GroupedModel::clear() {
    m_position = Math_Vector3();
    for (GFX_MeshGroup* group : m_groups) delete group;
    m_groups.clear();
    m_group_index_by_name.clear();
    clear_point_array();
}

void GFX_GroupedModel::clear_point_array() {
    for (GFX_ModelPoint* point : m_points) delete point;
    m_points.clear();
}

void GFX_GroupedModel::add_group(GFX_MeshGroup* group) {
    if (!group) return;
    group->m_group_index = static_cast<int>(m_groups.size());
    m_groups.push_back(group);
    if (!group->m_group_name.empty())
        m_group_index_by_name[group->m_group_name] = group->m_group_index;
}

// ---- drawing ---------------------------------------------------------------------------------

void GFX_GroupedModel::draw() {
    for (GFX_MeshGroup* group : m_groups) group->draw();
}

void GFX_GroupedModel::draw(const std::string& name) {
    for (GFX_MeshGroup* group : m_groups) group->draw(name);
}

void GFX_GroupedModel::draw_imm_mode() {
    for (GFX_MeshGroup* group : m_groups) group->draw_imm_mode();
}

void GFX_GroupedModel::draw_triangle_strips() {
    for (GFX_MeshGroup* group : m_groups) group->draw_triangle_strips();
}
