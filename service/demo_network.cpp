// The demo network: circles of friends with their own density, people in two circles who tie
// them together, and a sprinkle of chance acquaintances, all from a fixed seed.
#include "service/demo_network.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

// splitmix64: small, fast and the same on every platform, unlike rand().
struct Rng {
    std::uint64_t s;
    std::uint64_t next() {
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return (next() >> 11) * (1.0 / 9007199254740992.0); }
    size_t below(size_t n) { return static_cast<size_t>(next() % n); }
};

const char* const kFirstNames[] = {
    "Anna",   "Ben",    "Clara",  "David",  "Eva",     "Felix",  "Grace",    "Hugo",   "Inès",
    "Jonas",  "Karin",  "Liam",   "Mila",   "Noah",    "Olivia", "Paul",     "Quinn",  "Rosa",
    "Samuel", "Tara",   "Umar",   "Vera",   "William", "Yara",   "Zoë",      "Amir",   "Bianca",
    "Carlos", "Daria",  "Emil",   "Fatima", "Georg",   "Hanna",  "Ivan",     "Julia",  "Kenji",
    "Lena",   "Marco",  "Nina",   "Oskar",  "Priya",   "Rafael", "Sofia",    "Tomás",  "Ulla",
    "Viktor", "Wen",    "Ximena", "Yusuf",  "Zara",    "Alice",  "Bruno",    "Chloe",  "Dmitri",
    "Elif",   "Finn",   "Greta",  "Hassan", "Isla",    "Jakob",  "Kira",     "Lucas",  "Maria",
    "Nils",   "Ona",    "Pedro",  "Rita",   "Stefan",  "Thea",   "Valentin", "Wanda",  "Aiko",
    "Boris",  "Carmen", "Erik",   "Frida",  "Gabriel", "Helena", "Ingrid",   "Joel",   "Leila",
    "Mateo",  "Nora",   "Otto",   "Petra",  "Ruben",   "Selma",  "Teo",      "Vivian", "Alma",
    "Elias",  "Maja",
};

const char* const kSurnames[] = {
    "Andersen",   "Bauer",   "Costa",     "Dubois",   "Eriksson", "Fischer", "García",   "Horvat",
    "Ito",        "Jensen",  "Kowalski",  "Larsen",   "Moreau",   "Novak",   "Olsen",    "Petrov",
    "Quint",      "Rossi",   "Schmidt",   "Tanaka",   "Ulrich",   "Vogel",   "Weber",    "Yılmaz",
    "Zimmermann", "Almeida", "Brandt",    "Castillo", "Dahl",     "Engel",   "Ferreira", "Gruber",
    "Haas",       "Iversen", "Jovanović", "Keller",   "Lindgren", "Meyer",   "Nakamura", "Ortega",
    "Popescu",    "Richter", "Santos",    "Torres",   "Varga",    "Wagner",  "Young",    "Ahmed",
    "Berg",       "Chen",    "Duarte",    "Fontaine", "Hoffmann", "Kim",     "López",    "Martin",
    "Nowak",      "Park",    "Ruiz",      "Silva",    "Stein",    "Walsh",   "Sato",     "Hughes",
    "Ramos",
};

// The people met on travels, with their names as they write them.
const char* const kTravelNames[] = {
    "Zoë Ñúñez",
    "Åsa Öberg",
    "Νίκος Παπαδόπουλος",
    "Ελένη Κωνσταντίνου",
    "Дмитрий Соколов",
    "Анна Смирнова",
    "ليلى حداد",
    "عمر الفاروق",
    "佐藤 美咲",
    "田中 翔",
    "王芳",
    "김민준",
    "Søren Dalgaard",
    "Łucja Wiśniewska",
    "Nguyễn Thị Lan",
    "Siobhán Ó Briain",
};

constexpr const char* kFamilyName = "Lindqvist";

// One circle of a life: how many friends it gives, how closely they know each other, and how
// many of them also belong to the circle before it (a colleague who studied with you).
struct Circle {
    const char* name;
    int size;
    double density;
    int shared_with_previous;
};

const Circle kCircles[] = {
    {"family", 16, 0.75, 0},    {"school", 32, 0.42, 0},      {"university", 36, 0.33, 3},
    {"first job", 22, 0.45, 2}, {"current job", 42, 0.38, 2}, {"climbing club", 18, 0.55, 1},
    {"choir", 14, 0.70, 0},     {"neighbours", 10, 0.50, 0},  {"travels", 12, 0.04, 0},
};

constexpr double kAcrossDensity = 0.004;
constexpr int kTravelCircle = 8;

// About one person in twelve shows no photo. Decided by the uid, not by the generator's random
// numbers, so the rest of the network stays as it is.
bool has_photo(std::uint64_t uid) { return (uid * 0x9E3779B97F4A7C15ull) % 12 != 0; }

}  // namespace

UTL_SocialNetwork make_demo_network() {
    Rng rng{20240611};
    const size_t nf = sizeof kFirstNames / sizeof *kFirstNames;
    const size_t ns = sizeof kSurnames / sizeof *kSurnames;

    UTL_ServicePerson me{"100000417", std::string("Maya ") + kFamilyName, "", "", true};

    // Each friend with the circles they belong to.
    struct Member {
        UTL_ServicePerson person;
        std::vector<int> circles;
    };
    std::vector<Member> members;
    std::vector<std::string> used_names{me.m_name};
    std::uint64_t uid = 100000500;
    const int circles = static_cast<int>(sizeof kCircles / sizeof *kCircles);
    for (int c = 0; c < circles; ++c) {
        const Circle& circle = kCircles[c];
        // Some of the previous circle's people are in this one too.
        for (int k = 0; k < circle.shared_with_previous; ++k) {
            for (int tries = 0; tries < 20; ++tries) {
                Member& m = members[members.size() - 1 - rng.below(kCircles[c - 1].size)];
                if (m.circles.back() == c - 1) {
                    m.circles.push_back(c);
                    break;
                }
            }
        }
        for (int k = 0; k < circle.size; ++k) {
            std::string name;
            do {
                if (c == kTravelCircle) {
                    name = kTravelNames[rng.below(sizeof kTravelNames / sizeof *kTravelNames)];
                    continue;
                }
                const char* surname = c == 0 && k < 9 ? kFamilyName : kSurnames[rng.below(ns)];
                name = std::string(kFirstNames[rng.below(nf)]) + " " + surname;
            } while ([&] {
                for (const std::string& u : used_names)
                    if (u == name) return true;
                return false;
            }());
            used_names.push_back(name);
            uid += 1 + rng.below(3000);
            members.push_back(
                Member{UTL_ServicePerson{std::to_string(uid), name, "", "", has_photo(uid)}, {c}});
        }
    }

    std::vector<UTL_ServicePerson> friends;
    for (const Member& m : members) friends.push_back(m.person);
    UTL_SocialNetwork g;
    g.set_people(me, friends);

    for (size_t i = 0; i < members.size(); ++i)
        for (size_t j = i + 1; j < members.size(); ++j) {
            double p = kAcrossDensity;
            for (int a : members[i].circles)
                for (int b : members[j].circles)
                    if (a == b && kCircles[a].density > p) p = kCircles[a].density;
            if (rng.unit() < p) g.add_friendship(members[i].person.m_uid, members[j].person.m_uid);
        }
    return g;
}
