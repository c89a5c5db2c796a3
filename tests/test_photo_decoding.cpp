// Photos of every common kind decoded from real files (ImageMagick, libjpeg's encoder and
// cjpeg): colour spaces, EXIF orientations, PNG layouts, reduced decoding of huge pictures and
// the choice of decoder by signature. Pixels are checked where the picture shows them.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/jpeg_fixtures.h"
#include "tests/support/photo_files.h"
#include "util/image.h"
#include "util/photo_decoder.h"

namespace {

struct Rgb {
    int r, g, b;
};

// The pixel at (x, y) counted from the top left as the picture shows; grey pictures give the
// same value three times.
Rgb pixel(const GFX_Image& image, unsigned x, unsigned y) {
    const unsigned channels = image.m_bits_per_pixel / 8;
    const unsigned char* p =
        image.m_pixels + (size_t(image.m_height - 1 - y) * image.m_width + x) * channels;
    if (channels < 3) return {p[0], p[0], p[0]};
    return {p[0], p[1], p[2]};
}

::testing::AssertionResult near(const Rgb& got, const Rgb& want, int tolerance = 24) {
    if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
        std::abs(got.b - want.b) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "got (" << got.r << ", " << got.g << ", " << got.b << "), want (" << want.r << ", "
           << want.g << ", " << want.b << ")";
}

std::unique_ptr<GFX_Image> decode(const std::string& bytes, uint32_t max_side = 1024,
                                  const std::string& fallback = "") {
    GFX_PhotoDecodeOptions options;
    options.m_max_side = max_side;
    options.m_fallback_name = fallback;
    return std::unique_ptr<GFX_Image>(
        decode_photo(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), options));
}

const Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};

class PhotoDecoding : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(m_dir.path().empty()); }
    // convert's output for the arguments, failing the test when it made nothing.
    std::string make(const std::string& name, const std::string& args) {
        std::string bytes = m_dir.make(name, args);
        EXPECT_FALSE(bytes.empty()) << "convert " << args;
        return bytes;
    }
    PhotoDir m_dir;
};

}  // namespace

TEST_F(PhotoDecoding, JpegsOfEveryColourSpaceShowTheirColours) {
    // Grey: one byte a pixel, as a luminance texture.
    auto grey = decode(make("grey.jpg", "-size 16x8 xc:'gray(128)' -colorspace Gray"));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->m_bits_per_pixel, 8);
    EXPECT_TRUE(near(pixel(*grey, 3, 3), {128, 128, 128}, 4));

    // ImageMagick writes CMYK as Adobe's inverted YCCK.
    auto magick = decode(make("cmyk.jpg",
                              "-size 24x8 xc:red -fill blue -draw 'rectangle 12,0 23,7' "
                              "-colorspace CMYK"));
    ASSERT_TRUE(magick);
    EXPECT_EQ(magick->m_bits_per_pixel, 24);
    EXPECT_TRUE(near(pixel(*magick, 3, 4), kRed));
    EXPECT_TRUE(near(pixel(*magick, 20, 4), kBlue));

    // Three bands of ink written by libjpeg: magenta + yellow (red), cyan + magenta (blue), and
    // half black; plain CMYK, Adobe's inverted CMYK and Adobe's YCCK must all show them.
    const unsigned w = 24, h = 8;
    std::vector<unsigned char> cmyk(size_t(w) * h * 4, 0);
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            unsigned char* p = &cmyk[(size_t(y) * w + x) * 4];
            if (x < 8) p[1] = p[2] = 255;
            else if (x < 16) p[0] = p[1] = 255;
            else p[3] = 128;
        }
    }
    struct Kind {
        const char* name;
        bool adobe, ycck;
    };
    for (const Kind& kind : {Kind{"plain CMYK", false, false}, Kind{"Adobe CMYK", true, false},
                             Kind{"Adobe YCCK", true, true}}) {
        SCOPED_TRACE(kind.name);
        auto image = decode(cmyk_jpeg(cmyk, w, h, kind.adobe, kind.ycck));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->m_width, w);
        EXPECT_TRUE(near(pixel(*image, 3, 4), kRed));
        EXPECT_TRUE(near(pixel(*image, 11, 4), kBlue));
        EXPECT_TRUE(near(pixel(*image, 20, 4), {127, 127, 127}, 10));
    }
}

