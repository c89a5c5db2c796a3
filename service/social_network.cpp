// UTL_SocialNetwork: people, friendships and the ego; the edge-list and people-file readers.
#include "service/social_network.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace {

// Splits one CSV line into fields; double quotes enclose fields with commas, "" is a quote.
std::vector<std::string> split_csv(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

bool is_comment_or_blank(const std::string& line) {
    std::string t = trim(line);
    return t.empty() || t[0] == '#' || t[0] == '%';
}

bool has_digit(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool is_number(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Lines longer than this are not an edge list's and are skipped unread.
constexpr size_t kMaxLine = 4096;

// The next line of a data file that is neither blank nor a comment, its CR taken off; lines
// over kMaxLine count in skipped. False at the end of the file.
bool next_data_line(std::istream& in, std::string& line, size_t& skipped) {
    while (std::getline(in, line)) {
        if (line.size() > kMaxLine) {
            ++skipped;
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!is_comment_or_blank(line)) return true;
    }
    return false;
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
    int a = index_of(uid1), b = index_of(uid2);
    if (a < 0 || b < 0 || a == b) return;
    if (!m_links.insert(key(a, b)).second) return;
    m_neighbours[a].push_back(static_cast<std::uint32_t>(b));
    m_neighbours[b].push_back(static_cast<std::uint32_t>(a));
    if (m_ego == a && m_ego_friends.size() < kMaxFriends) m_ego_friends.push_back(uid2);
    if (m_ego == b && m_ego_friends.size() < kMaxFriends) m_ego_friends.push_back(uid1);
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
    size_t skipped = 0, edges = 0, data_lines = 0;
    std::string line;
    while (next_data_line(in, line, skipped)) {
        ++data_lines;
        std::string a, b;
        bool csv = line.find(',') != std::string::npos;
        if (csv) {
            std::vector<std::string> fields = split_csv(line);
            if (fields.size() >= 2) {
                a = trim(fields[0]);
                b = trim(fields[1]);
            }
        } else {
            size_t p = line.find_first_not_of(" \t");
            size_t q = line.find_first_of(" \t", p);
            size_t r = q == std::string::npos ? q : line.find_first_not_of(" \t", q);
            if (r != std::string::npos) {
                a = line.substr(p, q - p);
                b = line.substr(r, line.find_first_of(" \t", r) - r);
            }
        }
        // A first line of column names ("source,target") is a header, not two people.
        if (csv && data_lines == 1 && !has_digit(a) && !has_digit(b)) continue;
        // SNAP files number their people; CSV files may name them.
        bool numbers = is_number(a) && is_number(b);
        if (!valid_uid(a) || !valid_uid(b) || a == b || (!csv && !numbers)) {
            ++skipped;
            continue;
        }
        for (const std::string* uid : {&a, &b}) {
            if (index_of(*uid) < 0) {
                UTL_ServicePerson p;
                p.m_uid = *uid;
                p.m_name = generated_name(*uid);
                p.m_generated_photo = true;
                add_person(p);
            }
        }
        add_friendship(a, b);
        ++edges;
    }
    if (skipped > 0) warning = std::to_string(skipped) + " unreadable lines skipped";
    if (m_links.empty()) {
        error = path + ": no friendships found (expected lines of two person ids, 'a b')";
        return false;
    }
    (void)edges;
    return true;
}

bool UTL_SocialNetwork::read_people(const std::string& path, std::string& error,
                                    std::string& warning) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the people file";
        return false;
    }
    size_t skipped = 0, rows = 0;
    std::string line;
    while (next_data_line(in, line, skipped)) {
        std::vector<std::string> fields = split_csv(line);
        for (std::string& f : fields) f = trim(f);
        if (++rows == 1 && fields[0] == "uid") continue;
        int index = index_of(fields[0]);
        if (index < 0 || fields.size() < 2) {
            ++skipped;
            continue;
        }
        UTL_ServicePerson& p = m_people[index];
        if (!fields[1].empty()) p.m_name = fields[1];
        p.m_pic = fields.size() > 2 ? fields[2] : "";
        p.m_pic_square = fields.size() > 3 ? fields[3] : "";
        p.m_generated_photo = false;
    }
    if (skipped > 0) warning = std::to_string(skipped) + " people rows skipped";
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
            c != '@') {
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
