// The photos' disk cache: a second run shows cached photos without a transfer, stale ones are
// revalidated, corrupt files are dropped and fetched again, the size bound removes the least
// recently used, writes are atomic; and the rules that read cache files and reply headers.
#include <GL/gl.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "photos/foto_texture_boss.h"
#include "photos/photo_cache.h"
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

// Asks for the texture once per "frame" until it comes, as the scene does.
OGL_TextureFoto* wait_for_texture(UTL_FotoTextureBoss& boss, const std::string& url) {
    OGL_TextureFoto* texture = nullptr;
    wait_until([&] { return (texture = boss.get_texture(url.c_str())) != nullptr; });
    return texture;
}

std::vector<std::string> files_in(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class PhotoCache : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new PhotoDir();
        s_red = s_dir->make("red.jpg", "-size 30x20 xc:red");
        s_blue = s_dir->make("blue.jpg", "-size 30x20 xc:blue");
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(m_gl.ok());
        ASSERT_TRUE(m_server.ok());
        ASSERT_FALSE(s_red.empty() || s_blue.empty()) << "convert did not make the photos";
        m_cache_dir = s_dir->file("cache-" + std::to_string(++s_runs));
    }

    UTL_FotoSettings cached() const {
        UTL_FotoSettings settings;
        settings.m_cache_dir = m_cache_dir;
        return settings;
    }

    // One start of the program: every address requested until each has its texture; true
    // when each shows pixels.
    bool run(const std::vector<std::string>& urls, const UTL_FotoSettings& settings) {
        UTL_FotoTextureBoss boss(settings);
        boss.start();
        for (const std::string& url : urls) boss.get_texture(url.c_str());
        bool all = true;
        for (const std::string& url : urls) {
            OGL_TextureFoto* texture = wait_for_texture(boss, url);
            all = all && texture != nullptr && texture->has_pixels() &&
                  texture != boss.placeholder_texture();
        }
        return all;
    }

    OffscreenGL m_gl{16, 16};
    TestHttpServer m_server;
    std::string m_cache_dir;
    static PhotoDir* s_dir;
    static std::string s_red, s_blue;
    static int s_runs;
};

PhotoDir* PhotoCache::s_dir = nullptr;
std::string PhotoCache::s_red, PhotoCache::s_blue;
int PhotoCache::s_runs = 0;

}  // namespace

TEST_F(PhotoCache, ASecondRunShowsCachedPhotosWithoutATransfer) {
    std::vector<std::string> urls;
    for (int i = 0; i < 5; ++i) {
        const std::string path = "/p" + std::to_string(i) + ".jpg";
        m_server.serve(path, i % 2 ? s_red : s_blue);
        urls.push_back(m_server.url(path));
    }
    TestHttpServer::Response no_store;
    no_store.body = s_red;
    no_store.cache_control = "private, no-store";
    m_server.serve("/no_store.jpg", no_store);
    urls.push_back(m_server.url("/no_store.jpg"));

    ASSERT_TRUE(run(urls, cached()));
    EXPECT_EQ(files_in(m_cache_dir).size(), 5u) << "all but the no-store reply are kept";
    ASSERT_TRUE(run(urls, cached()));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(m_server.requests("/p" + std::to_string(i) + ".jpg"), 1);
    EXPECT_EQ(m_server.requests("/no_store.jpg"), 2);

    // The cached photo is the photo: its pixels come back as they were.
    UTL_FotoTextureBoss boss(cached());
    boss.start();
    OGL_TextureFoto* texture = wait_for_texture(boss, urls[1]);
    ASSERT_TRUE(texture && texture->has_pixels());
    EXPECT_GT(texture->get_image()->m_pixels[0], 200);
    EXPECT_LT(texture->get_image()->m_pixels[2], 50);

    // Turned off, the cache is neither read nor written.
    UTL_FotoSettings off = cached();
    off.m_use_disk_cache = false;
    off.m_cache_dir = m_cache_dir + "-off";
    ASSERT_TRUE(run(urls, off));
    EXPECT_EQ(m_server.requests("/p0.jpg"), 2);
    struct stat st;
    EXPECT_NE(stat(off.m_cache_dir.c_str(), &st), 0);
}

