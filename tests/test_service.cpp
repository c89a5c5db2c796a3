// Tests of the social service on 127.0.0.1: network files, the signed REST methods and their
// error answers, hostile requests, portraits, and the connection's login and kept session.
#include "sources/service_connection.h"
#include "service/demo_network.h"
#include "service/portrait.h"
#include "service/signature.h"
#include "service/social_service.h"
#include "tests/support/offscreen_gl.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <jpeglib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <thread>

namespace {

std::string temp_path(const std::string& name) {
    return testing::TempDir() + "nimbra_service_" + std::to_string(getpid()) + "_" + name;
}

std::string write_file(const std::string& name, const std::string& text) {
    std::string path = temp_path(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// A user "me" with friends f1..f4; f1-f2 and f3-f4 are friends, and a stranger knows f1.
UTL_SocialNetwork small_network() {
    UTL_SocialNetwork net;
    UTL_ServicePerson me{"me", "Maya Moreau", "", "", true};
    std::vector<UTL_ServicePerson> friends;
    for (int i = 1; i <= 4; ++i) {
        friends.push_back({"f" + std::to_string(i), "Friend " + std::to_string(i), "", "", i != 4});
    }
    net.set_people(me, friends);
    net.add_person({"stranger", "Stranger", "", "", true});
    net.add_friendship("f1", "f2");
    net.add_friendship("f3", "f4");
    net.add_friendship("f1", "stranger");
    return net;
}

// Signed form fields as the application sends them.
std::map<std::string, std::string> signed_call(std::map<std::string, std::string> fields,
                                               const std::string& session = "") {
    fields["api_key"] = kNimbraApiKey;
    fields["v"] = "1.0";
    fields["call_id"] = "1";
    if (!session.empty()) fields["session_key"] = session;
    fields["sig"] = request_signature(fields, kNimbraSecret);
    return fields;
}

httplib::Params params_of(const std::map<std::string, std::string>& fields) {
    httplib::Params p;
    for (const auto& [k, v] : fields) p.emplace(k, v);
    return p;
}

// Records the login's outcome.
struct LoginRecorder : UTL_ServiceConnectionDelegate {
    int successes = 0;
    int failures = 0;
    std::string reason;
    void userLoginSuccessful() override { ++successes; }
    void userLoginFailed(const std::string& why) override {
        ++failures;
        reason = why;
    }
};

// Dispatches answers until done() or the time is up.
template <class Done>
bool pump(UTL_ServiceConnection& c, Done done, int ms = 60000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        c.dispatch_answers();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool decodes_as_jpeg(const std::string& bytes, int& w, int& h) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    bool ok = jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK;
    w = cinfo.image_width;
    h = cinfo.image_height;
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

}  // namespace

TEST(ServiceNetwork, ReadsEdgeListsInBothFormsAndPicksTheEgo) {
    std::string error, warning;
    UTL_SocialNetwork snap;
    std::string path = write_file("snap.txt",
                                  "# comment\n% other comment\n1 2\n1 3 extra\n1 4\n2 3\n\n"
                                  "3 3\n1 2\nbad\nx$ 1\nnot an edge\n5\t1\r\n");
    ASSERT_TRUE(snap.read_edge_list(path, error, warning)) << error;
    EXPECT_EQ(snap.person_count(), 5u);
    EXPECT_EQ(snap.friendship_count(), 5u);  // the repeat and the self-friendship are dropped
    // Unreadable lines are told by number; a self-loop and a repeat are counted as such.
    for (const char* told : {"line 10: not an edge", "line 11: not an edge", "line 12: not an edge",
                             "1 self-loop skipped", "1 repeated edge skipped"}) {
        EXPECT_NE(warning.find(told), std::string::npos) << told << " in\n" << warning;
    }
    ASSERT_TRUE(snap.choose_ego());
    EXPECT_EQ(snap.ego()->m_uid, "1");
    EXPECT_EQ(snap.friends(), (std::vector<std::string>{"2", "3", "4", "5"}));
    EXPECT_TRUE(snap.are_friends("3", "2"));
    EXPECT_FALSE(snap.are_friends("4", "5"));
    EXPECT_FALSE(snap.are_friends("4", "nobody"));
    EXPECT_FALSE(snap.find("2")->m_name.empty());
    EXPECT_TRUE(snap.set_ego("3"));
    EXPECT_EQ(snap.friends(), (std::vector<std::string>{"1", "2"}));
    EXPECT_FALSE(snap.set_ego("nobody"));

    UTL_SocialNetwork csv;
    path = write_file("edges.csv", "source,target\n10,20\n10,30\n\"20\",30\n");
    ASSERT_TRUE(csv.read_edge_list(path, error, warning)) << error;
    EXPECT_EQ(csv.friendship_count(), 3u);
    std::string people =
        write_file("people.csv",
                   "uid,name,pic,pic_square\n10,\"Doe, Jane\",http://x/p.jpg,http://x/q.jpg\n"
                   "20,Max\n99,Nobody\n30\n91,a\n92,b\n93,c\n94,d\n95,e\n");
    ASSERT_TRUE(csv.read_people(people, error, warning));
    EXPECT_EQ(csv.find("10")->m_name, "Doe, Jane");
    EXPECT_EQ(csv.find("10")->m_pic_square, "http://x/q.jpg");
    EXPECT_FALSE(csv.find("20")->m_generated_photo);  // named in the file without a photo
    EXPECT_TRUE(csv.find("30")->m_generated_photo);
    // The first five skipped rows with their numbers and reasons, then a count.
    EXPECT_NE(warning.find("people.csv: line 4: no person '99' in the graph"), std::string::npos)
        << warning;
    EXPECT_NE(warning.find("line 5: no name"), std::string::npos) << warning;
    EXPECT_EQ(warning.find("line 9:"), std::string::npos) << warning;
    EXPECT_NE(warning.find("2 people rows more skipped"), std::string::npos) << warning;
    // A row without a square photo shows its photo in the square too (the docks).
    people = write_file("people2.csv", "10,Jane,http://x/p.jpg\n20,Max,http://x/m.jpg,\n");
    ASSERT_TRUE(csv.read_people(people, error, warning));
    EXPECT_EQ(csv.find("10")->m_pic_square, "http://x/p.jpg");
    EXPECT_EQ(csv.find("20")->m_pic_square, "http://x/m.jpg");

    // Hostile lines are skipped and counted, the good ones around them kept: control bytes, an
    // endless id on an endless line, a last line without its newline.
    UTL_SocialNetwork hostile;
    std::string text = "1 2\n-1 3\n\x01\x02\xff\n";
    text += std::string(100000, '7') + " 1\n";
    text += "3 1\n1 4";
    ASSERT_TRUE(hostile.read_edge_list(write_file("hostile.txt", text), error, warning)) << error;
    EXPECT_EQ(hostile.friendship_count(), 3u);
    EXPECT_TRUE(hostile.are_friends("4", "1"));
    for (const char* told : {"line 2: not an edge", "line 3: not an edge", "line 4: longer than"}) {
        EXPECT_NE(warning.find(told), std::string::npos) << told << " in\n" << warning;
    }

    UTL_SocialNetwork empty;
    EXPECT_FALSE(empty.read_edge_list(write_file("junk.bin", std::string("\0\xff\x01 \n", 5)),
                                      error, warning));
    EXPECT_FALSE(empty.read_edge_list(temp_path("missing"), error, warning));
    EXPECT_FALSE(empty.read_edge_list(::testing::TempDir(), error, warning));  // a folder
    EXPECT_FALSE(empty.choose_ego());
}

TEST(ServiceNetwork, DemoNetworkHasCirclesAndMostlyPortraits) {
    const UTL_SocialNetwork g = make_demo_network();
    ASSERT_TRUE(g.has_ego());
    const std::vector<std::string>& f = g.friends();
    EXPECT_GE(f.size(), 150u);
    EXPECT_LE(f.size(), 250u);
    std::set<std::string> names{g.ego()->m_name};
    size_t without_photo = 0;
    for (const std::string& uid : f) {
        names.insert(g.find(uid)->m_name);
        without_photo += !g.find(uid)->m_generated_photo;
    }
    EXPECT_EQ(names.size(), f.size() + 1);
    EXPECT_GT(without_photo, f.size() / 30);
    EXPECT_LT(without_photo, f.size() / 6);

    // Friends who arrive close together (one circle) know each other far more often than
    // friends far apart, who still know each other now and then.
    size_t near = 0, near_links = 0, far = 0, far_links = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        for (size_t j = i + 1; j < f.size(); ++j) {
            const bool linked = g.are_friends(f[i], f[j]);
            if (j - i <= 5) near++, near_links += linked;
            else if (j - i >= 80) far++, far_links += linked;
        }
    }
    EXPECT_GT(near_links * 1.0 / near, 0.3);
    EXPECT_LT(far_links * 1.0 / far, 0.02);
    EXPECT_GT(far_links, 0u);

    // The same network every time.
    const UTL_SocialNetwork again = make_demo_network();
    EXPECT_EQ(again.friends(), f);
    EXPECT_EQ(again.find(f.back())->m_name, g.find(f.back())->m_name);
    EXPECT_EQ(again.friendship_count(), g.friendship_count());
}

TEST(ServiceProtocol, SignaturesAreMd5OfSortedPairsAndSecret) {
    EXPECT_EQ(md5_hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    std::map<std::string, std::string> p{{"b", "2"}, {"a", "1"}, {"sig", "ignored"}};
    EXPECT_EQ(request_signature(p, "s3cr3t"), "2b23dcb025e26406f99343498b21fdd6");
    std::map<std::string, std::string> call{
        {"method", "facebook.friends.get"}, {"api_key", "k"}, {"call_id", "7"}, {"v", "1.0"}};
    EXPECT_EQ(request_signature(call, "S"), "9d05971e44b7cb5fed8f861d084c36d6");
    EXPECT_EQ(UTL_ServiceRequest::expected_root("facebook.friends.areFriends"),
              "friends_areFriends_response");
    EXPECT_EQ(UTL_ServiceRequest::expected_root("auth.getSession"), "auth_getSession_response");
}

TEST(ServiceProtocol, AnswerReadingAndValidity) {
    UTL_ServiceAnswer a;
    a.parse(
        "<friends_get_response list=\"true\"><uid>1</uid> <uid>22</uid><!-- c --><uid/>"
        "</friends_get_response>",
        "friends_get_response");
    ASSERT_TRUE(a.valid_response());
    EXPECT_EQ(UTL_ServiceAnswer::array_from_xml_element(a.root_element()),
              (std::vector<std::string>{"1", "22", ""}));

    UTL_ServiceAnswer d;
    d.parse(
        "<friends_areFriends_response><friend_info><uid1>1</uid1><uid2>2</uid2>"
        "<are_friends>1</are_friends></friend_info><friend_info><uid1>3</uid1>"
        "</friend_info></friends_areFriends_response>",
        "friends_areFriends_response");
    auto entries = UTL_ServiceAnswer::dictionary_array_from_xml_element(d.root_element());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0]["are_friends"], "1");
    EXPECT_EQ(entries[1].count("uid2"), 0u);

    struct Case {
        const char* body;
        const char* why;
    } invalid[] = {
        {"<error_response><error_code>102</error_code><error_msg>Session</error_msg>"
         "</error_response>",
         "error 102: Session"},
        {"<html><body>Bad gateway</body></html>", "an HTML page instead of the service's answer"},
        {"<!DOCTYPE html>\n<html><body><p>Bad gateway<br></body></html>",
         "an HTML page instead of the service's answer"},
        {"<friends_get_response><uid>1</uid>", "an answer that ends too early"},
        {"", "an empty answer"},
        {"not xml at all", "an unreadable answer (14 bytes that are not XML)"},
        {"<users_getInfo_response/>", "an unexpected answer <users_getInfo_response>"},
    };
    for (const Case& c : invalid) {
        UTL_ServiceAnswer bad;
        bad.parse(c.body, "friends_get_response");
        EXPECT_FALSE(bad.valid_response()) << c.body;
        EXPECT_NE(bad.error_text().find(c.why), std::string::npos) << bad.error_text();
    }
    UTL_ServiceAnswer failed;
    failed.set_failure("Couldn't connect to server");
    EXPECT_FALSE(failed.valid_response());
    EXPECT_EQ(failed.error_text(), "Couldn't connect to server");
}

TEST(ServiceHttp, AnswersTheMethodsAndRefusesBadCalls) {
    UTL_SocialService service(small_network(), kNimbraApiKey, kNimbraSecret);
    int port = service.start("127.0.0.1", 0);
    ASSERT_GT(port, 0);
    httplib::Client client("127.0.0.1", port);
    auto post = [&](const std::map<std::string, std::string>& fields) {
        auto res = client.Post("/restserver.php", params_of(fields));
        return res ? res->body : std::string("no answer");
    };
    auto parsed = [&](const std::map<std::string, std::string>& fields, const char* root) {
        auto answer = std::make_unique<UTL_ServiceAnswer>();
        answer->parse(post(fields), root);
        return answer;
    };

    // Login with a token the service issued.
    auto token = parsed(signed_call({{"method", "auth.createToken"}}), "auth_createToken_response");
    ASSERT_TRUE(token->valid_response());
    auto session = parsed(signed_call({{"method", "auth.getSession"},
                                       {"auth_token", token->root_element().text().get()}}),
                          "auth_getSession_response");
    ASSERT_TRUE(session->valid_response());
    std::string key = session->root_element().child_value("session_key");
    EXPECT_STREQ(session->root_element().child_value("uid"), "me");
    // A token is good for one session only.
    auto again = parsed(signed_call({{"method", "auth.getSession"},
                                     {"auth_token", token->root_element().text().get()}}),
                        "auth_getSession_response");
    EXPECT_EQ(again->error_code(), 105);

    auto friends =
        parsed(signed_call({{"method", "facebook.friends.get"}}, key), "friends_get_response");
    EXPECT_EQ(UTL_ServiceAnswer::array_from_xml_element(friends->root_element()),
              (std::vector<std::string>{"f1", "f2", "f3", "f4"}));

    auto info = parsed(signed_call({{"method", "facebook.users.getInfo"},
                                    {"uids", "f4,me,ghost,f1"},
                                    {"fields", "name,status,pic,pic_big,pic_small,pic_square"}},
                                   key),
                       "users_getInfo_response");
    auto users = UTL_ServiceAnswer::dictionary_array_from_xml_element(info->root_element());
    ASSERT_EQ(users.size(), 3u);  // the unknown uid is left out
    EXPECT_EQ(users[0]["uid"], "f4");
    EXPECT_EQ(users[0]["pic"], "");  // a person without photo
    EXPECT_EQ(users[1]["name"], "Maya Moreau");
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(users[2]["pic"], base + "/photos/f1.jpg");
    EXPECT_EQ(users[2]["pic_square"], base + "/photos/f1_q.jpg");
    EXPECT_EQ(users[2].count("pic_big"), 1u);

    auto pairs = parsed(signed_call({{"method", "facebook.friends.areFriends"},
                                     {"uids1", "f1,f1,f3,f1,f2"},
                                     {"uids2", "f2,f3,f4,stranger,ghost"}},
                                    key),
                        "friends_areFriends_response");
    std::string flags;
    for (auto& e : UTL_ServiceAnswer::dictionary_array_from_xml_element(pairs->root_element())) {
        flags += e["are_friends"];
    }
    EXPECT_EQ(flags, "10110");

    // Refusals, each in the protocol's error form.
    auto bad_key = signed_call({{"method", "facebook.friends.get"}}, key);
    bad_key["api_key"] = "0123";
    auto bad_sig = signed_call({{"method", "facebook.friends.get"}}, key);
    bad_sig["sig"] = "00000000000000000000000000000000";
    auto tampered = signed_call({{"method", "facebook.friends.get"}}, key);
    tampered["call_id"] = "2";
    struct Refusal {
        std::map<std::string, std::string> fields;
        int code;
    } refusals[] = {
        {bad_key, 101},
        {bad_sig, 104},
        {tampered, 104},
        {{{"method", "facebook.friends.get"}}, 101},
        {signed_call({{"method", "facebook.friends.get"}}), 102},
        {signed_call({{"method", "facebook.friends.get"}}, key + "x"), 102},
        {signed_call({{"method", "facebook.photos.get"}}, key), 3},
        {signed_call({{"method", "auth.getSession"}, {"auth_token", "guess"}}), 105},
        {signed_call(
             {{"method", "facebook.friends.areFriends"}, {"uids1", "f1,f2"}, {"uids2", "f3"}}, key),
         100},
        {signed_call({{"method", "facebook.users.getInfo"}}, key), 100},
    };
    for (const Refusal& r : refusals) {
        UTL_ServiceAnswer answer;
        answer.parse(post(r.fields), "");
        EXPECT_STREQ(answer.root_element().name(), "error_response");
        EXPECT_EQ(answer.error_code(), r.code) << answer.error_text();
    }
    service.stop();
}

TEST(ServiceHttp, SurvivesMalformedRequestsAndServesPortraits) {
    UTL_SocialService service(small_network(), kNimbraApiKey, kNimbraSecret);
    int port = service.start("127.0.0.1", 0);
    ASSERT_GT(port, 0);
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(5, 0);

    auto junk = client.Post("/restserver.php", std::string("\x01\x02=&&==%zz%", 11),
                            "application/x-www-form-urlencoded");
    ASSERT_TRUE(junk);
    EXPECT_NE(junk->body.find("<error_response>"), std::string::npos);
    auto huge = client.Post("/restserver.php", std::string(9u << 20, 'a'),
                            "application/x-www-form-urlencoded");
    EXPECT_TRUE(!huge || huge->status == 413);
    auto other = client.Get("/etc/passwd");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->status, 404);
    // A connection that sends half a request and goes away.
    {
        httplib::Client rude("127.0.0.1", port);
        rude.set_connection_timeout(1, 0);
        rude.set_read_timeout(0, 200000);
        httplib::Headers h{{"Content-Length", "1000"}};
        rude.Post("/restserver.php", h, "method=x", "application/x-www-form-urlencoded");
    }
    // Still answering.
    auto still =
        client.Post("/restserver.php", params_of(signed_call({{"method", "auth.createToken"}})));
    ASSERT_TRUE(still);
    EXPECT_NE(still->body.find("<auth_createToken_response>"), std::string::npos);

