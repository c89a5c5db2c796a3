// The photo texture manager against real HTTP servers on 127.0.0.1 serving real JPEG files:
// request protocol, sharing, transfer order and limits, a slow host beside fast ones, worker
// restarts, failures ending in the placeholder, local paths and prompt shutdown.
#include <GL/gl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "photos/foto_texture_boss.h"
#include "photos/texture_foto.h"
#include "tests/support/http_server.h"
#include "tests/support/offscreen_gl.h"
#include "tests/support/photo_files.h"
#include "tests/support/wait.h"
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

// Asks for the texture once per "frame" until it comes, as the scene does.
OGL_TextureFoto* wait_for_texture(UTL_FotoTextureBoss& boss, const std::string& url) {
    OGL_TextureFoto* texture = nullptr;
    wait_until([&] { return (texture = boss.get_texture(url.c_str())) != nullptr; });
    return texture;
}

// Without a disk cache: every test here counts the transfers it causes.
UTL_FotoSettings uncached(bool local = false) {
    UTL_FotoSettings settings;
    settings.m_use_disk_cache = false;
    settings.m_allow_local_paths = local;
    return settings;
}

class PhotoManager : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new PhotoDir();
        s_photo = s_dir->make("photo.jpg", "-size 40x30 xc:orange");
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
};

PhotoDir* PhotoManager::s_dir = nullptr;
std::string PhotoManager::s_photo;

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

TEST(PhotoDownloader, TransfersAreCountedByHostNameAndPort) {
    EXPECT_EQ(UTL_FotoDownloader::host_of("http://Example.COM/a.jpg"), "example.com:80");
    EXPECT_EQ(UTL_FotoDownloader::host_of("https://example.com/a.jpg"), "example.com:443");
    EXPECT_EQ(UTL_FotoDownloader::host_of("http://127.0.0.1:8080/x?y"), "127.0.0.1:8080");
    EXPECT_EQ(UTL_FotoDownloader::host_of("not an address"), "");
}

TEST_F(PhotoManager, FirstRequestsGiveNullThenAlwaysTheSameSharedTexture) {
    TestHttpServer::Response slow;
    slow.body = s_photo;
    slow.delay_ms = 300;
    m_server.serve("/me.jpg", slow);
    const std::string url = m_server.url("/me.jpg");

    UTL_FotoTextureBoss boss(uncached());
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
}

