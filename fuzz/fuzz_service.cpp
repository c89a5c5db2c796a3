// libFuzzer target for what the social service and its connection read from outside: edge-list
// and people files, signed REST calls with any fields, and any XML as the answers the
// acquisition turns into people and friendships (and its status line). The first byte chooses
// which.
#include "sources/service_source.h"
#include "service/signature.h"
#include "service/social_service.h"
#include "widgets/status_line.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// Counts what it is given and answers uids from a fixed list.
struct CountingTarget : UTL_AcquisitionTarget {
    size_t calls = 0;
    std::vector<std::string> friends{"1", "2", "3"};
    void add_myself(const char*, const char*, const char*, const char*) override { ++calls; }
    void add_friend(const char* uid, const char*, const char*, const char*) override {
        ++calls;
        if (friends.size() < 64) friends.push_back(uid);
    }
    void create_friends_locators() override { ++calls; }
    void add_connections_for_myself() override { ++calls; }
    void add_connection(const char* a, const char* b, float, bool) override {
        calls += a[0] + b[0] > 0;
    }
    int friend_count() const override { return static_cast<int>(friends.size()); }
    const char* get_friend_id(int i) const override { return friends[i].c_str(); }
};

std::string temp_file(const std::string& text) {
    static const std::string path = "/tmp/nimbra_fuzz_service_" + std::to_string(getpid());
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    return path;
}

UTL_SocialNetwork small_network() {
    UTL_SocialNetwork net;
    net.set_people({"1", "One", "", "", true},
                   {{"2", "Two", "", "", true}, {"3", "Three", "", "", false}});
    net.add_friendship("2", "3");
    return net;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string error, warning;
    switch (data[0] % 4) {
        case 0: {
            UTL_SocialNetwork net;
            if (net.read_edge_list(temp_file(text), error, warning) && net.choose_ego() &&
                net.friends().size() < 100) {
                net.friendships_among_friends();
            }
            break;
        }
        case 1: {
            UTL_SocialNetwork net = small_network();
            net.read_people(temp_file(text), error, warning);
            for (const char* uid : {"1", "2", "3"}) (void)net.find(uid)->m_name.size();
            break;
        }
        case 2: {
            // Signed with the right key and session, so the calls reach the methods.
            static UTL_SocialService service(small_network(), kNimbraApiKey, kNimbraSecret);
            static std::string session = [] {
                std::map<std::string, std::string> login{{"method", "auth.getSession"},
                                                         {"auth_token", service.standing_token()},
                                                         {"api_key", kNimbraApiKey}};
                login["sig"] = request_signature(login, kNimbraSecret);
                UTL_ServiceAnswer answer;
                answer.parse(service.answer(login, "http://h"), "");
                return std::string(answer.root_element().child_value("session_key"));
            }();
            std::map<std::string, std::string> fields = UTL_SocialService::parse_form(text);
            fields["api_key"] = kNimbraApiKey;
            if (fields.count("session_key") == 0) fields["session_key"] = session;
            fields["sig"] = request_signature(fields, kNimbraSecret);
            UTL_ServiceAnswer answer;
            answer.parse(service.answer(fields, "http://h"), "");
            break;
        }
        default: {
            CountingTarget target;
            UTL_ServiceSource acquisition(&target, nullptr, UTL_ServiceSourceOptions());
            UTL_ServiceAnswer friends, people, pairs;
            friends.parse(text, "friends_get_response");
            acquisition.gotFriends(friends);
            people.parse(text, "users_getInfo_response");
            acquisition.gotUserInfo(people);
            pairs.parse(text, "friends_areFriends_response");
            pairs.keep_children([](const pugi::xml_node& entry) {
                return entry.child_value("are_friends")[0] == '1';
            });
            acquisition.gotAreFriends(pairs);
            // Whatever a service says may end up in the status line.
            (void)GFX_StatusLine::drawable(acquisition.status_text() + text, 100).size();
            break;
        }
    }
    return 0;
}
