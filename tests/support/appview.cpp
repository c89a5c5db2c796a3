// TestAppView: the xrpc methods over an in-memory network, the faults, the avatars (libwebp's
// and libjpeg's encoders) and the counting.
#include "tests/support/appview.h"
#include "tests/support/wait.h"

#include <jpeglib.h>
#include <nlohmann/json.hpp>
#include <webp/encode.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

using json = nlohmann::json;

const char* const kMethods[] = {
    "com.atproto.identity.resolveHandle", "app.bsky.actor.getProfile",
    "app.bsky.actor.getProfiles",         "app.bsky.graph.getFollows",
    "app.bsky.graph.getFollowers",        "app.bsky.graph.getRelationships",
};

// A 16 x 16 picture of one colour, drawn from the DID.
std::vector<unsigned char> avatar_pixels(const std::string& did) {
    const size_t h = std::hash<std::string>()(did);
    std::vector<unsigned char> rgb(16 * 16 * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        rgb[i] = static_cast<unsigned char>(h);
        rgb[i + 1] = static_cast<unsigned char>(h >> 8);
        rgb[i + 2] = static_cast<unsigned char>(h >> 16);
    }
    return rgb;
}

std::string error_json(const char* error, const char* message) {
    return json{{"error", error}, {"message", message}}.dump();
}

}  // namespace

TestAppView::TestAppView() {
    for (const char* method : kMethods) {
        const std::string name = method;
        m_server.Get("/xrpc/" + name,
                     [this, name](const httplib::Request& req, httplib::Response& res) {
                         answer(name, req, res);
                     });
    }
    m_server.Get(R"(/img/avatar/plain/([^/]+)/([^/]+))", [this](const httplib::Request& req,
                                                                httplib::Response& res) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            ++m_calls["avatar"];
        }
        const std::string did = req.matches[1];
        const std::string cid = req.matches[2];
        const bool jpeg = cid.size() > 5 && cid.compare(cid.size() - 5, 5, "@jpeg") == 0;
        res.set_content(jpeg ? jpeg_avatar(did) : webp_avatar(did),
                        jpeg ? "image/jpeg" : "image/webp");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // Bound a port, then listening on it: a port not bound never starts listening.
    if (m_port < 0 || !wait_until([this] { return m_server.is_running(); }))
        std::fprintf(stderr, "test server: not listening on 127.0.0.1\n");
}

TestAppView::~TestAppView() { stop(); }

void TestAppView::stop() {
    if (m_stopped) return;
    m_stopped = true;
    m_server.stop();
    if (m_thread.joinable()) m_thread.join();
}

std::string TestAppView::url() const { return "http://127.0.0.1:" + std::to_string(m_port); }

void TestAppView::add(const Account& account) {
    std::lock_guard<std::mutex> hold(m_lock);
    Person p;
    p.account = account;
    m_people[account.did] = p;
    m_handles[account.handle] = account.did;
}

void TestAppView::follow(const std::string& a, const std::string& b) {
    std::lock_guard<std::mutex> hold(m_lock);
    Person& from = m_people.at(m_handles.at(a));
    Person& to = m_people.at(m_handles.at(b));
    if (!from.follow_set.insert(to.account.did).second) return;
    from.follows.push_back(to.account.did);
    to.followers.push_back(from.account.did);
}

void TestAppView::set_fault(FaultFunction fault) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_fault = std::move(fault);
}

int TestAppView::calls(const std::string& method) const {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto it = m_calls.find(method);
    return it == m_calls.end() ? 0 : it->second;
}

int TestAppView::total_calls() const {
    std::lock_guard<std::mutex> hold(m_lock);
    int n = 0;
    for (const auto& [method, count] : m_calls)
        if (method != "avatar") n += count;
    return n;
}

std::string TestAppView::did_of(const std::string& handle) const {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto it = m_handles.find(handle);
    return it == m_handles.end() ? "" : it->second;
}

std::set<std::string> TestAppView::friends_of(const std::string& handle) const {
    std::lock_guard<std::mutex> hold(m_lock);
    std::set<std::string> out;
    const Person& me = m_people.at(m_handles.at(handle));
    for (const std::string& did : me.follows) {
        const Person& other = m_people.at(did);
        if (!other.account.gone && other.follow_set.count(me.account.did)) out.insert(did);
    }
    return out;
}

std::set<std::pair<std::string, std::string>> TestAppView::lines_of(
    const std::string& handle) const {
    const std::set<std::string> friends = friends_of(handle);
    std::lock_guard<std::mutex> hold(m_lock);
    std::set<std::pair<std::string, std::string>> out;
    for (const std::string& a : friends) {
        for (const std::string& b : friends) {
            if (a < b && m_people.at(a).follow_set.count(b) && m_people.at(b).follow_set.count(a))
                out.insert({a, b});
        }
    }
    return out;
}

std::string TestAppView::webp_avatar(const std::string& did) {
    const std::vector<unsigned char> rgb = avatar_pixels(did);
    uint8_t* out = nullptr;
    const size_t size = WebPEncodeRGB(rgb.data(), 16, 16, 16 * 3, 80.0f, &out);
    std::string bytes(reinterpret_cast<const char*>(out), size);
    WebPFree(out);
    return bytes;
}

std::string TestAppView::jpeg_avatar(const std::string& did) {
    std::vector<unsigned char> rgb = avatar_pixels(did);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    jpeg_mem_dest(&cinfo, &out, &out_size);
    cinfo.image_width = 16;
    cinfo.image_height = 16;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &rgb[cinfo.next_scanline * 16 * 3];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string bytes(reinterpret_cast<const char*>(out), out_size);
    std::free(out);
    return bytes;
}

// --- The methods --------------------------------------------------------------------------------

