// UTL_SavedNetwork: the network on the globe as plain data (people with their attributes, the
// lines between them) and its GraphML form, written atomically for --save-graph.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class UTL_SimCtrlNimbra;

struct UTL_SavedPerson {
    std::string m_uid;
    std::string m_name;
    std::string m_pic;         // "" when the person shows no photo of their own
    std::string m_pic_square;  // written only when it differs from m_pic
    // One value per entry of UTL_SavedNetwork::m_extra_keys, in its order ("" leaves it out).
    std::vector<std::string> m_extra;
};

class UTL_SavedNetwork {
public:
    // A node attribute beyond label, pic and pic_square: its name and GraphML type ("string",
    // "int", "long", "float", "double" or "boolean").
    struct Key {
        std::string m_name;
        std::string m_type;
    };

    // The people shown, the user first (a reader that picks the best-connected person as the
    // user then picks the user, even on a tie), then the friends in their order of arrival;
    // every line between two of them once, as indexes into m_people.
    std::vector<UTL_SavedPerson> m_people;
    std::vector<std::pair<size_t, size_t>> m_edges;
    std::vector<Key> m_extra_keys;

    // What the controller shows, with the extra keys circle (an index into the controller's
    // circles, -1 for the user), longitude and latitude (degrees). Photos whose address starts with
    // fresh_photos are made afresh at another address on every start, so they are left out rather
    // than saved dead.
    static UTL_SavedNetwork of(const UTL_SimCtrlNimbra& controller,
                               const std::string& fresh_photos);

    // The GraphML document: an undirected graph, nodes with id = uid and the data label, pic
    // (and pic_square, the extra keys), every line one edge. Text that XML cannot carry
    // (control characters, broken UTF-8) is replaced.
    std::string graphml() const;
    // Writes graphml() to path through a temporary file beside it and a rename, so an earlier
    // file is never left half-written. False with the reason in error.
    bool write_graphml(const std::string& path, std::string& error) const;
};
