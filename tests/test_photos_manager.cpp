// The photo texture manager against a real HTTP server on 127.0.0.1 serving real JPEG files:
// request protocol, sharing, download order, worker restarts, failures and prompt shutdown.
#include <GL/gl.h>
#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "photos/foto_texture_boss.h"
#include "photos/texture_foto.h"
#include "tests/support/http_server.h"
#include "tests/support/offscreen_gl.h"
#include "tests/support/photo_files.h"
#include "util/image.h"

namespace {

#if defined(__SANITIZE_THREAD__)
// Mesa's llvmpipe threads synchronise in ways ThreadSanitizer cannot see and would be reported
// as races inside Mesa; under it, Mesa renders on the calling thread instead.
const int s_mesa_single_threaded = setenv("LP_NUM_THREADS", "0", 0);
#endif

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool wait_until(const std::function<bool()>& done, double timeout_s = 15.0) {
    const auto start = Clock::now();
    while (!done()) {
        if (seconds_since(start) > timeout_s) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Asks for the texture once per "frame" until it comes, as the scene does.
OGL_TextureFoto* wait_for_texture(UTL_FotoTextureBoss& boss, const std::string& url) {
    OGL_TextureFoto* texture = nullptr;
    wait_until([&] { return (texture = boss.get_texture(url.c_str())) != nullptr; });
    return texture;
}

int files_in(const std::string& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
        }
        closedir(d);
    }
    return n;
}

class PhotoManager : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new PhotoDir();
        s_photo = s_dir->make("photo.jpg", "-size 40x30 xc:orange");
        // Downloads pass through a private temporary file in the runtime directory; pointing it
        // at an empty directory of ours shows where the file goes and that it is removed.
        s_runtime_dir = s_dir->file("runtime");
        mkdir(s_runtime_dir.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", s_runtime_dir.c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(m_gl.ok());
        ASSERT_TRUE(m_server.ok());
        ASSERT_FALSE(s_photo.empty()) << "convert did not make the photo";
    }

    // Limits short enough for a test to watch a stalled download being given up.
    static UTL_FotoDownloadLimits short_limits() {
        UTL_FotoDownloadLimits limits;
        limits.m_connect_timeout_ms = 2000;
        limits.m_low_speed_limit = 1000;
        limits.m_low_speed_time_s = 1;
        limits.m_total_timeout_ms = 20000;
        limits.m_max_bytes = 1 << 20;
        return limits;
    }

    OffscreenGL m_gl{16, 16};
    TestHttpServer m_server;
    static PhotoDir* s_dir;
    static std::string s_photo;
    static std::string s_runtime_dir;
};

PhotoDir* PhotoManager::s_dir = nullptr;
std::string PhotoManager::s_photo;
std::string PhotoManager::s_runtime_dir;

}  // namespace

TEST(PhotoDownloadBuffer, AppendsWithATrailingZeroAndStopsAtTheLimitKeepingWhatItHas) {
    UTL_FotoDownloadBuffer buffer;
    buffer.m_max_bytes = 5;
    char abc[] = "abc";
    EXPECT_EQ(WriteMemoryCallback(abc, 1, 3, &buffer), 3u);
    EXPECT_EQ(WriteMemoryCallback(abc, 1, 0, &buffer), 0u);
    ASSERT_EQ(buffer.m_size, 3u);
    EXPECT_STREQ(buffer.m_memory, "abc");
    EXPECT_FALSE(buffer.m_cut_short);
    // 3 + 3 > 5: refused, and the transfer stops with the three bytes kept.
    EXPECT_EQ(WriteMemoryCallback(abc, 3, 1, &buffer), 0u);
    EXPECT_TRUE(buffer.m_cut_short);
    EXPECT_EQ(buffer.m_size, 3u);
    EXPECT_STREQ(buffer.m_memory, "abc");
    // A size * count that overflows is refused too.
    EXPECT_EQ(WriteMemoryCallback(abc, SIZE_MAX / 2, 3, &buffer), 0u);
    std::free(buffer.m_memory);
}