const TestAppView::Person* TestAppView::find(const std::string& actor) const {
    auto did = m_handles.find(actor);
    const auto it = m_people.find(did == m_handles.end() ? actor : did->second);
    if (it == m_people.end() || it->second.account.gone) return nullptr;
    return &it->second;
}

std::string TestAppView::view(const Person& p, bool detailed) const {
    json v = {{"did", p.account.did}, {"handle", p.account.handle}};
    if (!p.account.name.empty()) v["displayName"] = p.account.name;
    if (!p.account.avatar.empty())
        v["avatar"] = url() + "/img/avatar/plain/" + p.account.did + "/bafkreiavatar" +
                      (p.account.avatar == "jpeg" ? "@jpeg" : "");
    if (detailed) {
        v["followsCount"] = p.follows.size();
        v["followersCount"] = p.followers.size();
    }
    return v.dump();
}

void TestAppView::answer(const std::string& method, const httplib::Request& req,
                         httplib::Response& res) {
    const int now_in_flight = ++m_in_flight;
    for (int peak = m_peak.load();
         now_in_flight > peak && !m_peak.compare_exchange_weak(peak, now_in_flight);) {
    }
    struct Leave {
        std::atomic<int>& n;
        ~Leave() { --n; }
    } leave{m_in_flight};

    Fault fault;
    std::string body;
    int status = 200;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const int nth = ++m_calls[method];
        if (m_fault) fault = m_fault(method, nth);
        const auto param = [&req](const char* key) { return req.get_param_value(key); };
        const auto params = [&req](const char* key) {
            std::vector<std::string> out;
            for (size_t i = 0; i < req.get_param_value_count(key); ++i)
                out.push_back(req.get_param_value(key, i));
            return out;
        };
        if (method == "com.atproto.identity.resolveHandle") {
            const Person* p = find(param("handle"));
            if (p && m_handles.count(param("handle"))) {
                body = json{{"did", p->account.did}}.dump();
            } else {
                status = 400;
                body = error_json("HandleNotFound", "Unable to resolve handle");
            }
        } else if (method == "app.bsky.actor.getProfile") {
            const Person* p = find(param("actor"));
            if (p) {
                body = view(*p, true);
            } else {
                status = 400;
                body = error_json("InvalidRequest", "Profile not found");
            }
        } else if (method == "app.bsky.actor.getProfiles") {
            const std::vector<std::string> actors = params("actors");
            if (actors.size() > 25) {
                status = 400;
                body = error_json("InvalidRequest", "actors must not have more than 25 elements");
            } else {
                body = "{\"profiles\":[";
                bool first = true;
                for (const std::string& a : actors) {
                    const Person* p = find(a);
                    if (!p) continue;
                    body += (first ? "" : ",") + view(*p, true);
                    first = false;
                }
                body += "]}";
            }
        } else if (method == "app.bsky.graph.getFollows" ||
                   method == "app.bsky.graph.getFollowers") {
            const bool follows = method == "app.bsky.graph.getFollows";
            const Person* p = find(param("actor"));
            const int limit =
                std::clamp(req.has_param("limit") ? std::atoi(param("limit").c_str()) : 50, 1, 100);
            const size_t offset = req.has_param("cursor") ? std::stoul(param("cursor")) : 0;
            if (!p) {
                status = 400;
                body = error_json("InvalidRequest", "Profile not found");
            } else {
                const std::vector<std::string>& list = follows ? p->follows : p->followers;
                body = "{\"subject\":" + view(*p, false) + ",\"" +
                       (follows ? "follows" : "followers") + "\":[";
                size_t shown = 0;
                size_t i = offset;
                for (; i < list.size() && shown < static_cast<size_t>(limit); ++i) {
                    // Lists may still name an account that is gone (a deletion not yet
                    // seen by the list's index).
                    body += (shown ? "," : "") + view(m_people.at(list[i]), false);
                    ++shown;
                }
                body += "]";
                if (i < list.size()) body += ",\"cursor\":\"" + std::to_string(i) + "\"";
                body += "}";
            }
        } else if (method == "app.bsky.graph.getRelationships") {
            const Person* p = find(param("actor"));
            const std::vector<std::string> others = params("others");
            if (!p || others.size() > 30) {
                status = 400;
                body = error_json("InvalidRequest", p ? "too many others" : "Profile not found");
            } else {
                json list = json::array();
                for (const std::string& o : others) {
                    const Person* q = find(o);
                    if (!q) {
                        list.push_back({{"$type", "app.bsky.graph.defs#notFoundActor"},
                                        {"actor", o},
                                        {"notFound", true}});
                        continue;
                    }
                    json r = {{"$type", "app.bsky.graph.defs#relationship"},
                              {"did", q->account.did}};
                    if (p->follow_set.count(q->account.did))
                        r["following"] = "at://" + p->account.did + "/app.bsky.graph.follow/3k";
                    if (q->follow_set.count(p->account.did))
                        r["followedBy"] = "at://" + q->account.did + "/app.bsky.graph.follow/3k";
                    list.push_back(r);
                }
                body = json{{"actor", p->account.did}, {"relationships", list}}.dump();
            }
        }
    }
    if (fault.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(fault.delay_ms));
    for (const auto& [name, value] : fault.headers) res.set_header(name, value);
    if (fault.status != 0) {
        status = fault.status;
        body = fault.body;
    }
    res.status = status;
    const bool page = body.compare(0, 1, "<") == 0;
    const char* type = page ? "text/html" : "application/json";
    if (fault.cut) {
        auto text = std::make_shared<std::string>(body);
        res.set_content_provider(text->size(), type,
                                 [text](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset > 0) return false;  // closes mid-answer
                                     sink.write(text->data(), text->size() / 2);
                                     return true;
                                 });
        return;
    }
    res.set_content(body, type);
}