    // Portraits: real JPEGs, different for the two kinds and for two people; none for people
    // without a generated photo or for strangers to the service.
    auto pic = client.Get("/photos/f1.jpg");
    auto square = client.Get("/photos/f1_q.jpg");
    auto other_pic = client.Get("/photos/f2.jpg");
    ASSERT_TRUE(pic && square && other_pic);
    int w = 0, h = 0;
    ASSERT_TRUE(decodes_as_jpeg(pic->body, w, h));
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 125);
    ASSERT_TRUE(decodes_as_jpeg(square->body, w, h));
    EXPECT_EQ(w, h);
    EXPECT_NE(pic->body, other_pic->body);
    EXPECT_EQ(pic->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_EQ(make_portrait_jpeg("f1", false), pic->body);  // the same every time
    for (const char* path : {"/photos/f4.jpg", "/photos/ghost.jpg", "/photos/_q.jpg"}) {
        auto none = client.Get(path);
        ASSERT_TRUE(none);
        EXPECT_EQ(none->status, 404) << path;
    }
    service.stop();
}

TEST(ServiceConnection, LogsInKeepsTheSessionAndRecoversFromAStaleOne) {
    std::string dir = temp_path("config");
    std::string path = dir + "/nimbra/session";
    UTL_SocialService service(small_network(), kNimbraApiKey, kNimbraSecret);
    ASSERT_GT(service.start("127.0.0.1", 0), 0);
    UTL_ServiceEndpoint endpoint;
    endpoint.m_url = service.rest_url();
    endpoint.m_service_id = "test service";

    {
        LoginRecorder who;
        UTL_ServiceConnection c(kNimbraApiKey, kNimbraSecret, &who);
        c.set_endpoint(endpoint);
        c.set_session_path(path);
        EXPECT_FALSE(c.loadPersistentSession());
        c.login();
        ASSERT_TRUE(pump(c, [&] { return who.successes + who.failures > 0; }));
        EXPECT_EQ(who.successes, 1) << who.reason;
        EXPECT_EQ(c.uid(), "me");
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        ASSERT_EQ(stat((dir + "/nimbra").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    {
        // The next run restores it and the service confirms it: no new token is asked for.
        LoginRecorder who;
        UTL_ServiceConnection c(kNimbraApiKey, kNimbraSecret, &who);
        c.set_endpoint(endpoint);
        c.set_session_path(path);
        int tokens = service.calls("auth.createToken");
        ASSERT_TRUE(c.loadPersistentSession());
        ASSERT_TRUE(pump(c, [&] { return who.successes + who.failures > 0; }));
        EXPECT_EQ(who.successes, 1);
        EXPECT_EQ(service.calls("auth.createToken"), tokens);
    }
    {
        // A service of another user no longer knows the session: a fresh login follows.
        UTL_SocialNetwork net;
        net.set_people({"other", "Otto", "", "", true}, {{"f1", "Friend", "", "", true}});
        UTL_SocialService other(std::move(net), kNimbraApiKey, kNimbraSecret);
        ASSERT_GT(other.start("127.0.0.1", 0), 0);
        UTL_ServiceEndpoint e = endpoint;
        e.m_url = other.rest_url();
        LoginRecorder who;
        UTL_ServiceConnection c(kNimbraApiKey, kNimbraSecret, &who);
        c.set_endpoint(e);
        c.set_session_path(path);
        ASSERT_TRUE(c.loadPersistentSession());
        ASSERT_TRUE(pump(c, [&] { return who.successes + who.failures > 0; }));
        EXPECT_EQ(who.successes, 1) << who.reason;
        EXPECT_EQ(c.uid(), "other");
        EXPECT_EQ(other.calls("auth.getSession"), 1);
        std::ifstream kept(path);
        std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("uid other"), std::string::npos) << text;
    }
    {
        // The standing token logs in without asking for one.
        endpoint.m_auth_token = service.standing_token();
        LoginRecorder who;
        UTL_ServiceConnection c(kNimbraApiKey, kNimbraSecret, &who);
        c.set_endpoint(endpoint);
        c.set_keep_session(false);
        int tokens = service.calls("auth.createToken");
        c.login();
        ASSERT_TRUE(pump(c, [&] { return who.successes + who.failures > 0; }));
        EXPECT_EQ(who.successes, 1);
        EXPECT_EQ(service.calls("auth.createToken"), tokens);
    }
}
