// UTL_SocialNetwork: people, friendships and the ego; the people-file reader.
#include "service/social_network.h"

#include "service/data_lines.h"
#include "service/edge_list.h"
#include "service/graph_data.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : "\n") + line;
    return out;
}

}  // namespace

// --- Construction -----------------------------------------------------------------------------

size_t UTL_SocialNetwork::add_person(const UTL_ServicePerson& person) {
    auto found = m_index.find(person.m_uid);
    if (found != m_index.end()) {
        m_people[found->second] = person;
        return found->second;
    }
    std::uint32_t index = static_cast<std::uint32_t>(m_people.size());
    m_people.push_back(person);
    m_neighbours.emplace_back();
    m_index.emplace(person.m_uid, index);
    return index;
}

void UTL_SocialNetwork::add_friendship(const std::string& uid1, const std::string& uid2) {
    const int a = index_of(uid1), b = index_of(uid2);
    if (a >= 0 && b >= 0) add_friendship_at(a, b);
}

bool UTL_SocialNetwork::add_friendship_at(size_t a, size_t b) {
    if (a >= m_people.size() || b >= m_people.size() || a == b) return false;
    const std::uint32_t ia = static_cast<std::uint32_t>(a), ib = static_cast<std::uint32_t>(b);
    if (!m_links.insert(key(ia, ib)).second) return false;
    m_neighbours[a].push_back(ib);
    m_neighbours[b].push_back(ia);
    const int ego = m_ego;
    if (ego == static_cast<int>(a) && m_ego_friends.size() < kMaxFriends) {
        m_ego_friends.push_back(m_people[b].m_uid);
    }
    if (ego == static_cast<int>(b) && m_ego_friends.size() < kMaxFriends) {
        m_ego_friends.push_back(m_people[a].m_uid);
    }
    return true;
}

void UTL_SocialNetwork::reserve(size_t people, size_t friendships) {
    m_people.reserve(people);
    m_neighbours.reserve(people);
    m_index.reserve(people);
    m_links.reserve(friendships);
}

void UTL_SocialNetwork::set_people(const UTL_ServicePerson& me,
                                   const std::vector<UTL_ServicePerson>& friends) {
    add_person(me);
    for (const UTL_ServicePerson& f : friends) add_person(f);
    m_ego = index_of(me.m_uid);
    for (const UTL_ServicePerson& f : friends) add_friendship(me.m_uid, f.m_uid);
}

bool UTL_SocialNetwork::read_edge_list(const std::string& path, std::string& error,
                                       std::string& warning) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the graph file";
        return false;
    }
    UTL_GraphData data;
    std::vector<std::string> warnings;
    const UTL_GraphLimits limits;
    const bool ok = UTL_EdgeListReader::read(in, path, limits, data, error) &&
                    data.add_to(*this, false, limits, path, error, warnings);
    warning = joined(warnings);
    return ok;
}

bool UTL_SocialNetwork::read_people(const std::string& path, std::string& error,
                                    std::string& warning) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the people file";
        return false;
    }
    UTL_DataLines lines(in, path);
    size_t rows = 0;
    std::string line;
    while (lines.next(line)) {
        std::vector<std::string> fields = UTL_DataLines::split_csv(line);
        for (std::string& f : fields) f = UTL_DataLines::trim(f);
        if (++rows == 1 && fields[0] == "uid") continue;
        const int index = index_of(fields[0]);
        if (fields.size() < 2) {
            lines.skip("no name: expected uid,name,pic,pic_square");
        } else if (index < 0) {
            lines.skip("no person '" + fields[0].substr(0, 64) + "' in the graph");
        } else {
            UTL_ServicePerson& p = m_people[index];
            if (!fields[1].empty()) p.m_name = fields[1];
            p.m_pic = fields.size() > 2 ? fields[2] : "";
            // A row without a square photo shows its photo there too, as graph files do.
            p.m_pic_square = fields.size() > 3 && !fields[3].empty() ? fields[3] : p.m_pic;
            p.m_generated_photo = false;
        }
    }
    warning = joined(lines.notes("people row", "people rows"));
    return true;
}