TEST_F(PhotoManager, TransfersStartInAscendingOrderOfTheAddress) {
    const std::vector<std::string> paths = {"/c.jpg", "/a.jpg", "/b.jpg", "/B.jpg", "/d.jpg"};
    TestHttpServer::Response slow;
    slow.body = s_photo;
    slow.delay_ms = 200;
    for (const std::string& path : paths) m_server.serve(path, slow);

    // One transfer at a time: the server sees the addresses strictly in ascending order.
    UTL_FotoTextureBoss one(uncached());
    UTL_FotoDownloadLimits limits;
    limits.m_max_transfers = 1;
    one.set_download_limits(limits);
    // Before the owner's start() requests only queue, as in the frames before start-up ends.
    for (const std::string& path : paths) one.get_texture(m_server.url(path).c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(m_server.request_order().empty());
    one.start();
    for (const std::string& path : paths)
        ASSERT_NE(wait_for_texture(one, m_server.url(path)), nullptr);
    EXPECT_EQ(m_server.request_order(),
              (std::vector<std::string>{"/B.jpg", "/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg"}));
}

TEST_F(PhotoManager, FastPhotosAllArriveWhileOneHostTricklesTwoBytesASecond) {
    // The slow host's addresses sort first, so its transfers start first.
    TestHttpServer second;
    ASSERT_TRUE(second.ok());
    const bool first_is_slow = m_server.url("/") < second.url("/");
    TestHttpServer& slow = first_is_slow ? m_server : second;
    TestHttpServer& fast = first_is_slow ? second : m_server;
    TestHttpServer::Response trickle;
    trickle.body = s_photo;
    trickle.bytes_per_second = 2;
    std::vector<std::string> slow_urls, fast_urls;
    for (int i = 0; i < 3; ++i) {
        const std::string path = "/slow" + std::to_string(i) + ".jpg";
        slow.serve(path, trickle);
        slow_urls.push_back(slow.url(path));
    }
    for (int i = 0; i < 20; ++i) {
        const std::string path = "/fast" + std::to_string(i) + ".jpg";
        fast.serve(path, s_photo);
        fast_urls.push_back(fast.url(path));
    }

    auto* boss = new UTL_FotoTextureBoss(uncached());
    boss->start();
    for (const std::string& url : slow_urls) boss->get_texture(url.c_str());
    for (const std::string& url : fast_urls) boss->get_texture(url.c_str());
    for (const std::string& url : fast_urls) {
        OGL_TextureFoto* texture = wait_for_texture(*boss, url);
        ASSERT_NE(texture, nullptr) << url << " waited behind the slow host";
        EXPECT_TRUE(texture->has_pixels()) << url;
    }
    // The slow host is still trickling its first two photos; the third waits for a slot.
    for (const std::string& url : slow_urls) EXPECT_EQ(boss->get_texture(url.c_str()), nullptr);
    EXPECT_EQ(slow.requests("/slow0.jpg") + slow.requests("/slow1.jpg"), 2);
    EXPECT_EQ(slow.requests("/slow2.jpg"), 0);
    EXPECT_EQ(slow.peak_connections(), 2);

    // Destruction abandons the trickling transfers at once.
    const auto start = Clock::now();
    delete boss;
    EXPECT_LT(seconds_since(start), 2.5);
}

TEST_F(PhotoManager, AnEndedWorkerIsRestartedByANewOrAnUnloadedAddress) {
    m_server.serve("/new.jpg", s_photo);
    TestHttpServer::Response trickle;
    trickle.body = s_photo;
    trickle.bytes_per_second = 50;
    m_server.serve("/later.jpg", trickle);

    UTL_FotoTextureBoss boss(uncached());
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
    EXPECT_LT(seconds_since(start), 2.0);
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

TEST_F(PhotoManager, EveryFailedPhotoEndsWithThePlaceholderAndOnlyWebRedirectsAreFollowed) {
    int closed_port = 0;
    {
        TestHttpServer gone;
        closed_port = gone.port();
    }
    TestHttpServer::Response error;
    error.status = 500;
    error.body = s_photo;  // a picture in an error reply is no photo
    TestHttpServer::Response cut;
    cut.body = s_photo;
    cut.close_after = s_photo.size() / 2;
    cut.send_length = false;
    TestHttpServer::Response truncated = cut;
    truncated.send_length = true;
    TestHttpServer::Response stalled;
    stalled.body = s_photo;
    stalled.stall_after = 100;
    stalled.stall_ms = 30000;
    TestHttpServer::Response huge;
    huge.generated_size = 4 << 20;
    TestHttpServer::Response huge_unannounced = huge;
    huge_unannounced.send_length = false;
    TestHttpServer::Response html;
    html.body = "<html>hello</html>";
    html.content_type = "text/html";
    m_server.serve("/error.jpg", error);
    m_server.serve("/cut.jpg", cut);
    m_server.serve("/truncated.jpg", truncated);
    m_server.serve("/stalled.jpg", stalled);
    m_server.serve("/huge.jpg", huge);
    m_server.serve("/huge_unannounced.jpg", huge_unannounced);
    m_server.serve("/html.jpg", html);
    m_server.serve("/empty.jpg", "");
    m_server.serve("/garbage.jpg", std::string("\xFF\xD8\xFF\xE0") + " not really a JPEG");
    m_server.serve("/z_good.jpg", s_photo);
    // Redirects: one that ends at a photo is followed; a loop, and one to a local file, end.
    TestHttpServer::Response moved;
    moved.status = 302;
    moved.content_type = "text/plain";
    moved.location = "/z_good.jpg";
    m_server.serve("/moved.jpg", moved);
    moved.location = "/loop.jpg";
    m_server.serve("/loop.jpg", moved);
    moved.location = "file://" + s_dir->file("photo.jpg");
    m_server.serve("/to_file.jpg", moved);

    UTL_FotoTextureBoss boss(uncached());
    boss.set_download_limits(short_limits());
    boss.start();
    OGL_TextureFoto* placeholder = boss.placeholder_texture();
    ASSERT_NE(placeholder, nullptr);
    ASSERT_TRUE(placeholder->has_pixels()) << "./data/config/question.tga";
    const std::vector<std::string> failing = {
        "http://127.0.0.1:" + std::to_string(closed_port) + "/refused.jpg",
        m_server.url("/missing.jpg"),
        m_server.url("/error.jpg"),
        m_server.url("/cut.jpg"),
        m_server.url("/truncated.jpg"),
        m_server.url("/stalled.jpg"),
        m_server.url("/huge.jpg"),
        m_server.url("/huge_unannounced.jpg"),
        m_server.url("/html.jpg"),
        m_server.url("/empty.jpg"),
        m_server.url("/garbage.jpg"),
        m_server.url("/loop.jpg"),
        m_server.url("/to_file.jpg"),
        // Not the web, and the people's source is remote: never read.
        s_dir->file("photo.jpg"),
        "ftp://127.0.0.1/photo.jpg",
    };
    const auto start = Clock::now();
    for (const std::string& url : failing) EXPECT_EQ(boss.get_texture(url.c_str()), nullptr);
    OGL_TextureFoto* good = wait_for_texture(boss, m_server.url("/z_good.jpg"));
    ASSERT_NE(good, nullptr);
    EXPECT_TRUE(good->has_pixels());
    OGL_TextureFoto* moved_photo = wait_for_texture(boss, m_server.url("/moved.jpg"));
    ASSERT_NE(moved_photo, nullptr);
    EXPECT_NE(moved_photo, placeholder);
    EXPECT_TRUE(moved_photo->has_pixels());
    for (const std::string& url : failing) {
        EXPECT_EQ(wait_for_texture(boss, url), placeholder) << url;
    }
    EXPECT_LE(m_server.requests("/loop.jpg"), 6);
    // The stall is given up after about a second below the speed limit, not after 30.
    EXPECT_LT(seconds_since(start), 20.0);
    // The placeholder's own address needs no work, and nothing is retried.
    EXPECT_EQ(boss.get_texture("./data/config/question.tga"), placeholder);
    for (const std::string& url : failing) boss.get_texture(url.c_str());
    EXPECT_EQ(m_server.requests("/stalled.jpg"), 1);
    EXPECT_EQ(boss.m_serfs.size(), failing.size() + 2);
}

TEST_F(PhotoManager, LocalPathsAreReadOnlyAsRegularFilesAndNeverHang) {
    m_server.serve("/photo.jpg", s_photo);
    // A JPEG whose name says PNG, a FIFO nobody writes to, a device, a folder, a missing file.
    const std::string misnamed = s_dir->file("misnamed.png");
    ASSERT_EQ(std::system(("cp '" + s_dir->file("photo.jpg") + "' '" + misnamed + "'").c_str()), 0);
    const std::string fifo = s_dir->file("fifo.jpg");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    auto* boss = new UTL_FotoTextureBoss(uncached(true));
    boss->start();
    OGL_TextureFoto* placeholder = boss->placeholder_texture();
    const auto start = Clock::now();
    OGL_TextureFoto* local = wait_for_texture(*boss, misnamed);
    ASSERT_NE(local, nullptr);
    ASSERT_TRUE(local->has_pixels());
    EXPECT_EQ(local->get_image()->m_width, 40u);
    for (const std::string& path :
         {fifo, std::string("/dev/zero"), std::string("/dev/tty"), s_dir->path(),
          s_dir->file("missing.jpg"),
          // Only "http" and "HTTP" mean the web; "Http://..." is a (missing) local file.
          "Http://127.0.0.1:" + std::to_string(m_server.port()) + "/photo.jpg"}) {
        EXPECT_EQ(wait_for_texture(*boss, path), placeholder) << path;
    }
    EXPECT_LT(seconds_since(start), 10.0);
    EXPECT_EQ(m_server.requests("/photo.jpg"), 0);
    const std::string upper = "HTTP://127.0.0.1:" + std::to_string(m_server.port()) + "/photo.jpg";
    OGL_TextureFoto* web = wait_for_texture(*boss, upper);
    ASSERT_NE(web, nullptr);
    EXPECT_TRUE(web->has_pixels());
    EXPECT_EQ(m_server.requests("/photo.jpg"), 1);
    EXPECT_EQ(boss->get_texture(nullptr), nullptr);

    // The FIFO is still there, never opened; the manager's end does not wait for it.
    const auto end = Clock::now();
    delete boss;
    EXPECT_LT(seconds_since(end), 2.5);
    unlink(fifo.c_str());
}

TEST_F(PhotoManager, DestructionDuringStalledDownloadsReturnsPromptly) {
    TestHttpServer::Response stalled;
    stalled.body = s_photo;
    stalled.stall_after = 100;
    stalled.stall_ms = 60000;
    m_server.serve("/stalled.jpg", stalled);
    TestHttpServer::Response silent;
    silent.body = s_photo;
    silent.delay_ms = 60000;
    m_server.serve("/silent.jpg", silent);

    // Default limits: only the stop request can end these downloads in time.
    auto* boss = new UTL_FotoTextureBoss(uncached());
    boss->start();
    boss->get_texture(m_server.url("/stalled.jpg").c_str());
    boss->get_texture(m_server.url("/silent.jpg").c_str());
    ASSERT_TRUE(wait_until([&] {
        return m_server.requests("/stalled.jpg") == 1 && m_server.requests("/silent.jpg") == 1;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = Clock::now();
    delete boss;
    EXPECT_LT(seconds_since(start), 2.5);
}
