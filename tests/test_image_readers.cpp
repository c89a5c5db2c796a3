// The image readers: reader choice by extension, TGA and SGI decoding from hand-made files,
// pictures made by ImageMagick, and truncated, corrupt and hostile input.
#include "util/image.h"
#include "util/image_jpeg.h"
#include "util/image_sgi.h"
#include "util/image_tga.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::string temp_path(const std::string& name) {
    return ::testing::TempDir() + "nimbra_img_" + name;
}

std::string write_file(const std::string& name, const Bytes& bytes) {
    const std::string path = temp_path(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes pixels_of(const GFX_Image& image) {
    const size_t n = size_t(image.m_width) * image.m_height * image.m_bits_per_pixel / 8;
    return image.m_pixels ? Bytes(image.m_pixels, image.m_pixels + n) : Bytes();
}

Bytes tga(unsigned width, unsigned height, unsigned depth, const Bytes& data,
          unsigned char type = 2, unsigned char id_length = 0) {
    Bytes b(18, 0);
    b[0] = id_length;
    b[2] = type;
    b[12] = width & 0xFF;
    b[13] = width >> 8;
    b[14] = height & 0xFF;
    b[15] = height >> 8;
    b[16] = depth;
    b.insert(b.end(), id_length, 0xEE);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

Bytes sgi(unsigned char storage, unsigned dim, unsigned x, unsigned y, unsigned z,
          unsigned char bpc = 1) {
    Bytes b(512, 0);
    b[0] = 0x01;
    b[1] = 0xDA;
    b[2] = storage;
    b[3] = bpc;
    const unsigned v[] = {dim, x, y, z};
    for (int i = 0; i < 4; ++i) {
        b[4 + 2 * i] = v[i] >> 8;
        b[5 + 2 * i] = v[i] & 0xFF;
    }
    return b;
}

void put_be32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back((v >> s) & 0xFF);
}

// A run-length SGI of the given lines (row + channel * rows order), all stored after the tables.
Bytes sgi_rle(unsigned x, unsigned y, unsigned z, const std::vector<Bytes>& lines) {
    Bytes b = sgi(1, 3, x, y, z);
    uint32_t at = 512 + 8 * uint32_t(lines.size());
    for (const Bytes& l : lines) put_be32(b, at), at += uint32_t(l.size());
    for (const Bytes& l : lines) put_be32(b, uint32_t(l.size()));
    for (const Bytes& l : lines) b.insert(b.end(), l.begin(), l.end());
    return b;
}

Bytes decode_memory(GFX_ImageSerializer& s, const Bytes& file, unsigned& w, unsigned& h,
                    unsigned char& bits) {
    unsigned char* px = nullptr;
    s.read_memory(file.data(), file.size(), &px, bits, w, h);
    Bytes out = px ? Bytes(px, px + size_t(w) * h * bits / 8) : Bytes();
    delete[] px;
    return out;
}

bool have_convert() { return std::system("convert -version >/dev/null 2>&1") == 0; }

bool convert(const std::string& args) {
    return std::system(("convert " + args + " >/dev/null 2>&1").c_str()) == 0;
}

// Rewrites the picture size in a JPEG's frame header.
void set_jpeg_size(Bytes& jpeg, unsigned width, unsigned height) {
    for (size_t i = 2; i + 9 < jpeg.size();) {
        const unsigned char marker = jpeg[i + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            jpeg[i + 5] = height >> 8;
            jpeg[i + 6] = height & 0xFF;
            jpeg[i + 7] = width >> 8;
            jpeg[i + 8] = width & 0xFF;
            return;
        }
        i += 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
    }
    ADD_FAILURE() << "no frame header";
}

}  // namespace

TEST(ImageReaders, ReaderIsChosenByLastExtensionIgnoringCase) {
    EXPECT_EQ(GFX_Image::get_file_type_by_name("photo.jpg"), GFX_Image::FILE_JPEG);
    EXPECT_EQ(GFX_Image::get_file_type_by_name("PHOTO.JPG"), GFX_Image::FILE_JPEG);
    EXPECT_EQ(GFX_Image::get_file_type_by_name("a.b.Jpg"), GFX_Image::FILE_JPEG);
    EXPECT_EQ(GFX_Image::get_file_type_by_name("photo.jpeg"), GFX_Image::FILE_UNKNOWN);
    EXPECT_EQ(GFX_Image::get_file_type_by_name("photo"), GFX_Image::FILE_UNKNOWN);
    EXPECT_EQ(GFX_Image::get_file_type_by_name("x.Raw"), GFX_Image::FILE_SGI);
    EXPECT_EQ(GFX_Image::get_file_type_by_name("x.rgb"), GFX_Image::FILE_SGI);
    EXPECT_EQ(GFX_Image::get_file_type_by_name("x.bmp"), GFX_Image::FILE_BMP);

    // A name no reader takes leaves the image as it was, even when the file exists.
    const Bytes file = tga(1, 1, 24, {1, 2, 3});
    write_file("keep.jpeg", file);
    GFX_Image image;
    image.set_pixels(new unsigned char[3]{7, 8, 9}, 24, 1, 1);
    image.read(temp_path("keep.jpeg"));
    EXPECT_EQ(pixels_of(image), (Bytes{7, 8, 9}));
    // A readable name whose file does not decode leaves the empty image, size included.
    image.read(write_file("not_a_tga.tga", {1, 2, 3}));
    EXPECT_FALSE(image.has_pixels());
    EXPECT_EQ(image.m_width, 0u);
    image.read(temp_path("does_not_exist.tga"));
    EXPECT_FALSE(image.has_pixels());

    // .raw and .rgb are the same reader.
    const Bytes s = sgi_rle(2, 1, 3, {{0x02, 5, 0}, {0x02, 6, 0}, {0x02, 7, 0}});
    GFX_Image raw(write_file("same.raw", s)), rgb(write_file("same.RGB", s));
    EXPECT_EQ(pixels_of(raw), (Bytes{5, 6, 7, 5, 6, 7}));
    EXPECT_EQ(pixels_of(raw), pixels_of(rgb));
}

TEST(ImageReaders, TgaSwapsBlueAndRedAndSkipsTheIdField) {
    GFX_Image rgb(write_file("a.tga", tga(2, 1, 24, {10, 20, 30, 40, 50, 60})));
    EXPECT_EQ(rgb.m_bits_per_pixel, 24);
    EXPECT_EQ(pixels_of(rgb), (Bytes{30, 20, 10, 60, 50, 40}));

    GFX_Image rgba(write_file("b.tga", tga(1, 2, 32, {1, 2, 3, 4, 5, 6, 7, 8}, 2, 5)));
    EXPECT_EQ(rgba.m_bits_per_pixel, 32);
    EXPECT_EQ(rgba.m_height, 2u);
    EXPECT_EQ(pixels_of(rgba), (Bytes{3, 2, 1, 4, 7, 6, 5, 8}));
}

TEST(ImageReaders, TgaUnsupportedOrHostileHeadersGiveNoPixels) {
    GFX_ImageSerializerTGA reader;
    unsigned w = 0, h = 0;
    unsigned char bits = 0;
    const Bytes data(64, 1);
    EXPECT_TRUE(decode_memory(reader, tga(2, 2, 8, data), w, h, bits).empty());
    EXPECT_TRUE(decode_memory(reader, tga(2, 2, 16, data), w, h, bits).empty());
    EXPECT_TRUE(decode_memory(reader, tga(2, 2, 24, data, 1), w, h, bits).empty());   // mapped
    EXPECT_TRUE(decode_memory(reader, tga(2, 2, 24, data, 10), w, h, bits).empty());  // RLE
    EXPECT_TRUE(decode_memory(reader, tga(0, 2, 24, data), w, h, bits).empty());
    EXPECT_TRUE(decode_memory(reader, tga(20000, 1, 24, Bytes(60000)), w, h, bits).empty());
    EXPECT_TRUE(decode_memory(reader, {0, 0, 2}, w, h, bits).empty());
    EXPECT_TRUE(decode_memory(reader, {}, w, h, bits).empty());
    EXPECT_EQ(w, 0u);

    // Promising 1 GiB in a file of a few bytes allocates nothing.
    EXPECT_TRUE(decode_memory(reader, tga(16384, 16384, 32, data), w, h, bits).empty());
    // A file cut short keeps the part it holds; the rest is black, not old memory.
    Bytes cut = decode_memory(reader, tga(2, 2, 24, {1, 2, 3, 4, 5, 6, 7}), w, h, bits);
    EXPECT_EQ(cut, (Bytes{3, 2, 1, 6, 5, 4, 0, 0, 7, 0, 0, 0}));
}

TEST(ImageReaders, SgiVerbatimPlanesAreInterleaved) {
    Bytes file = sgi(0, 3, 2, 1, 3);
    file.insert(file.end(), {1, 2, 10, 20, 100, 200});
    GFX_Image rgb(write_file("v.rgb", file));
    EXPECT_EQ(rgb.m_bits_per_pixel, 24);
    EXPECT_EQ(pixels_of(rgb), (Bytes{1, 10, 100, 2, 20, 200}));

    file = sgi(0, 3, 1, 2, 4);
    file.insert(file.end(), {1, 2, 3, 4, 5, 6, 7, 8});
    GFX_Image rgba(write_file("v4.rgb", file));
    EXPECT_EQ(pixels_of(rgba), (Bytes{1, 3, 5, 7, 2, 4, 6, 8}));

    file = sgi(0, 2, 2, 2, 1);
    file.insert(file.end(), {1, 2, 3, 4});
    GFX_Image grey(write_file("v2.rgb", file));
    EXPECT_EQ(grey.m_bits_per_pixel, 8);
    EXPECT_EQ(pixels_of(grey), (Bytes{1, 2, 3, 4}));

    file = sgi(0, 1, 3, 9, 1);  // one row, whatever y size says
    file.insert(file.end(), {5, 6, 7});
    GFX_Image row(write_file("v1.rgb", file));
    EXPECT_EQ(row.m_height, 1u);
    EXPECT_EQ(pixels_of(row), (Bytes{5, 6, 7}));

    GFX_ImageSerializerRGB reader;
    unsigned w = 0, h = 0;
    unsigned char bits = 0;
    const Bytes plenty(1024, 1);
    file = sgi(0, 3, 2, 2, 2);
    file.insert(file.end(), plenty.begin(), plenty.end());
    EXPECT_TRUE(decode_memory(reader, file, w, h, bits).empty());  // 2 channels
    file = sgi(0, 3, 2, 2, 3, 2);
    file.insert(file.end(), plenty.begin(), plenty.end());
    EXPECT_TRUE(decode_memory(reader, file, w, h, bits).empty());  // 2 bytes a channel
    EXPECT_TRUE(decode_memory(reader, sgi(0, 3, 0, 2, 3), w, h, bits).empty());
    EXPECT_TRUE(decode_memory(reader, sgi(0, 3, 16384, 16384, 4), w, h, bits).empty());
    EXPECT_TRUE(decode_memory(reader, Bytes(511, 0), w, h, bits).empty());
}

TEST(ImageReaders, SgiRunLengthLinesDecodeIntoTheirChannels) {
    // Red gets the literal 1, 2, 3 then 9 twice; green a run of 7; blue a literal of five.
    const Bytes file = sgi_rle(
        5, 1, 3,
        {{0x83, 1, 2, 3, 0x02, 9, 0x00}, {0x05, 7, 0x00}, {0x85, 11, 12, 13, 14, 15, 0x00}});
    GFX_Image image(write_file("rle.rgb", file));
    EXPECT_EQ(image.m_bits_per_pixel, 24);
    EXPECT_EQ(pixels_of(image), (Bytes{1, 7, 11, 2, 7, 12, 3, 7, 13, 9, 7, 14, 9, 7, 15}));
}

TEST(ImageReaders, SgiRunLengthHostileLinesStayInsideRowAndFile) {
    GFX_ImageSerializerRGB reader;
    unsigned w = 0, h = 0;
    unsigned char bits = 0;
    // Runs and literals longer than the 3-pixel row, a literal longer than its line, a line
    // without end marker: each row stops at its own end and the next row is untouched.
    Bytes file = sgi_rle(3, 2, 3,
                         {{0x7F, 9},
                          {0x02, 4},
                          {0xFF, 1, 2},
                          {0x03, 5},
                          {0x8F, 6, 6, 6, 6, 6, 6},
                          {0x01, 8, 0x01, 8, 0x01, 8}});
    EXPECT_EQ(decode_memory(reader, file, w, h, bits),
              (Bytes{9, 1, 6, 9, 2, 6, 9, 0, 6, 4, 5, 8, 4, 5, 8, 0, 5, 8}));

    // A line starting past the end of the file, and one whose length runs past it and past
    // 4 GiB, read what the file holds; the other rows are intact.
    file = sgi_rle(2, 1, 3, {{0x02, 1, 0}, {0x02, 2, 0}, {0x02, 3, 0}});
    for (int i = 0; i < 4; ++i) file[512 + 4 + i] = 0xFF;   // green starts at 4 GiB - 1
    for (int i = 0; i < 4; ++i) file[512 + 20 + i] = 0xFF;  // blue is 4 GiB - 1 long
    EXPECT_EQ(decode_memory(reader, file, w, h, bits), (Bytes{1, 0, 3, 1, 0, 3}));

    // Tables cut short, a grey run-length image, and a 16384-row header in a small file.
    file = sgi_rle(2, 4, 3, std::vector<Bytes>(12, Bytes{0x02, 1, 0}));
    file.resize(512 + 40);
    EXPECT_TRUE(decode_memory(reader, file, w, h, bits).empty());
    file = sgi(1, 2, 4, 1, 1);
    put_be32(file, 520);
    put_be32(file, 3);
    file.insert(file.end(), {0x04, 1, 0});
    EXPECT_TRUE(decode_memory(reader, file, w, h, bits).empty());
    file = sgi(1, 3, 16384, 16384, 4);
    file.resize(4096, 0x7F);
    EXPECT_TRUE(decode_memory(reader, file, w, h, bits).empty());
}

TEST(ImageReaders, ImageMagickFilesMatchTheirRawPixels) {
    if (!have_convert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    // A 5 x 3 picture whose rows all differ, with two odd pixels; rgb: gives its raw bytes, top
    // row first.
    const std::string png = temp_path("im.png");
    ASSERT_TRUE(
        convert("-size 5x3 gradient:'#102030-#F0C0A0' -fill '#00FF80' -draw 'point 1,0' "
                "-fill '#FF0000' -draw 'point 4,2' " +
                png));
    ASSERT_TRUE(convert(png + " -depth 8 rgb:" + temp_path("im.bin")));
    const Bytes top_first = read_file(temp_path("im.bin"));
    ASSERT_EQ(top_first.size(), 45u);
    Bytes bottom_first;
    for (int row = 2; row >= 0; --row)
        bottom_first.insert(bottom_first.end(), top_first.begin() + row * 15,
                            top_first.begin() + row * 15 + 15);

    // ImageMagick 6 writes TGA rows top first under a bottom-left origin; -flip makes the
    // file bottom-up, as the format means.
    const std::string tga24 = temp_path("im.tga"), tga32 = temp_path("im32.tga");
    const std::string sgi_v = temp_path("imv.rgb"), sgi_r = temp_path("imr.rgb");
    ASSERT_TRUE(convert(png + " -flip -type TrueColor -compress None " + tga24));
    ASSERT_TRUE(convert(png + " -flip -alpha on -type TrueColorAlpha -compress None " + tga32));
    ASSERT_TRUE(convert(png + " -type TrueColor -compress None sgi:" + sgi_v));
    ASSERT_TRUE(convert(png + " -type TrueColor -compress RLE sgi:" + sgi_r));

    EXPECT_EQ(pixels_of(GFX_Image(tga24)), bottom_first);
    EXPECT_EQ(pixels_of(GFX_Image(sgi_v)), bottom_first);
    EXPECT_EQ(pixels_of(GFX_Image(sgi_r)), bottom_first);
    GFX_Image rgba(tga32);
    ASSERT_EQ(rgba.m_bits_per_pixel, 32);
    for (size_t p = 0; p < 15; ++p) {
        EXPECT_EQ(Bytes(rgba.m_pixels + 4 * p, rgba.m_pixels + 4 * p + 3),
                  Bytes(&bottom_first[3 * p], &bottom_first[3 * p + 3]));
        EXPECT_EQ(rgba.m_pixels[4 * p + 3], 255);
    }
}

TEST(ImageReaders, JpegIsStoredBottomRowFirst) {
    if (!have_convert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    // 4 x 2: the top row red, the bottom row blue.
    const std::string jpg = temp_path("rows.jpg");
    ASSERT_TRUE(
        convert("-size 4x2 xc:red -fill blue -draw 'line 0,1 3,1' -quality 100 "
                "-sampling-factor 1x1 " +
                jpg));
    GFX_Image image(jpg);
    ASSERT_TRUE(image.has_pixels());
    EXPECT_EQ(image.m_width, 4u);
    EXPECT_EQ(image.m_height, 2u);
    EXPECT_EQ(image.m_bits_per_pixel, 24);
    for (int p = 0; p < 8; ++p) {
        const unsigned char* px = image.m_pixels + 3 * p;
        const bool bottom = p < 4;
        EXPECT_NEAR(px[0], bottom ? 0 : 255, 12) << p;
        EXPECT_NEAR(px[2], bottom ? 255 : 0, 12) << p;
    }

    // A progressive file of the same picture decodes to the same pixels.
    const std::string progressive = temp_path("rows_p.jpg");
    ASSERT_TRUE(convert(jpg + " -interlace JPEG -quality 100 -sampling-factor 1x1 " + progressive));
    EXPECT_EQ(pixels_of(GFX_Image(progressive)), pixels_of(image));
}

TEST(ImageReaders, BrokenOrUnsupportedJpegsGiveNoPixelsAndDoNotEndTheProcess) {
    if (!have_convert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    const std::string jpg = temp_path("photo.jpg");
    ASSERT_TRUE(convert("-seed 7 -size 64x48 plasma:fractal -quality 90 " + jpg));
    const Bytes whole = read_file(jpg);
    GFX_ImageSerializerJPEG reader;
    unsigned w = 0, h = 0;
    unsigned char bits = 0;
    ASSERT_EQ(decode_memory(reader, whole, w, h, bits).size(), 64u * 48 * 3);

    // Cut short (a download that broke off): no pixels rather than a grey lower part.
    EXPECT_TRUE(
        decode_memory(reader, Bytes(whole.begin(), whole.begin() + whole.size() / 2), w, h, bits)
            .empty());
    EXPECT_TRUE(
        decode_memory(reader, Bytes(whole.begin(), whole.begin() + 100), w, h, bits).empty());
    // Only the end marker missing: every row is there, the picture stays.
    EXPECT_EQ(decode_memory(reader, Bytes(whole.begin(), whole.end() - 2), w, h, bits).size(),
              64u * 48 * 3);
    // Entropy-coded data overwritten by a marker in the middle.
    Bytes marked = whole;
    marked[whole.size() - 200] = 0xFF;
    marked[whole.size() - 199] = 0xD9;
    EXPECT_TRUE(decode_memory(reader, marked, w, h, bits).empty());
    // An HTML error page saved as a photo, and an empty file.
    GFX_Image html(write_file("html.jpg", Bytes{'<', 'h', 't', 'm', 'l', '>'}));
    EXPECT_FALSE(html.has_pixels());
    GFX_Image empty(write_file("empty.jpg", {}));
    EXPECT_FALSE(empty.has_pixels());
}

TEST(ImageReaders, JpegHeadersPromisingHugePicturesGiveNoPixels) {
    if (!have_convert() || std::system("cjpeg -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick's convert or libjpeg-turbo's cjpeg is not installed";
    const std::string ppm = temp_path("small.ppm");
    ASSERT_TRUE(convert("-seed 5 -size 16x16 plasma:fractal -depth 8 ppm:" + ppm));
    ASSERT_EQ(std::system(("cjpeg " + ppm + " >" + temp_path("huff.jpg")).c_str()), 0);
    ASSERT_EQ(std::system(("cjpeg -arithmetic " + ppm + " >" + temp_path("arith.jpg")).c_str()), 0);
    GFX_ImageSerializerJPEG reader;
    unsigned w = 0, h = 0;
    unsigned char bits = 0;
    Bytes huff = read_file(temp_path("huff.jpg"));
    ASSERT_EQ(decode_memory(reader, huff, w, h, bits).size(), 16u * 16 * 3);

    // Over the side limit, and at the limit with the data running out at once.
    set_jpeg_size(huff, 20000, 16);
    EXPECT_TRUE(decode_memory(reader, huff, w, h, bits).empty());
    set_jpeg_size(huff, 16384, 16384);
    EXPECT_TRUE(decode_memory(reader, huff, w, h, bits).empty());
    // Arithmetic-coded data decodes to zeros past its end without a warning: refused, or these
    // few hundred bytes would become a 768 MB picture.
    Bytes arith = read_file(temp_path("arith.jpg"));
    set_jpeg_size(arith, 16384, 16384);
    EXPECT_TRUE(decode_memory(reader, arith, w, h, bits).empty());
}