TEST_F(PhotoDecoding, EveryExifOrientationStandsUpright) {
    // As shown: 60 x 40, red top left, green top right, blue bottom left, white bottom right.
    const std::string upright =
        "-size 60x40 xc:white -fill red -draw 'rectangle 0,0 29,19' -fill lime -draw "
        "'rectangle 30,0 59,19' -fill blue -draw 'rectangle 0,20 29,39'";
    // What a camera stores for each orientation: the shown picture turned back.
    const char* stored[9] = {"",          "",           "-flop",       "-rotate 180",
                             "-flip",     "-transpose", "-rotate 270", "-transverse",
                             "-rotate 90"};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (bool big_endian : {false, true}) {
            SCOPED_TRACE("orientation " + std::to_string(orientation) +
                         (big_endian ? " Motorola" : " Intel"));
            const std::string name = "o" + std::to_string(orientation) + ".jpg";
            const std::string jpeg = make(name, upright + " " + stored[orientation]);
            auto image =
                decode(with_segment(jpeg, exif_orientation_segment(orientation, big_endian)));
            ASSERT_TRUE(image);
            ASSERT_EQ(image->m_width, 60u);
            ASSERT_EQ(image->m_height, 40u);
            EXPECT_TRUE(near(pixel(*image, 10, 8), kRed));
            EXPECT_TRUE(near(pixel(*image, 50, 8), kGreen));
            EXPECT_TRUE(near(pixel(*image, 10, 32), kBlue));
            EXPECT_TRUE(near(pixel(*image, 50, 32), kWhite));
        }
    }
    // An orientation outside 1 to 8 leaves the picture as stored.
    auto odd = decode(with_segment(make("o9.jpg", upright), exif_orientation_segment(9, false)));
    ASSERT_TRUE(odd);
    EXPECT_TRUE(near(pixel(*odd, 10, 8), kRed));
}

TEST_F(PhotoDecoding, PngsWithAlphaPaletteSixteenBitsGreyAndInterlaceShowTheirPixels) {
    // Top half red, bottom half blue in every layout; the alpha one is half transparent.
    const std::string halves = "-size 20x10 xc:red -fill blue -draw 'rectangle 0,5 19,9'";
    struct Kind {
        const char* name;
        std::string args;
        int bits;
    };
    const Kind kinds[] = {
        {"rgb.png", halves + " PNG24:", 24},
        {"palette.png", halves + " -type Palette PNG8:", 24},
        {"deep.png", halves + " -depth 16 PNG48:", 24},
        {"interlaced.png", halves + " -interlace PNG PNG24:", 24},
        {"alpha.png", halves + " -alpha on -channel A -evaluate set 50% +channel PNG32:", 32},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        // convert takes the output format as a prefix of the file name.
        const std::string path = m_dir.file(kind.name);
        const size_t colon = kind.args.rfind(' ');
        const std::string command = "convert " + kind.args.substr(0, colon) + " '" +
                                    kind.args.substr(colon + 1) + path + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        auto image = decode(PhotoDir::read(path));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->m_bits_per_pixel, kind.bits);
        EXPECT_EQ(image->m_width, 20u);
        EXPECT_EQ(image->m_height, 10u);
        EXPECT_TRUE(near(pixel(*image, 10, 2), kRed, 2));
        EXPECT_TRUE(near(pixel(*image, 10, 7), kBlue, 2));
        if (kind.bits == 32) {
            const unsigned char* top = image->m_pixels + (size_t(9) * 20 + 10) * 4;
            EXPECT_NEAR(top[3], 128, 2);
        }
    }
    const std::string grey_path = m_dir.file("grey.png");
    ASSERT_EQ(std::system(("convert -size 4x4 xc:'gray(200)' -colorspace Gray -depth 8 PNG:'" +
                           grey_path + "'")
                              .c_str()),
              0);
    auto grey = decode(PhotoDir::read(grey_path));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->m_bits_per_pixel, 8);
    EXPECT_TRUE(near(pixel(*grey, 1, 1), {200, 200, 200}, 2));
}

