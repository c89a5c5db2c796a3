// UTL_GraphData: from the nodes and edges a graph file holds to people and friendships: the uid
// of each node, names and photos from its attributes, and the rules for directed, repeated and
// self-referring edges.
#include "service/graph_data.h"

#include "service/data_lines.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace {

// The longest name and photo address a person keeps; a graph file is outside input, and both
// travel in every answer about the person.
constexpr size_t kMaxName = 200;
constexpr size_t kMaxAddress = 2048;

bool equals_lower(const std::string& a, const char* lower) {
    size_t i = 0;
    for (; i < a.size() && lower[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != lower[i]) return false;
    }
    return i == a.size() && lower[i] == '\0';
}

// The first non-empty value among the attributes with one of the names, in the names' order.
std::string first_of(const UTL_GraphNode& node, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        for (const auto& [key, value] : node.m_attributes) {
            if (!value.empty() && equals_lower(key, name)) return value;
        }
    }
    return std::string();
}

bool all_digits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A name as shown: control characters become spaces, the ends are trimmed, and a long one is
// cut at a character boundary.
std::string clean_name(const std::string& raw) {
    std::string s = raw.substr(0, kMaxName + 4);
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    s = UTL_DataLines::trim(s);
    if (s.size() > kMaxName) {
        size_t cut = kMaxName;
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
        s.resize(cut);
    }
    return s;
}

// An address the photo downloader may fetch: http or https only, without spaces or controls.
bool usable_address(const std::string& url) {
    const std::string head = url.substr(0, 8);
    std::string lower;
    for (char c : head) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.compare(0, 7, "http://") != 0 && lower.compare(0, 8, "https://") != 0) return false;
    if (url.size() > kMaxAddress) return false;
    return std::none_of(url.begin(), url.end(),
                        [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f; });
}

const std::initializer_list<const char*> kNameAttributes = {"label", "name"};
const std::initializer_list<const char*> kPhotoAttributes = {"pic", "photo", "image", "picture"};
const std::initializer_list<const char*> kSquareAttributes = {"pic_square", "thumbnail"};

// One edge between two people by their index in the network, lo < hi, and which way it points:
// 1 from lo to hi, 2 from hi to lo, 3 both (an undirected edge).
struct Pair {
    std::uint32_t lo, hi;
    std::uint8_t ways;
};

}  // namespace