bool UTL_SocialNetwork::set_ego(const std::string& uid) {
    int index = index_of(uid);
    if (index < 0 || m_neighbours[index].empty()) return false;
    m_ego = index;
    m_ego_friends.clear();
    // Friends in the order they became known, which for a numbered file is ascending.
    std::vector<std::uint32_t> order = m_neighbours[index];
    std::sort(order.begin(), order.end());
    for (std::uint32_t f : order) {
        if (m_ego_friends.size() >= kMaxFriends) break;
        m_ego_friends.push_back(m_people[f].m_uid);
    }
    return true;
}

bool UTL_SocialNetwork::choose_ego() {
    size_t best = 0;
    int best_index = -1;
    for (size_t i = 0; i < m_neighbours.size(); ++i) {
        if (m_neighbours[i].size() > best) {
            best = m_neighbours[i].size();
            best_index = static_cast<int>(i);
        }
    }
    return best_index >= 0 && set_ego(m_people[best_index].m_uid);
}

// --- Reading ----------------------------------------------------------------------------------

const UTL_ServicePerson* UTL_SocialNetwork::ego() const {
    return m_ego >= 0 ? &m_people[m_ego] : nullptr;
}

const UTL_ServicePerson* UTL_SocialNetwork::find(const std::string& uid) const {
    int index = index_of(uid);
    return index >= 0 ? &m_people[index] : nullptr;
}

bool UTL_SocialNetwork::are_friends(const std::string& uid1, const std::string& uid2) const {
    int a = index_of(uid1), b = index_of(uid2);
    return a >= 0 && b >= 0 && a != b && m_links.count(key(a, b)) > 0;
}

size_t UTL_SocialNetwork::friend_count_of(const std::string& uid) const {
    int index = index_of(uid);
    return index >= 0 ? m_neighbours[index].size() : 0;
}

size_t UTL_SocialNetwork::friendships_among_friends() const {
    size_t count = 0;
    for (size_t i = 0; i < m_ego_friends.size(); ++i) {
        for (size_t j = i + 1; j < m_ego_friends.size(); ++j) {
            if (are_friends(m_ego_friends[i], m_ego_friends[j])) ++count;
        }
    }
    return count;
}

std::string UTL_SocialNetwork::generated_name(const std::string& uid) {
    static const char* const first[] = {
        "Anna",  "Ben",   "Clara",  "David", "Elena", "Felix", "Greta", "Hugo",  "Ines",   "Jonas",
        "Katja", "Lukas", "Mira",   "Nils",  "Olga",  "Paul",  "Quinn", "Rosa",  "Simon",  "Tara",
        "Uwe",   "Vera",  "Walter", "Yara",  "Zoe",   "Marta", "Leon",  "Sofia", "Emil",   "Lena",
        "Oskar", "Hanna", "Milan",  "Nora",  "Jakob", "Alma",  "Theo",  "Ida",   "Moritz", "Carla"};
    static const char* const last[] = {
        "Berger", "Novak",    "Keller",  "Lindqvist", "Moreau", "Rossi",   "Schmidt", "Horvat",
        "Jansen", "Kowalski", "Almeida", "Fischer",   "Dubois", "Weber",   "Costa",   "Nielsen",
        "Brandt", "Varga",    "Lang",    "Hoffmann",  "Marino", "Svoboda", "Pereira", "Vogel",
        "Meyer",  "Bauer",    "Richter", "Wagner",    "Haas",   "Kraus",   "Sommer",  "Winter"};
    // FNV-1a: stable across runs and platforms, unlike std::hash.
    std::uint32_t h = 2166136261u;
    for (char c : uid) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    const size_t nf = sizeof(first) / sizeof(first[0]), nl = sizeof(last) / sizeof(last[0]);
    return std::string(first[h % nf]) + " " + last[(h / nf) % nl];
}

bool UTL_SocialNetwork::valid_uid(const std::string& uid) {
    if (uid.empty() || uid.size() > 64) return false;
    for (char c : uid) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.' &&
            c != '@' && c != ':') {
            return false;
        }
    }
    return true;
}

// --- Helpers ----------------------------------------------------------------------------------

std::uint64_t UTL_SocialNetwork::key(std::uint32_t a, std::uint32_t b) {
    if (a > b) std::swap(a, b);
    return (static_cast<std::uint64_t>(a) << 32) | b;
}

int UTL_SocialNetwork::index_of(const std::string& uid) const {
    auto found = m_index.find(uid);
    return found == m_index.end() ? -1 : static_cast<int>(found->second);
}