TEST_F(PhotoDecoding, TheDecoderFollowsTheSignatureNotTheName) {
    const std::string jpeg_path = m_dir.file("really_a_jpeg.png");
    const std::string png_path = m_dir.file("really_a_png.jpg");
    ASSERT_EQ(std::system(("convert -size 8x8 xc:red JPG:'" + jpeg_path + "'").c_str()), 0);
    ASSERT_EQ(std::system(("convert -size 8x8 xc:blue PNG24:'" + png_path + "'").c_str()), 0);
    const std::string jpeg = PhotoDir::read(jpeg_path);
    const std::string png = PhotoDir::read(png_path);
    ASSERT_EQ(photo_format_of(reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size()),
              GFX_PhotoFormat::JPEG);
    auto from_jpeg = decode(jpeg, 1024, "photo.png");
    auto from_png = decode(png, 1024, "photo.jpg");
    ASSERT_TRUE(from_jpeg && from_png);
    EXPECT_TRUE(near(pixel(*from_jpeg, 4, 4), kRed));
    EXPECT_TRUE(near(pixel(*from_png, 4, 4), kBlue, 2));

    // An error page, nothing, a PNG signature alone: no picture.
    EXPECT_FALSE(decode("<html><body>Not found</body></html>"));
    EXPECT_FALSE(decode(""));
    EXPECT_FALSE(decode(png.substr(0, 8)));
    EXPECT_FALSE(decode(png.substr(0, png.size() / 2)));
    // Bytes of no photo format decode by a trusted name's extension only.
    const std::string tga = make("data.tga", "-size 4x4 xc:lime");
    EXPECT_FALSE(decode(tga));
    auto from_tga = decode(tga, 1024, "data.tga");
    ASSERT_TRUE(from_tga);
    EXPECT_TRUE(near(pixel(*from_tga, 1, 1), kGreen));
}

TEST_F(PhotoDecoding, HugePicturesAreDecodedReducedToAtMostTheLimit) {
    // 50 megapixels, progressive, 4:2:0 as cameras write them, from libjpeg's cjpeg: a green
    // band over the top quarter, red below on the left half, blue on the right.
    const unsigned w = 8660, h = 5774;
    const std::string path = m_dir.file("huge.jpg");
    FILE* cjpeg =
        popen(("cjpeg -progressive -quality 85 -sample 2x2 -outfile '" + path + "'").c_str(), "w");
    ASSERT_NE(cjpeg, nullptr);
    std::fprintf(cjpeg, "P6\n%u %u\n255\n", w, h);
    std::vector<unsigned char> row(size_t(w) * 3);
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            const Rgb c = y < h / 4 ? kGreen : x < w / 2 ? kRed : kBlue;
            row[3 * x] = c.r, row[3 * x + 1] = c.g, row[3 * x + 2] = c.b;
        }
        fwrite(row.data(), 1, row.size(), cjpeg);
    }
    ASSERT_EQ(pclose(cjpeg), 0);
    auto image = decode(PhotoDir::read(path));
    ASSERT_TRUE(image) << "the reduced decoding stays within the decoder's memory cap";
    EXPECT_LE(image->m_width, 1024u);
    EXPECT_GE(image->m_width, 512u);
    EXPECT_EQ(image->m_height, (image->m_width * h + w / 2) / w);
    const unsigned iw = image->m_width, ih = image->m_height;
    EXPECT_TRUE(near(pixel(*image, iw / 2, ih / 8), kGreen));
    EXPECT_TRUE(near(pixel(*image, iw / 4, ih * 3 / 4), kRed));
    EXPECT_TRUE(near(pixel(*image, iw * 3 / 4, ih * 3 / 4), kBlue));

    // A large PNG is box-filtered while its rows arrive: 3000 x 2000 by 3 to 1000 x 667, with
    // the partial boxes of the last row averaged over what they hold.
    const std::string png_path = m_dir.file("large.png");
    ASSERT_EQ(std::system(("convert -size 3000x2000 xc:red -fill blue -draw 'rectangle "
                           "1500,0 2999,1999' PNG24:'" +
                           png_path + "'")
                              .c_str()),
              0);
    auto png = decode(PhotoDir::read(png_path));
    ASSERT_TRUE(png);
    EXPECT_EQ(png->m_width, 1000u);
    EXPECT_EQ(png->m_height, 667u);
    EXPECT_TRUE(near(pixel(*png, 100, 666), kRed, 0));
    EXPECT_TRUE(near(pixel(*png, 900, 0), kBlue, 0));
    // The box of columns 1497 to 1499 is red, the next one blue: the edge stays sharp.
    EXPECT_TRUE(near(pixel(*png, 499, 300), kRed, 0));
    EXPECT_TRUE(near(pixel(*png, 500, 300), kBlue, 0));
}

