// UTL_SavedNetwork: reading the people and lines off the controller, and the GraphML document
// (pugixml) written through a temporary file and a rename.
#include "app/saved_network.h"

#include "controller/sim_ctrl_nimbra.h"
#include "photos/photo_files.h"
#include "scene/connection.h"
#include "scene/foto.h"
#include "scene/friend.h"
#include "scene/location_holder.h"
#include "util/utf8.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

namespace {

// The photo a person shows, "" for the question mark or a photo made afresh on every start.
std::string shown_photo(const GFX_Foto* foto, bool has_foto, const std::string& fresh_photos) {
    if (!has_foto || !foto) return "";
    const std::string& url = foto->m_url;
    if (!fresh_photos.empty() && url.compare(0, fresh_photos.size(), fresh_photos) == 0) return "";
    return url;
}

UTL_SavedPerson person_of(const GFX_Friend& f, const std::string& fresh_photos) {
    UTL_SavedPerson p;
    p.m_uid = f.m_uid;
    p.m_name = f.m_name;
    p.m_pic = shown_photo(f.m_foto, f.m_has_foto, fresh_photos);
    p.m_pic_square = shown_photo(f.m_foto_square, f.m_has_foto_square, fresh_photos);
    return p;
}

// Text XML 1.0 can carry: well-formed UTF-8 without control characters (a line break or tab
// becomes a space) and without the two non-characters U+FFFE and U+FFFF.
std::string xml_text(const std::string& s) {
    bool plain = true;
    for (unsigned char c : s) plain = plain && c >= 0x20 && c < 0x7f;
    if (plain) return s;
    std::string out;
    for (std::uint32_t ch : decode_utf8(s)) {
        if (ch == '\t' || ch == '\n' || ch == '\r') ch = ' ';
        if (!is_printable_char(ch) || ch == 0xFFFE || ch == 0xFFFF) continue;
        append_utf8(ch, out);
    }
    return out;
}

void add_key(pugi::xml_node root, const std::string& name, const std::string& type) {
    pugi::xml_node key = root.append_child("key");
    key.append_attribute("id") = xml_text(name).c_str();
    key.append_attribute("for") = "node";
    key.append_attribute("attr.name") = xml_text(name).c_str();
    key.append_attribute("attr.type") = type.c_str();
}

void add_data(pugi::xml_node node, const std::string& key, const std::string& value) {
    if (value.empty()) return;
    pugi::xml_node data = node.append_child("data");
    data.append_attribute("key") = xml_text(key).c_str();
    data.text() = xml_text(value).c_str();
}

// Degrees with five decimals (about a metre on the Earth, far finer than the globe's spacing).
std::string degrees(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.5f", static_cast<double>(value));
    return text;
}

// A longitude in [-180, 180): a glide along a great circle may leave it outside.
float plain_longitude(float longitude) {
    if (!std::isfinite(longitude)) return 0.0f;
    const float l = std::fmod(longitude + 180.0f, 360.0f);
    return (l < 0.0f ? l + 360.0f : l) - 180.0f;
}

}  // namespace

UTL_SavedNetwork UTL_SavedNetwork::of(const UTL_SimCtrlNimbra& controller,
                                      const std::string& fresh_photos) {
    UTL_SavedNetwork network;
    // The circle found for each friend (-1 for the user; left out for a friend whose circle is
    // not found yet) and the place on the globe: where the person is going when a glide is
    // under way, as that is the place of the arrangement shown.
    network.m_extra_keys = {{"circle", "int"}, {"longitude", "double"}, {"latitude", "double"}};
    std::map<const GFX_Friend*, const GFX_LocationHolder*> places;
    for (const GFX_LocationHolder* h : controller.m_loc_holders)
        if (const auto* hf = dynamic_cast<const GFX_LocationHolderFriend*>(h))
            if (hf->m_friend) places.emplace(hf->m_friend, h);
    std::map<std::string, size_t> index;
    auto add = [&](const GFX_Friend* f) {
        if (!f || index.count(f->m_uid)) return;
        index[f->m_uid] = network.m_people.size();
        UTL_SavedPerson p = person_of(*f, fresh_photos);
        const bool user = f == controller.m_myself;
        p.m_extra.assign(3, "");
        if (user || f->m_circle >= 0) p.m_extra[0] = std::to_string(user ? -1 : f->m_circle);
        const auto place = places.find(f);
        if (place != places.end()) {
            p.m_extra[1] = degrees(plain_longitude(place->second->target_longitude()));
            p.m_extra[2] = degrees(place->second->target_latitude());
        }
        network.m_people.push_back(std::move(p));
    };
    add(controller.m_myself);
    for (const GFX_Friend* f : controller.m_friends) add(f);

    // A line whose ends are not both on the globe draws nothing, so it is not shown either.
    std::set<std::pair<size_t, size_t>> seen;
    for (const GFX_Connection* c : controller.m_connections) {
        const auto* line = dynamic_cast<const GFX_ConnectionFriends*>(c);
        if (!line) continue;
        const auto a = index.find(line->m_uid1);
        const auto b = index.find(line->m_uid2);
        if (a == index.end() || b == index.end() || a->second == b->second) continue;
        const auto pair = std::minmax(a->second, b->second);
        if (seen.insert(pair).second) network.m_edges.push_back(pair);
    }
    return network;
}

std::string UTL_SavedNetwork::graphml() const {
    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = doc.append_child("graphml");
    root.append_attribute("xmlns") = "http://graphml.graphdrawing.org/xmlns";
    root.append_attribute("xmlns:xsi") = "http://www.w3.org/2001/XMLSchema-instance";
    root.append_attribute("xsi:schemaLocation") =
        "http://graphml.graphdrawing.org/xmlns "
        "http://graphml.graphdrawing.org/xmlns/1.0/graphml.xsd";
    add_key(root, "label", "string");
    add_key(root, "pic", "string");
    add_key(root, "pic_square", "string");
    for (const Key& k : m_extra_keys) add_key(root, k.m_name, k.m_type);

    pugi::xml_node graph = root.append_child("graph");
    graph.append_attribute("id") = "G";
    graph.append_attribute("edgedefault") = "undirected";
    std::vector<std::string> ids;
    ids.reserve(m_people.size());
    for (const UTL_SavedPerson& p : m_people) {
        ids.push_back(xml_text(p.m_uid));
        pugi::xml_node node = graph.append_child("node");
        node.append_attribute("id") = ids.back().c_str();
        add_data(node, "label", p.m_name);
        add_data(node, "pic", p.m_pic);
        if (p.m_pic_square != p.m_pic) add_data(node, "pic_square", p.m_pic_square);
        for (size_t k = 0; k < m_extra_keys.size() && k < p.m_extra.size(); ++k)
            add_data(node, m_extra_keys[k].m_name, p.m_extra[k]);
    }
    for (const auto& [a, b] : m_edges) {
        if (a >= ids.size() || b >= ids.size()) continue;
        pugi::xml_node edge = graph.append_child("edge");
        edge.append_attribute("source") = ids[a].c_str();
        edge.append_attribute("target") = ids[b].c_str();
    }
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

bool UTL_SavedNetwork::write_graphml(const std::string& path, std::string& error) const {
    if (write_file_atomically(path, graphml(), 0644)) return true;
    error = std::strerror(errno);
    return false;
}