TEST_F(PhotoManager, FirstRequestsGiveNullThenAlwaysTheSameSharedTexture) {
    TestHttpServer::Response slow;
    slow.body = s_photo;
    slow.delay_ms = 300;
    m_server.serve("/me.jpg", slow);
    const std::string url = m_server.url("/me.jpg");

    UTL_FotoTextureBoss boss;
    boss.start();
    // With nothing queued the first worker ends at once.
    ASSERT_TRUE(wait_until([&] { return !boss.is_running(); }));

    EXPECT_EQ(boss.get_texture(url.c_str()), nullptr);
    EXPECT_TRUE(boss.is_running());
    EXPECT_EQ(boss.get_texture(url.c_str()), nullptr) << "still downloading";
    OGL_TextureFoto* texture = wait_for_texture(boss, url);
    ASSERT_NE(texture, nullptr);
    // A second photo of the same address shares the texture and the one download.
    EXPECT_EQ(boss.get_texture(url.c_str()), texture);
    EXPECT_EQ(boss.get_texture(url.c_str()), texture);
    EXPECT_EQ(boss.m_serfs.size(), 1u);
    EXPECT_EQ(m_server.requests("/me.jpg"), 1);
    EXPECT_EQ(m_server.last_user_agent(), "libcurl-agent/1.0");

    ASSERT_TRUE(texture->has_pixels());
    EXPECT_EQ(texture->get_image()->m_width, 40u);
    EXPECT_EQ(texture->get_image()->m_height, 30u);
    EXPECT_EQ(texture->get_wrap_mode(), GL_CLAMP_TO_EDGE);
    // The worker only decoded; the upload is ours, at the first apply().
    EXPECT_EQ(texture->get_name(), 0u);
    texture->apply();
    const GLuint name = texture->get_name();
    EXPECT_TRUE(glIsTexture(name));
    boss.unload_textures();
    EXPECT_FALSE(glIsTexture(name));
    // The reply went through a private file in the runtime directory, removed after reading.
    const std::string read_from = texture->get_file_name();
    EXPECT_EQ(read_from.rfind(s_runtime_dir + "/nimbra-photo-", 0), 0u) << read_from;
    EXPECT_EQ(read_from.substr(read_from.size() - 4), ".jpg");
    EXPECT_EQ(files_in(s_runtime_dir), 0);
}

TEST_F(PhotoManager, AddressesWaitingTogetherAreFetchedInAscendingOrder) {
    for (const char* path : {"/c.jpg", "/a.jpg", "/b.jpg", "/B.jpg"}) m_server.serve(path, s_photo);
    UTL_FotoTextureBoss boss;
    // Before the owner's start() requests only queue, as in the frames before start-up ends.
    for (const char* path : {"/c.jpg", "/a.jpg", "/b.jpg", "/B.jpg"}) {
        EXPECT_EQ(boss.get_texture(m_server.url(path).c_str()), nullptr);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(m_server.request_order().empty());
    boss.start();
    for (const char* path : {"/c.jpg", "/a.jpg", "/b.jpg", "/B.jpg"}) {
        ASSERT_NE(wait_for_texture(boss, m_server.url(path)), nullptr);
    }
    EXPECT_EQ(m_server.request_order(),
              (std::vector<std::string>{"/B.jpg", "/a.jpg", "/b.jpg", "/c.jpg"}));
}

TEST_F(PhotoManager, AnEndedWorkerIsRestartedByANewOrAnUnloadedAddress) {
    m_server.serve("/new.jpg", s_photo);
    TestHttpServer::Response trickle;
    trickle.body = s_photo;
    trickle.bytes_per_second = 50;
    m_server.serve("/later.jpg", trickle);

    UTL_FotoTextureBoss boss;
    boss.start();
    ASSERT_TRUE(wait_until([&] { return !boss.is_running(); }));
    ASSERT_NE(wait_for_texture(boss, m_server.url("/new.jpg")), nullptr);
    ASSERT_TRUE(wait_until([&] { return !boss.is_running(); }));

    // Stopping the worker in the middle of a download leaves that photo waiting ...
    const std::string later = m_server.url("/later.jpg");
    EXPECT_EQ(boss.get_texture(later.c_str()), nullptr);
    ASSERT_TRUE(wait_until([&] { return m_server.requests("/later.jpg") == 1; }));
    const auto start = Clock::now();
    boss.stop();
    EXPECT_LT(seconds_since(start), 3.0);
    EXPECT_FALSE(boss.is_running());
    EXPECT_FALSE(boss.m_serfs.at(later)->m_loaded);

    // ... and the next request for it starts a worker that fetches it again.
    m_server.serve("/later.jpg", s_photo);
    EXPECT_EQ(boss.get_texture(later.c_str()), nullptr);
    EXPECT_TRUE(boss.is_running());
    OGL_TextureFoto* texture = wait_for_texture(boss, later);
    ASSERT_NE(texture, nullptr);
    EXPECT_TRUE(texture->has_pixels());
    EXPECT_EQ(m_server.requests("/later.jpg"), 2);
    EXPECT_EQ(m_server.requests("/new.jpg"), 1);
}

TEST_F(PhotoManager, LocalPathsAndTheEmptyAddressNeedNoDownload) {
    m_server.serve("/photo.jpg", s_photo);
    UTL_FotoTextureBoss boss;
    boss.start();

    OGL_TextureFoto* local = wait_for_texture(boss, s_dir->file("photo.jpg"));
    ASSERT_NE(local, nullptr);
    EXPECT_TRUE(local->has_pixels());

    // Only "http" and "HTTP" mean the web; "Http://..." is a (missing) local file.
    const std::string mixed = "Http://127.0.0.1:" + std::to_string(m_server.port()) + "/photo.jpg";
    OGL_TextureFoto* missing = wait_for_texture(boss, mixed);
    ASSERT_NE(missing, nullptr);
    EXPECT_FALSE(missing->has_pixels());
    EXPECT_EQ(m_server.requests("/photo.jpg"), 0);
    const std::string upper = "HTTP://127.0.0.1:" + std::to_string(m_server.port()) + "/photo.jpg";
    OGL_TextureFoto* web = wait_for_texture(boss, upper);
    ASSERT_NE(web, nullptr);
    EXPECT_TRUE(web->has_pixels());
    EXPECT_EQ(m_server.requests("/photo.jpg"), 1);

    OGL_TextureFoto* empty = wait_for_texture(boss, "");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->get_image(), nullptr);
    EXPECT_EQ(boss.get_texture(nullptr), nullptr);
}