TEST_F(PhotoDecoding, WebPsLossyLosslessWithAlphaAnimatedAndLargeShowTheirPixels) {
    // Lossy, as avatar services serve them: red over the top half, blue below on the left,
    // green on the right, named as something else.
    const std::string lossy = make("avatar.jpg.webp",
                                   "-size 64x64 xc:red -fill blue -draw 'rectangle 0,32 31,63' "
                                   "-fill lime -draw 'rectangle 32,32 63,63'");
    ASSERT_EQ(photo_format_of(reinterpret_cast<const unsigned char*>(lossy.data()), lossy.size()),
              GFX_PhotoFormat::WEBP);
    auto image = decode(lossy, 1024, "avatar.jpg");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->m_bits_per_pixel, 24);
    EXPECT_EQ(image->m_width, 64u);
    EXPECT_TRUE(near(pixel(*image, 32, 8), kRed));
    EXPECT_TRUE(near(pixel(*image, 8, 56), kBlue));
    EXPECT_TRUE(near(pixel(*image, 56, 56), kGreen));

    // Lossless with alpha: RGBA, exact, the transparent half transparent.
    const std::string alpha = make("alpha.webp",
                                   "-size 16x16 xc:none -fill blue -draw 'rectangle 0,0 15,7' "
                                   "-define webp:lossless=true");
    auto with_alpha = decode(alpha);
    ASSERT_TRUE(with_alpha);
    ASSERT_EQ(with_alpha->m_bits_per_pixel, 32);
    const unsigned char* top = with_alpha->m_pixels + (size_t(15) * 16 + 3) * 4;
    const unsigned char* bottom = with_alpha->m_pixels + 3 * 4;
    EXPECT_EQ(top[2], 255);
    EXPECT_EQ(top[3], 255);
    EXPECT_EQ(bottom[3], 0);

    // An animation shows its first frame.
    const std::string animation = make("anim.webp", "-delay 10 -size 16x16 xc:red xc:lime");
    auto first = decode(animation);
    ASSERT_TRUE(first);
    EXPECT_TRUE(near(pixel(*first, 8, 8), kRed));

    // A large one comes reduced by the same whole factor as the others: 3000 x 2000 by 3.
    const std::string large = make("large.webp",
                                   "-size 3000x2000 xc:red -fill blue -draw 'rectangle "
                                   "1500,0 2999,1999' -define webp:lossless=true");
    auto reduced = decode(large);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->m_width, 1000u);
    EXPECT_EQ(reduced->m_height, 667u);
    EXPECT_TRUE(near(pixel(*reduced, 100, 300), kRed));
    EXPECT_TRUE(near(pixel(*reduced, 900, 300), kBlue));

    // Cut short, its header alone, or junk behind a WebP signature: no picture. By file name
    // the image reader takes it too.
    EXPECT_FALSE(decode(lossy.substr(0, lossy.size() / 2)));
    EXPECT_FALSE(decode(lossy.substr(0, 30)));
    EXPECT_FALSE(decode(lossy.substr(0, 12) + std::string(200, '\x7f')));
    EXPECT_FALSE(decode(animation.substr(0, animation.size() / 2)));
    GFX_Image by_name(m_dir.file("alpha.webp"));
    EXPECT_EQ(by_name.m_width, 16u);
}

