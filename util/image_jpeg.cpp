// GFX_ImageSerializerJPEG: libjpeg decompression with an error manager that returns control to
// the reader (setjmp/longjmp) instead of ending the process.
#include "util/image_jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

#include "util/file.h"

namespace {

// libjpeg's own working memory (a progressive file keeps all its coefficients) is capped so a
// small hostile file cannot make it allocate gigabytes; past the cap libjpeg fails cleanly.
const long MAX_DECODER_MEMORY = 128L << 20;
// A progressive file may hold any number of scans, each a pass over the whole picture; real
// photos have about ten.
const int MAX_SCANS = 256;

// NOTE: nothing between setjmp and longjmp may own a C++ object with a destructor; the pixel
// array lives in the serializer, whose pointer survives the jump.
struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
    // Set once every row has arrived; volatile because it is read after the jump.
    volatile bool complete;
};

[[noreturn]] void fail(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// The warning that the entropy-coded data ran out before the picture did (the file is cut
// short, or a marker sits where data should be) ends the decoding: libjpeg would pad the rest
// of the picture with grey. Running into the end of the file alone is no reason: the decoder
// reads ahead, so a file that lacks only its end marker warns of that too. All other messages
// are dropped (no stderr output from a library).
void on_message(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_HIT_MARKER) fail(cinfo);
}

void on_progress(j_common_ptr cinfo) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MAX_SCANS) fail(cinfo);
}

}  // namespace

void GFX_ImageSerializerJPEG::read(const std::string& path, unsigned char** pixels,
                                   unsigned char& bits, unsigned int& width, unsigned int& height) {
    read_file(path, pixels, bits, width, height);
}

void GFX_ImageSerializerJPEG::write(const std::string&, unsigned char*, unsigned char, unsigned int,
                                    unsigned int) {}

void GFX_ImageSerializerJPEG::decode(UTL_File& file) {
    FILE* stream = file.stream();
    if (!stream) return;

    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    jpeg_progress_mgr progress;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = fail;
    errors.base.emit_message = on_message;
    errors.complete = false;
    progress.progress_monitor = on_progress;

    if (setjmp(errors.jump)) {
        // libjpeg failed somewhere below: free its memory and drop an unfinished picture.
        jpeg_destroy_decompress(&cinfo);
        if (!errors.complete) {
            delete[] m_pixels;
            m_pixels = nullptr;
        }
        return;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = MAX_DECODER_MEMORY;
    cinfo.progress = &progress;
    jpeg_stdio_src(&cinfo, stream);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_calc_output_dimensions(&cinfo);

    const JDIMENSION width = cinfo.output_width;
    const JDIMENSION height = cinfo.output_height;
    // Grey and CMYK pictures do not decode to three components; they and oversized pictures
    // give no pixels, before libjpeg sets up its buffers for them. Arithmetic-coded files are
    // refused too: no photo service sends them, and their decoder reads endless zeros past the
    // end of the data without a warning, so a few hundred bytes could decode to a picture of
    // the largest size.
    if (cinfo.arith_code || cinfo.out_color_components != 3 || cinfo.output_components != 3 ||
        width == 0 || height == 0 || width > GFX_Image::MAX_SIDE || height > GFX_Image::MAX_SIDE) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    jpeg_start_decompress(&cinfo);
    const size_t row_bytes = size_t(width) * 3;
    // Every row is written below or the array is dropped, so it need not be zeroed: a header
    // that promises a huge picture in a few bytes then costs untouched address space only.
    if (!allocate(row_bytes * height, false)) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    m_bits = 24;
    m_width = width;
    m_height = height;
    // Scan lines arrive top first; the array holds the picture bottom row first, as OpenGL's
    // texture coordinate t = 0 and the TGA and SGI readers do.
    while (cinfo.output_scanline < height) {
        JSAMPROW row = m_pixels + (height - 1 - cinfo.output_scanline) * row_bytes;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) fail(reinterpret_cast<j_common_ptr>(&cinfo));
    }
    errors.complete = true;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}
