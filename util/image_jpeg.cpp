// GFX_ImageSerializerJPEG: libjpeg decompression with an error manager that returns control to
// the reader (setjmp/longjmp) instead of ending the process; colour space conversion, reduced
// decoding of large pictures and the EXIF orientation.
#include "util/image_jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

#include "util/file.h"
#include "util/image_orientation.h"

namespace {

// A progressive file may hold any number of scans, each a pass over the whole picture; real
// photos have about ten.
const int MAX_SCANS = 256;

// NOTE: nothing between setjmp and longjmp may own a C++ object with a destructor; the pixel
// array and the working rows live in the serializer, whose members survive the jump.
struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf jump;
    // Set once every row has arrived; volatile because it is read after the jump.
    volatile bool complete;
    // The EXIF orientation, known once the rows have been read.
    volatile int orientation;
    const std::atomic<bool>* cancel;
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

// Called by libjpeg every few rows, and while a progressive file's scans are read in.
void on_progress(j_common_ptr cinfo) {
    const ErrorManager* errors = reinterpret_cast<const ErrorManager*>(cinfo->err);
    if (errors->cancel != nullptr && errors->cancel->load(std::memory_order_relaxed)) fail(cinfo);
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MAX_SCANS) fail(cinfo);
}

// How the decoded samples become the stored pixels.
enum class Output { GREY, RGB, CMYK, INVERTED_CMYK, REFUSED };

Output output_for(j_decompress_ptr cinfo) {
    switch (cinfo->jpeg_color_space) {
        case JCS_GRAYSCALE:
            cinfo->out_color_space = JCS_GRAYSCALE;
            return Output::GREY;
        case JCS_YCbCr:
        case JCS_RGB:
            cinfo->out_color_space = JCS_RGB;
            return Output::RGB;
        case JCS_CMYK:
            // NOTE: Adobe's applications write CMYK inverted (0 = full ink) and mark their files
            // with the APP14 segment; a file without it stores plain CMYK.
            cinfo->out_color_space = JCS_CMYK;
            return cinfo->saw_Adobe_marker ? Output::INVERTED_CMYK : Output::CMYK;
        case JCS_YCCK:
            // libjpeg turns YCCK into CMYK itself; YCCK exists only in Adobe's inverted form.
            cinfo->out_color_space = JCS_CMYK;
            return Output::INVERTED_CMYK;
        case JCS_UNKNOWN:
            // Three components of no known transform are taken as RGB as they stand.
            if (cinfo->num_components == 3) {
                cinfo->out_color_space = JCS_UNKNOWN;
                return Output::RGB;
            }
            return Output::REFUSED;
        default:
            return Output::REFUSED;
    }
}

// The largest DCT scaling M/8 whose output fits max_side on both sides (1/8 when none does;
// the box filter then takes over).
unsigned dct_scale_for(JDIMENSION width, JDIMENSION height, uint32_t max_side) {
    if (max_side == 0) return 8;
    for (unsigned m = 8; m > 1; --m) {
        const unsigned long w = (static_cast<unsigned long>(width) * m + 7) / 8;
        const unsigned long h = (static_cast<unsigned long>(height) * m + 7) / 8;
        if (w <= max_side && h <= max_side) return m;
    }
    return 1;
}

void cmyk_to_rgb(const unsigned char* cmyk, unsigned char* rgb, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        // Inverted samples hold the ink left out: 255 - C and 255 - K.
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned v = inverted ? cmyk[c] : 255u - cmyk[c];
            rgb[c] = static_cast<unsigned char>((v * k + 127) / 255);
        }
    }
}

// The orientation its EXIF segment gives the picture, 1 without one.
int orientation_of(j_decompress_ptr cinfo) {
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1) {
            const int orientation = read_exif_orientation(m->data, m->data_length);
            if (orientation != 1) return orientation;
        }
    }
    return 1;
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
    errors.orientation = 1;
    errors.cancel = m_cancel;
    progress.progress_monitor = on_progress;

    if (setjmp(errors.jump)) {
        // libjpeg failed somewhere below: free its memory and drop an unfinished picture.
        jpeg_destroy_decompress(&cinfo);
        if (!errors.complete) {
            delete[] m_pixels;
            m_pixels = nullptr;
            return;
        }
        orient_pixels(m_pixels, m_width, m_height, m_bits / 8, errors.orientation);
        return;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = MAX_DECODER_MEMORY;
    cinfo.progress = &progress;
    jpeg_stdio_src(&cinfo, stream);
    // The EXIF segment, for the orientation; other segments are skipped.
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);

    // Arithmetic-coded files are refused: no photo service sends them, and their decoder reads
    // endless zeros past the end of the data without a warning, so a few hundred bytes could
    // decode to a picture of the largest size. Oversized pictures and colour spaces of no
    // known meaning give no pixels before libjpeg sets up its buffers for them.
    const Output output = output_for(&cinfo);
    if (cinfo.arith_code || output == Output::REFUSED || cinfo.image_width == 0 ||
        cinfo.image_height == 0 || cinfo.image_width > GFX_Image::MAX_SIDE ||
        cinfo.image_height > GFX_Image::MAX_SIDE) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    cinfo.scale_num = dct_scale_for(cinfo.image_width, cinfo.image_height, m_max_side);
    cinfo.scale_denom = 8;
    jpeg_calc_output_dimensions(&cinfo);
    const int decoded_components = output == Output::GREY ? 1 : output == Output::RGB ? 3 : 4;
    if (cinfo.output_components != decoded_components) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    const unsigned channels = output == Output::GREY ? 1 : 3;
    const JDIMENSION decoded_width = cinfo.output_width;
    const JDIMENSION decoded_height = cinfo.output_height;
    const unsigned factor = GFX_ImageReducer::factor_for(decoded_width, decoded_height, m_max_side);
    const unsigned width = GFX_ImageReducer::reduced(decoded_width, factor);
    const unsigned height = GFX_ImageReducer::reduced(decoded_height, factor);

    jpeg_start_decompress(&cinfo);
    // Every row is written below or the array is dropped, so it need not be zeroed: a header
    // that promises a huge picture in a few bytes then costs untouched address space only.
    if (!allocate(size_t(width) * height * channels, false)) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    m_scanline.resize(size_t(decoded_width) * decoded_components);
    m_rgb_row.resize(size_t(decoded_width) * 3);
    m_reducer.begin(decoded_width, decoded_height, channels, factor, m_pixels);
    m_bits = static_cast<unsigned char>(channels * 8);
    m_width = width;
    m_height = height;
    // Scan lines arrive top first; the reducer stores the picture bottom row first, as
    // OpenGL's texture coordinate t = 0 and the TGA and SGI readers do.
    while (cinfo.output_scanline < decoded_height) {
        JSAMPROW row = m_scanline.data();
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) fail(reinterpret_cast<j_common_ptr>(&cinfo));
        if (output == Output::CMYK || output == Output::INVERTED_CMYK) {
            cmyk_to_rgb(row, m_rgb_row.data(), decoded_width, output == Output::INVERTED_CMYK);
            m_reducer.add_row(m_rgb_row.data());
        } else {
            m_reducer.add_row(row);
        }
    }
    errors.orientation = orientation_of(&cinfo);
    errors.complete = true;
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    orient_pixels(m_pixels, m_width, m_height, channels, errors.orientation);
}