TEST_F(PhotoCache, StalePhotosAreRevalidatedAndKeptWhenTheServerCannotBeAsked) {
    TestHttpServer::Response tagged;
    tagged.body = s_red;
    tagged.etag = "\"v1\"";
    tagged.cache_control = "no-cache";
    m_server.serve("/tagged.jpg", tagged);
    const std::string url = m_server.url("/tagged.jpg");
    ASSERT_TRUE(run({url}, cached()));
    EXPECT_EQ(m_server.conditional_requests("/tagged.jpg"), 0);

    // Must be asked about each time: one conditional request, answered 304 without a body.
    ASSERT_TRUE(run({url}, cached()));
    EXPECT_EQ(m_server.requests("/tagged.jpg"), 2);
    EXPECT_EQ(m_server.not_modified_answers("/tagged.jpg"), 1);

    // A new version under a new tag replaces the kept one.
    tagged.body = s_blue;
    tagged.etag = "\"v2\"";
    m_server.serve("/tagged.jpg", tagged);
    {
        UTL_FotoTextureBoss boss(cached());
        boss.start();
        OGL_TextureFoto* texture = wait_for_texture(boss, url);
        ASSERT_TRUE(texture && texture->has_pixels());
        EXPECT_GT(texture->get_image()->m_pixels[2], 200) << "blue";
    }
    EXPECT_EQ(m_server.not_modified_answers("/tagged.jpg"), 1);

    // The server gone: the kept copy is better than the question mark.
    m_server.stop();
    ASSERT_TRUE(run({url}, cached()));
}

TEST_F(PhotoCache, CorruptOrHalfWrittenFilesAreDroppedAndFetchedAgain) {
    m_server.serve("/a.jpg", s_red);
    m_server.serve("/b.jpg", s_blue);
    const std::vector<std::string> urls = {m_server.url("/a.jpg"), m_server.url("/b.jpg")};
    ASSERT_TRUE(run(urls, cached()));
    const std::string a = m_cache_dir + "/" + UTL_PhotoCache::file_name_for(urls[0]);
    const std::string b = m_cache_dir + "/" + UTL_PhotoCache::file_name_for(urls[1]);
    const std::string a_bytes = PhotoDir::read(a);
    const std::string b_bytes = PhotoDir::read(b);
    ASSERT_FALSE(a_bytes.empty() || b_bytes.empty());

    // a: a whole file whose photo bytes are garbage; b: cut short, as a crash could leave it.
    std::string garbage = a_bytes;
    for (size_t i = garbage.size() - s_red.size() + 4; i < garbage.size(); ++i) garbage[i] ^= 0x5A;
    write_bytes(a, garbage);
    write_bytes(b, b_bytes.substr(0, b_bytes.size() - 10));
    // A temporary file a crashed run left behind long ago.
    const std::string left_over = m_cache_dir + "/.0123456789abcdef.photo.Xy12Z3";
    write_bytes(left_over, "half a photo");
    const timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, left_over.c_str(), old_times, 0);

    ASSERT_TRUE(run(urls, cached()));
    EXPECT_EQ(m_server.requests("/a.jpg"), 2);
    EXPECT_EQ(m_server.requests("/b.jpg"), 2);
    // Written anew, whole: the same photos (the freshness may have moved on by a second).
    UTL_PhotoCacheEntry entry;
    ASSERT_TRUE(parse_cache_entry(PhotoDir::read(a), entry));
    EXPECT_EQ(entry.m_body, s_red);
    ASSERT_TRUE(parse_cache_entry(PhotoDir::read(b), entry));
    EXPECT_EQ(entry.m_body, s_blue);
    // Nothing but the two photo files: no temporary files, old or new.
    std::vector<std::string> want = {UTL_PhotoCache::file_name_for(urls[0]),
                                     UTL_PhotoCache::file_name_for(urls[1])};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(files_in(m_cache_dir), want);
}

TEST_F(PhotoCache, TheSizeBoundRemovesTheLeastRecentlyUsedFirst) {
    UTL_PhotoCache cache(m_cache_dir, 3000);
    auto entry = [](const std::string& url) {
        UTL_PhotoCacheEntry e;
        e.m_url = url;
        e.m_fresh_until = 1;
        e.m_body.assign(900, 'x');
        return e;
    };
    ASSERT_TRUE(cache.store(entry("http://h/a")));
    ASSERT_TRUE(cache.store(entry("http://h/b")));
    ASSERT_TRUE(cache.store(entry("http://h/c")));
    UTL_PhotoCacheEntry got;
    ASSERT_TRUE(cache.load("http://h/a", got));  // a is now the most recently used
    EXPECT_EQ(got.m_body, std::string(900, 'x'));
    ASSERT_TRUE(cache.store(entry("http://h/d")));
    EXPECT_LE(cache.total_bytes(), 3000u);
    EXPECT_FALSE(cache.load("http://h/b", got));
    EXPECT_TRUE(cache.load("http://h/a", got));
    EXPECT_TRUE(cache.load("http://h/d", got));

    // A later run with a smaller bound finds the files on disk and keeps the newest only.
    UTL_PhotoCache smaller(m_cache_dir, 1500);
    EXPECT_LE(smaller.total_bytes(), 1500u);
    EXPECT_TRUE(smaller.load("http://h/d", got));
    EXPECT_FALSE(smaller.load("http://h/c", got));
    // Addresses that cannot be written into the file's head are not kept.
    EXPECT_FALSE(smaller.store(entry("http://h/x\ny")));
}

