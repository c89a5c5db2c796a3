// UTL_GexfReader: the GEXF document parsed by pugixml, then walked for its nodes, their label
// and person attributes, and its edges with their direction.
#include "service/graph_gexf.h"

#include "service/data_lines.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace {

// An element's name without its namespace prefix: GEXF is written both ways.
const char* local_name(const pugi::xml_node& node) {
    const char* name = node.name();
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool is(const pugi::xml_node& node, const char* name) {
    return node.type() == pugi::node_element && std::strcmp(local_name(node), name) == 0;
}

// The value of an edge's or graph's direction: directed, or not (undirected and mutual).
bool directed_type(const char* type, bool otherwise) {
    if (std::strcmp(type, "directed") == 0) return true;
    if (std::strcmp(type, "undirected") == 0 || std::strcmp(type, "mutual") == 0) return false;
    return otherwise;
}

}  // namespace

bool UTL_GexfReader::read(std::string text, const std::string& name, const UTL_GraphLimits& limits,
                          UTL_GraphData& data, std::string& error) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer_inplace(text.data(), text.size(), pugi::parse_default);
    if (!parsed) {
        const size_t end =
            std::min(text.size(), static_cast<size_t>(std::max<ptrdiff_t>(0, parsed.offset)));
        const size_t line = 1 + std::count(text.begin(), text.begin() + end, '\n');
        error = name + ": line " + std::to_string(line) +
                ": not readable as GEXF: " + parsed.description();
        return false;
    }
    const pugi::xml_node root = doc.document_element();
    if (!is(root, "gexf")) {
        error = name + ": not a GEXF document (its root element is <" +
                std::string(root.name()).substr(0, 40) + ">)";
        return false;
    }
    pugi::xml_node graph;
    for (const pugi::xml_node& c : root.children()) {
        if (is(c, "graph")) {
            graph = c;
            break;
        }
    }
    if (!graph) {
        error = name + ": a GEXF document without a <graph>";
        return false;
    }
    const bool directed = directed_type(graph.attribute("defaultedgetype").value(), false);

    // The declared node attributes a person is read from: id -> title, and their defaults.
    std::unordered_map<std::string, std::string> titles;
    std::vector<std::pair<std::string, std::string>> defaults;
    for (const pugi::xml_node& list : graph.children()) {
        if (!is(list, "attributes") || std::strcmp(list.attribute("class").value(), "edge") == 0) {
            continue;
        }
        for (const pugi::xml_node& a : list.children()) {
            const std::string title = a.attribute("title").value();
            if (!is(a, "attribute") || !UTL_GraphData::is_person_attribute(title)) continue;
            titles[a.attribute("id").value()] = title;
            for (const pugi::xml_node& d : a.children()) {
                if (is(d, "default")) defaults.emplace_back(title, d.text().get());
            }
        }
    }

    // Nodes, those nested in others (a hierarchy) too, without recursion.
    std::unordered_map<std::string, std::uint32_t> index;
    size_t without_id = 0, repeated = 0;
    std::vector<pugi::xml_node> lists;
    for (const pugi::xml_node& c : graph.children()) {
        if (is(c, "nodes")) lists.push_back(c);
    }
    while (!lists.empty()) {
        const pugi::xml_node list = lists.back();
        lists.pop_back();
        for (const pugi::xml_node& n : list.children()) {
            if (!is(n, "node")) continue;
            for (const pugi::xml_node& c : n.children()) {
                if (is(c, "nodes")) lists.push_back(c);
            }
            const pugi::xml_attribute id = n.attribute("id");
            if (!id) {
                ++without_id;
                continue;
            }
            if (!index.emplace(id.value(), static_cast<std::uint32_t>(data.m_nodes.size()))
                     .second) {
                ++repeated;
                continue;
            }
            if (data.m_nodes.size() >= limits.m_max_people) {
                error = name + ": more than the " + with_commas(limits.m_max_people) + " nodes" +
                        " a graph file may hold";
                return false;
            }
            data.m_nodes.emplace_back();
            UTL_GraphNode& node = data.m_nodes.back();
            node.m_id = id.value();
            if (const pugi::xml_attribute label = n.attribute("label")) {
                node.m_attributes.emplace_back("label", label.value());
            }
            for (const pugi::xml_node& values : n.children()) {
                if (!is(values, "attvalues")) continue;
                for (const pugi::xml_node& v : values.children()) {
                    if (!is(v, "attvalue")) continue;
                    // GEXF 1.0 names the attribute with "id", later versions with "for".
                    pugi::xml_attribute key = v.attribute("for");
                    if (!key) key = v.attribute("id");
                    auto title = titles.find(key.value());
                    if (title != titles.end()) {
                        node.m_attributes.emplace_back(title->second, v.attribute("value").value());
                    }
                }
            }
            // A default counts where the node gives no value of its own.
            for (const auto& d : defaults) {
                if (std::none_of(node.m_attributes.begin(), node.m_attributes.end(),
                                 [&](const auto& a) { return a.first == d.first; })) {
                    node.m_attributes.push_back(d);
                }
            }
        }
    }

    size_t dangling = 0;
    for (const pugi::xml_node& list : graph.children()) {
        if (!is(list, "edges")) continue;
        for (const pugi::xml_node& e : list.children()) {
            if (!is(e, "edge")) continue;
            auto source = index.find(e.attribute("source").value());
            auto target = index.find(e.attribute("target").value());
            if (source == index.end() || target == index.end()) {
                ++dangling;
                continue;
            }
            if (data.m_edges.size() >= limits.m_max_edges) {
                error = name + ": more than the " + with_commas(limits.m_max_edges) + " edges" +
                        " a graph file may hold";
                return false;
            }
            data.m_edges.push_back(
                UTL_GraphEdge{source->second, target->second,
                              directed_type(e.attribute("type").value(), directed)});
        }
    }

    if (without_id > 0) {
        data.m_notes.push_back(name + ": " + counted(without_id, "node", "nodes") +
                               " without an id left out");
    }
    if (repeated > 0) {
        data.m_notes.push_back(name + ": " + counted(repeated, "node repeats", "nodes repeat") +
                               " an earlier id; the first node of an id counts");
    }
    if (dangling > 0) {
        data.m_notes.push_back(name + ": " + counted(dangling, "edge names", "edges name") +
                               " a node the file does not hold, left out");
    }
    return true;
}