TEST_F(PhotoManager, FailedDownloadsEndLoadedWithoutPixelsAndTheWorkerGoesOn) {
    int closed_port = 0;
    {
        TestHttpServer gone;
        closed_port = gone.port();
    }
    TestHttpServer::Response cut;
    cut.body = s_photo;
    cut.close_after = s_photo.size() / 2;
    TestHttpServer::Response stalled;
    stalled.body = s_photo;
    stalled.stall_after = 100;
    stalled.stall_ms = 30000;
    TestHttpServer::Response huge;
    huge.generated_size = 4 << 20;
    TestHttpServer::Response huge_unannounced = huge;
    huge_unannounced.send_length = false;
    TestHttpServer::Response text;
    text.body = "<html>hello</html>";
    text.content_type = "text/html";
    m_server.serve("/cut.jpg", cut);
    m_server.serve("/stalled.jpg", stalled);
    m_server.serve("/huge.jpg", huge);
    m_server.serve("/huge_unannounced.jpg", huge_unannounced);
    m_server.serve("/text.jpg", text);
    m_server.serve("/z_good.jpg", s_photo);

    UTL_FotoTextureBoss boss;
    boss.set_download_limits(short_limits());
    boss.start();
    const std::vector<std::string> failing = {
        "http://127.0.0.1:" + std::to_string(closed_port) + "/refused.jpg",
        m_server.url("/missing.jpg"),
        m_server.url("/cut.jpg"),
        m_server.url("/stalled.jpg"),
        m_server.url("/huge.jpg"),
        m_server.url("/huge_unannounced.jpg"),
        m_server.url("/text.jpg"),
    };
    const auto start = Clock::now();
    for (const std::string& url : failing) boss.get_texture(url.c_str());
    OGL_TextureFoto* good = wait_for_texture(boss, m_server.url("/z_good.jpg"));
    // The stall is given up after about a second below the speed limit, not after 30.
    EXPECT_LT(seconds_since(start), 5.0);
    ASSERT_NE(good, nullptr);
    EXPECT_TRUE(good->has_pixels());
    for (const std::string& url : failing) {
        OGL_TextureFoto* texture = boss.get_texture(url.c_str());
        ASSERT_NE(texture, nullptr) << url;
        EXPECT_FALSE(texture->has_pixels()) << url;
        texture->apply();
        EXPECT_EQ(texture->get_name(), 0u) << url;
    }
    for (const std::string& url : failing) boss.get_texture(url.c_str());
    EXPECT_EQ(m_server.requests("/stalled.jpg"), 1) << "nothing is retried";
    EXPECT_EQ(files_in(s_runtime_dir), 0);
}

TEST_F(PhotoManager, DestructionDuringAStalledDownloadReturnsPromptly) {
    TestHttpServer::Response stalled;
    stalled.body = s_photo;
    stalled.stall_after = 100;
    stalled.stall_ms = 60000;
    m_server.serve("/stalled.jpg", stalled);
    TestHttpServer::Response silent;
    silent.body = s_photo;
    silent.delay_ms = 60000;
    m_server.serve("/silent.jpg", silent);

    for (const char* path : {"/stalled.jpg", "/silent.jpg"}) {
        // Default limits: only the stop request can end these downloads in time.
        auto* boss = new UTL_FotoTextureBoss();
        boss->start();
        boss->get_texture(m_server.url(path).c_str());
        ASSERT_TRUE(wait_until([&] { return m_server.requests(path) == 1; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = Clock::now();
        delete boss;
        EXPECT_LT(seconds_since(start), 2.5) << path;
    }
    EXPECT_EQ(files_in(s_runtime_dir), 0);
}