TEST(PhotoCacheRules, FilesAndReplyHeadersReadBackAsWritten) {
    UTL_PhotoCacheEntry entry;
    entry.m_url = "https://example.com/a b.jpg";
    entry.m_etag = "W/\"x y\"";
    entry.m_last_modified = "Tue, 15 Nov 1994 12:45:26 GMT";
    entry.m_fresh_until = -5;
    entry.m_body = std::string("\0\n\nbody\n", 8);
    const std::string file = serialize_cache_entry(entry);
    UTL_PhotoCacheEntry back;
    ASSERT_TRUE(parse_cache_entry(file, back));
    EXPECT_EQ(back.m_url, entry.m_url);
    EXPECT_EQ(back.m_etag, entry.m_etag);
    EXPECT_EQ(back.m_last_modified, entry.m_last_modified);
    EXPECT_EQ(back.m_fresh_until, -5);
    EXPECT_EQ(back.m_body, entry.m_body);
    EXPECT_FALSE(parse_cache_entry(file.substr(0, file.size() - 1), back));
    EXPECT_FALSE(parse_cache_entry(file + "x", back));
    EXPECT_FALSE(parse_cache_entry("NIMBRA-PHOTO 2\n" + file.substr(15), back));
    EXPECT_FALSE(parse_cache_entry("", back));

    UTL_PhotoReplyHeaders headers;
    for (const char* line : {"HTTP/1.1 200 OK\r\n", "ETag: \"old\"\r\n", "HTTP/1.1 200 OK\r\n",
                             "etag:  \"abc\" \r\n", "Cache-Control: public\r\n",
                             "cache-control: Max-Age=60\r\n", "Last-Modified: yesterday\r\n"}) {
        headers.read_line(line, std::strlen(line));
    }
    EXPECT_EQ(headers.m_etag, "\"abc\"");
    EXPECT_EQ(headers.m_last_modified, "yesterday");
    const int64_t now = 1700000000;
    EXPECT_EQ(reply_fresh_until(headers, now), now + 60);
    EXPECT_TRUE(reply_is_storable(headers));

    auto with = [](const std::string& cache_control, const std::string& expires) {
        UTL_PhotoReplyHeaders h;
        h.m_cache_control = cache_control;
        h.m_expires = expires;
        return h;
    };
    EXPECT_EQ(reply_fresh_until(with("", ""), now), now + 24 * 3600);
    EXPECT_EQ(reply_fresh_until(with("no-cache", ""), now), now);
    EXPECT_EQ(reply_fresh_until(with("max-age=0", ""), now), now);
    EXPECT_EQ(reply_fresh_until(with("max-age=abc", ""), now), now);
    EXPECT_EQ(reply_fresh_until(with("max-age=99999999999999999999999", ""), now),
              now + 10 * 365 * 24 * 3600);
    EXPECT_EQ(reply_fresh_until(with("", "Sun, 06 Nov 1994 08:49:37 GMT"), now), 784111777);
    EXPECT_EQ(reply_fresh_until(with("", "0"), now), now);
    EXPECT_EQ(reply_fresh_until(with("max-age=5", "Sun, 06 Nov 1994 08:49:37 GMT"), now), now + 5);
    EXPECT_FALSE(reply_is_storable(with("private, No-Store", "")));
}

TEST(PhotoCacheRules, TheCacheLivesInTheUsersCacheFolder) {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    const std::string saved_xdg = xdg ? xdg : "", saved_home = home ? home : "";
    setenv("XDG_CACHE_HOME", "/somewhere/cache", 1);
    EXPECT_EQ(UTL_PhotoCache::default_directory(), "/somewhere/cache/nimbra/photos");
    setenv("XDG_CACHE_HOME", "relative", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(UTL_PhotoCache::default_directory(), "/home/someone/.cache/nimbra/photos");
    unsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(UTL_PhotoCache::default_directory(), "/home/someone/.cache/nimbra/photos");
    setenv("XDG_CACHE_HOME", saved_xdg.c_str(), 1);
    setenv("HOME", saved_home.c_str(), 1);
}