bool UTL_GraphData::add_to(UTL_SocialNetwork& network, bool mutual_only,
                           const UTL_GraphLimits& limits, const std::string& name,
                           std::string& error, std::vector<std::string>& warnings) const {
    if (m_nodes.size() > limits.m_max_people) {
        error = name + ": " + with_commas(m_nodes.size()) + " nodes, more than the " +
                with_commas(limits.m_max_people) + " a graph file may hold";
        return false;
    }
    if (m_edges.size() > limits.m_max_edges) {
        error = name + ": " + with_commas(m_edges.size()) + " edges, more than the " +
                with_commas(limits.m_max_edges) + " a graph file may hold";
        return false;
    }
    warnings.insert(warnings.end(), m_notes.begin(), m_notes.end());

    // The labels are the uids only when all of them can be.
    bool label_is_uid = m_labels_may_be_uids && !m_nodes.empty();
    if (label_is_uid) {
        std::unordered_set<std::string> seen;
        seen.reserve(m_nodes.size());
        for (const UTL_GraphNode& node : m_nodes) {
            if (!node.m_has_label || !UTL_SocialNetwork::valid_uid(node.m_label) ||
                !seen.insert(node.m_label).second) {
                label_is_uid = false;
                break;
            }
        }
    }
    const bool file_has_photos = std::any_of(m_nodes.begin(), m_nodes.end(), [](const auto& n) {
        return !first_of(n, kPhotoAttributes).empty();
    });

    // Each node's index in the network, or kNone for a node without a usable uid. A uid the
    // file gives twice is one person.
    constexpr std::uint32_t kNone = ~0u;
    std::vector<std::uint32_t> index(m_nodes.size(), kNone);
    network.reserve(network.person_count() + m_nodes.size(), m_edges.size());
    size_t bad_uids = 0, repeated_nodes = 0, left_out_photos = 0;
    std::string first_bad;
    for (size_t i = 0; i < m_nodes.size(); ++i) {
        const std::string& uid = label_is_uid ? m_nodes[i].m_label : m_nodes[i].m_id;
        if (!UTL_SocialNetwork::valid_uid(uid)) {
            if (bad_uids++ == 0) first_bad = uid.substr(0, 80);
            continue;
        }
        const int known = network.index_of(uid);
        if (known >= 0) {
            ++repeated_nodes;
            index[i] = static_cast<std::uint32_t>(known);
            continue;
        }
        index[i] = static_cast<std::uint32_t>(network.add_person(
            person_of(m_nodes[i], uid, label_is_uid, file_has_photos, &left_out_photos)));
    }

    // Edges as pairs of people, sorted so that all edges of one pair lie together.
    std::vector<Pair> pairs;
    pairs.reserve(m_edges.size());
    size_t self_loops = 0, dangling = 0;
    for (const UTL_GraphEdge& e : m_edges) {
        const std::uint32_t a = e.m_source < index.size() ? index[e.m_source] : kNone;
        const std::uint32_t b = e.m_target < index.size() ? index[e.m_target] : kNone;
        if (a == kNone || b == kNone) {
            ++dangling;
        } else if (a == b) {
            ++self_loops;
        } else {
            const std::uint8_t ways = !e.m_directed ? 3 : a < b ? 1 : 2;
            pairs.push_back(Pair{std::min(a, b), std::max(a, b), ways});
        }
    }
    std::sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) {
        return x.lo != y.lo ? x.lo < y.lo : x.hi < y.hi;
    });
    // In a group of edges of one pair, one undirected edge or one edge each way is the
    // friendship; anything more repeats it.
    size_t repeated = 0, one_way = 0;
    for (size_t i = 0; i < pairs.size();) {
        size_t j = i;
        size_t undirected = 0, forward = 0, backward = 0;
        for (; j < pairs.size() && pairs[j].lo == pairs[i].lo && pairs[j].hi == pairs[i].hi; ++j) {
            undirected += pairs[j].ways == 3;
            forward += pairs[j].ways == 1;
            backward += pairs[j].ways == 2;
        }
        const size_t needed = undirected > 0 ? 1 : (forward > 0) + (backward > 0);
        repeated += (j - i) - needed;
        if (mutual_only && undirected == 0 && (forward == 0 || backward == 0)) {
            ++one_way;
        } else {
            network.add_friendship_at(pairs[i].lo, pairs[i].hi);
        }
        i = j;
    }

    if (bad_uids > 0) {
        warnings.push_back(name + ": " + counted(bad_uids, "node", "nodes") + " left out whose " +
                           (label_is_uid ? "label" : "id") + " is no usable uid (1 to 64 " +
                           "letters, digits, '_', '-', '.', '@' or ':'), the first '" + first_bad +
                           "'");
    }
    if (repeated_nodes > 0) {
        warnings.push_back(name + ": " + counted(repeated_nodes, "node repeats", "nodes repeat") +
                           " the uid of an earlier one; taken as that person");
    }
    if (left_out_photos > 0) {
        warnings.push_back(name + ": " +
                           counted(left_out_photos, "photo address", "photo addresses") +
                           " left out (only http and https are fetched)");
    }
    if (dangling > 0) {
        warnings.push_back(name + ": " + counted(dangling, "edge", "edges") + " of nodes left out");
    }
    if (self_loops > 0) {
        warnings.push_back(name + ": " + counted(self_loops, "self-loop", "self-loops") +
                           " skipped");
    }
    if (repeated > 0) {
        warnings.push_back(name + ": " + counted(repeated, "repeated edge", "repeated edges") +
                           " skipped (a pair counts once)");
    }
    if (one_way > 0) {
        warnings.push_back(name + ": " + counted(one_way, "pair that points", "pairs that point") +
                           " one way only left out (--mutual-only)");
    }
    if (network.friendship_count() == 0) {
        error = name + ": no friendships found";
        if (one_way > 0) error += " that point both ways";
        return false;
    }
    return true;
}

bool UTL_GraphData::is_person_attribute(const std::string& name) {
    for (const auto& list : {kNameAttributes, kPhotoAttributes, kSquareAttributes}) {
        for (const char* known : list) {
            if (equals_lower(name, known)) return true;
        }
    }
    return false;
}

UTL_ServicePerson UTL_GraphData::person_of(const UTL_GraphNode& node, const std::string& uid,
                                           bool label_is_uid, bool file_has_photos,
                                           size_t* left_out) {
    UTL_ServicePerson p;
    p.m_uid = uid;
    p.m_name = clean_name(first_of(node, kNameAttributes));
    // A tool's own label names the node too, unless it is only the number it became the uid.
    if (p.m_name.empty() && node.m_has_label && !(label_is_uid && all_digits(node.m_label))) {
        p.m_name = clean_name(node.m_label);
    }
    if (p.m_name.empty()) p.m_name = UTL_SocialNetwork::generated_name(uid);

    p.m_generated_photo = !file_has_photos;
    std::string pic = first_of(node, kPhotoAttributes);
    std::string square = first_of(node, kSquareAttributes);
    for (std::string* url : {&pic, &square}) {
        if (!url->empty() && !usable_address(*url)) {
            url->clear();
            if (left_out) ++*left_out;
        }
    }
    p.m_pic = pic;
    p.m_pic_square = square.empty() ? pic : square;
    return p;
}