TEST_F(PhotoDecoding, GifsShowTheirFirstFrameOnTheirCanvas) {
    // Interlaced, named as something else: the rows come in four passes and still land in
    // order (red on the left, blue on the right, a white band across the top).
    const std::string interlaced =
        make("avatar.png.gif",
             "-size 64x48 xc:red -fill blue -draw 'rectangle 32,0 63,47' -fill white -draw "
             "'rectangle 0,0 63,2' -interlace GIF");
    ASSERT_EQ(photo_format_of(reinterpret_cast<const unsigned char*>(interlaced.data()),
                              interlaced.size()),
              GFX_PhotoFormat::GIF);
    auto image = decode(interlaced, 1024, "avatar.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->m_bits_per_pixel, 24);
    EXPECT_EQ(image->m_width, 64u);
    EXPECT_EQ(image->m_height, 48u);
    for (unsigned y = 3; y < 48; y += 5) {
        EXPECT_TRUE(near(pixel(*image, 5, y), kRed, 0)) << "row " << y;
        EXPECT_TRUE(near(pixel(*image, 40, y), kBlue, 0)) << "row " << y;
    }
    EXPECT_TRUE(near(pixel(*image, 20, 1), kWhite, 0));

    // A transparent colour gives RGBA with that part transparent.
    auto alpha = decode(make("alpha.gif",
                             "-size 16x16 xc:none -fill blue -draw 'rectangle 0,0 "
                             "15,7'"));
    ASSERT_TRUE(alpha);
    ASSERT_EQ(alpha->m_bits_per_pixel, 32);
    const unsigned char* top = alpha->m_pixels + (size_t(15) * 16 + 3) * 4;
    const unsigned char* bottom = alpha->m_pixels + 3 * 4;
    EXPECT_EQ(top[2], 255);
    EXPECT_EQ(top[3], 255);
    EXPECT_EQ(bottom[3], 0);

    // A first frame smaller than the canvas sits at its offset; the rest is transparent.
    auto part = decode(make("part.gif", "-size 8x8 xc:red -repage 32x24+8+4"));
    ASSERT_TRUE(part);
    ASSERT_EQ(part->m_bits_per_pixel, 32);
    EXPECT_EQ(part->m_width, 32u);
    EXPECT_EQ(part->m_height, 24u);
    const auto alpha_at = [&](unsigned x, unsigned y) {
        return part->m_pixels[(size_t(23 - y) * 32 + x) * 4 + 3];
    };
    EXPECT_TRUE(near(pixel(*part, 10, 6), kRed, 0));
    EXPECT_EQ(alpha_at(10, 6), 255);
    EXPECT_EQ(alpha_at(2, 2), 0);
    EXPECT_EQ(alpha_at(20, 6), 0);

    // A few bytes naming a huge canvas around a tiny frame: the frame alone, not a gigabyte
    // of transparent rows (the fuzzer found such a file taking seconds).
    auto tiny = decode(make("tiny.gif", "-size 8x2 xc:red -repage 15880x12038+300+200"));
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->m_width, 8u);
    EXPECT_EQ(tiny->m_height, 2u);
    EXPECT_TRUE(near(pixel(*tiny, 4, 1), kRed, 0));

    // An animation shows its first frame.
    const std::string animation = make("anim.gif", "-delay 10 -size 16x16 xc:red xc:lime");
    auto first = decode(animation);
    ASSERT_TRUE(first);
    EXPECT_TRUE(near(pixel(*first, 8, 8), kRed, 0));

    // A large one comes reduced by the same whole factor as the others: 3000 x 2000 by 3.
    auto reduced = decode(make("large.gif",
                               "-size 3000x2000 xc:red -fill blue -draw "
                               "'rectangle 1500,0 2999,1999'"));
    ASSERT_TRUE(reduced);
    EXPECT_EQ(reduced->m_width, 1000u);
    EXPECT_EQ(reduced->m_height, 667u);
    EXPECT_TRUE(near(pixel(*reduced, 100, 300), kRed, 0));
    EXPECT_TRUE(near(pixel(*reduced, 900, 300), kBlue, 0));

    // Cut inside the frame, its header alone, or junk behind the signature: no picture. By
    // file name the image reader takes it too.
    EXPECT_FALSE(decode(interlaced.substr(0, interlaced.size() / 2)));
    EXPECT_FALSE(decode(interlaced.substr(0, 13)));
    EXPECT_FALSE(decode(interlaced.substr(0, 6) + std::string(200, '\x7f')));
    GFX_Image by_name(m_dir.file("alpha.gif"));
    EXPECT_EQ(by_name.m_width, 16u);
}
