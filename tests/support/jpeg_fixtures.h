// Photo fixtures that ImageMagick cannot make: JPEGs written with libjpeg's own encoder in CMYK
// or YCCK, with or without Adobe's marker, and EXIF orientation segments spliced into a JPEG.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <string>
#include <vector>

// Writes a width x height JPEG of CMYK samples (4 bytes a pixel, top row first) as they are
// meant: ink amounts, 255 = full ink. adobe: written the way Adobe's applications do, with the
// APP14 marker and every sample inverted; ycck: in Adobe's YCCK transform (implies adobe).
inline std::string cmyk_jpeg(const std::vector<unsigned char>& cmyk, unsigned width,
                             unsigned height, bool adobe, bool ycck) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    jpeg_mem_dest(&cinfo, &out, &out_size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, ycck ? JCS_YCCK : JCS_CMYK);
    cinfo.write_Adobe_marker = adobe || ycck ? TRUE : FALSE;
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(size_t(width) * 4);
    while (cinfo.next_scanline < height) {
        const unsigned char* src = &cmyk[size_t(cinfo.next_scanline) * width * 4];
        for (size_t i = 0; i < row.size(); ++i) row[i] = adobe || ycck ? 255 - src[i] : src[i];
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string bytes(reinterpret_cast<char*>(out), out_size);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

// An APP1 segment holding EXIF data whose first directory has only the orientation tag, in
// Intel (little-endian) or Motorola (big-endian) byte order.
inline std::string exif_orientation_segment(int orientation, bool big_endian) {
    auto u16 = [&](std::string& s, unsigned v) {
        if (big_endian) {
            s += char(v >> 8), s += char(v & 0xFF);
        } else {
            s += char(v & 0xFF), s += char(v >> 8);
        }
    };
    auto u32 = [&](std::string& s, unsigned v) {
        if (big_endian) {
            u16(s, v >> 16), u16(s, v & 0xFFFF);
        } else {
            u16(s, v & 0xFFFF), u16(s, v >> 16);
        }
    };
    std::string tiff = big_endian ? "MM" : "II";
    u16(tiff, 42);
    u32(tiff, 8);       // the first directory follows the header
    u16(tiff, 1);       // one entry
    u16(tiff, 0x0112);  // Orientation
    u16(tiff, 3);       // SHORT
    u32(tiff, 1);       // one value, stored in the entry
    u16(tiff, unsigned(orientation));
    u16(tiff, 0);
    u32(tiff, 0);  // no next directory
    const std::string payload = std::string("Exif\0\0", 6) + tiff;
    std::string segment = "\xFF\xE1";
    const size_t length = payload.size() + 2;
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    return segment + payload;
}

// The JPEG with the segment inserted right behind its start-of-image marker.
inline std::string with_segment(const std::string& jpeg, const std::string& segment) {
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}
