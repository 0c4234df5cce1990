// JPEG pictures decoded with libjpeg into Images of 0x00RRGGBB Pixels.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "assets/assets.h"

namespace {

// A hostile progressive file can hold thousands of tiny scans, each a full pass over the
// coefficients; real pictures have about ten.
constexpr int kMaxScans = 500;

// Huffman coding spends at least one bit on every 8 x 8 block (its DC code), so a file of n
// bytes holds at most 8n blocks of the first component, 512n pixels. A header that claims more
// describes data the file cannot hold; it is refused before anything is allocated for it.
constexpr int64_t kMaxPixelsPerByte = 512;

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back into
// decodeImage. A warning (premature end, corrupt data) jumps back too: the library would fill
// the gap with grey or garbage and call the picture decoded. Nothing is printed; the message is
// kept for the caller.
struct SilentErrors {
    jpeg_error_mgr base;  // first, so the library's pointer to it is a pointer to this
    jpeg_progress_mgr progress;
    jmp_buf recover;
    char message[JMSG_LENGTH_MAX];  // the library's text for the failure, "" when none
};

[[noreturn]] void jumpOnError(j_common_ptr info) {
    auto* errors = reinterpret_cast<SilentErrors*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->recover, 1);
}

void printNothing(j_common_ptr) {}

// Level -1 is a warning: the data is damaged. Higher levels are trace messages.
void failOnWarning(j_common_ptr info, int level) {
    if (level < 0) jumpOnError(info);
}

void limitScans(j_common_ptr info) {
    if (info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
        auto* errors = reinterpret_cast<SilentErrors*>(info->err);
        std::snprintf(errors->message, sizeof errors->message, "more than %d scans", kMaxScans);
        std::longjmp(errors->recover, 1);
    }
}

// Everything the decoder holds that must be freed on any way out, kept outside the frame that
// setjmp saves so that longjmp cannot leave a stale copy of it behind.
struct Decode {
    jpeg_decompress_struct info;
    SilentErrors errors;
    Image* image = nullptr;
    bool decoded = false;
    std::vector<JSAMPLE> row;
};

Image* newImage(int32_t width, int32_t height) {
    auto* image = static_cast<Image*>(std::malloc(sizeof(Image)));
    if (!image) return nullptr;
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    image->pixels = static_cast<Pixel*>(std::malloc(count * sizeof(Pixel)));
    if (!image->pixels) {
        std::free(image);
        return nullptr;
    }
    image->width = width;
    image->height = height;
    return image;
}

// Keeps the reason for a refusal of our own; always false, so a caller can return it.
bool refuse(Decode& d, const char* format, int64_t a, int64_t b, int64_t c) {
    std::snprintf(d.errors.message, sizeof d.errors.message, format, static_cast<long long>(a),
                  static_cast<long long>(b), static_cast<long long>(c));
    return false;
}

// The steps that may fail inside libjpeg; returns false on any refusal. Runs after setjmp.
bool decodeInto(Decode& d, const uint8_t* bytes, size_t length, int64_t maxPixels) {
    jpeg_mem_src(&d.info, bytes, static_cast<unsigned long>(length));
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) {
        return refuse(d, "no picture in the file", 0, 0, 0);
    }
    // Grey and YCbCr (or plain RGB) pictures convert to RGB; CMYK and YCCK do not, and
    // jpeg_start_decompress refuses them.
    d.info.out_color_space = JCS_RGB;
    // The library's defaults (accurate integer DCT, smooth upsampling) stay as they are, so the
    // result is what a standard decoder shows.
    int64_t width = d.info.image_width;
    int64_t height = d.info.image_height;
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > maxPixels) {
        return refuse(d, "%lld x %lld pixels is more than this decoder accepts (%lld at most)",
                      width, height, maxPixels);
    }
    // Arithmetic coding can spend less than a bit on a block, so only Huffman-coded pictures
    // are held to the size of their file.
    if (!d.info.arith_code && width * height > kMaxPixelsPerByte * static_cast<int64_t>(length)) {
        return refuse(d, "the header claims %lld x %lld pixels, more than %lld bytes can hold",
                      width, height, static_cast<int64_t>(length));
    }
    jpeg_start_decompress(&d.info);
    if (d.info.output_components != 3 || d.info.output_width != width ||
        d.info.output_height != height) {
        return refuse(d, "the decoder gives %lld components at %lld x %lld, not RGB",
                      d.info.output_components, d.info.output_width, d.info.output_height);
    }
    d.image = newImage(static_cast<int32_t>(width), static_cast<int32_t>(height));
    if (!d.image) return refuse(d, "no memory for %lld x %lld pixels", width, height, 0);
    d.row.resize(static_cast<size_t>(width) * 3);
    while (d.info.output_scanline < d.info.output_height) {
        int32_t y = static_cast<int32_t>(d.info.output_scanline);
        JSAMPROW rows[1] = {d.row.data()};
        if (jpeg_read_scanlines(&d.info, rows, 1) != 1) {
            return refuse(d, "row %lld could not be read", y, 0, 0);
        }
        Pixel* out = d.image->pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int64_t x = 0; x < width; ++x) {
            const JSAMPLE* rgb = d.row.data() + x * 3;
            out[x] = makePixel(rgb[0], rgb[1], rgb[2]);
        }
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

}  // namespace

Image* decodeImage(const uint8_t* bytes, size_t length, int64_t maxPixels, std::string* why) {
    if (!bytes || length == 0) {
        if (why) *why = "an empty file";
        return nullptr;
    }
    // Heap-held so that nothing decodeInto changes lives in this frame across the longjmp.
    auto* d = new Decode();
    d->info.err = jpeg_std_error(&d->errors.base);
    d->errors.base.error_exit = jumpOnError;
    d->errors.base.output_message = printNothing;
    d->errors.base.emit_message = failOnWarning;
    d->errors.message[0] = '\0';
    d->errors.progress.progress_monitor = limitScans;
    if (setjmp(d->errors.recover) == 0) {
        jpeg_create_decompress(&d->info);
        d->info.progress = &d->errors.progress;
        d->decoded = decodeInto(*d, bytes, length, maxPixels);
    }
    // Reached on success, on refusal and after a jump from inside the library.
    jpeg_destroy_decompress(&d->info);
    Image* image = d->image;
    if (!d->decoded) {
        releaseImage(image);
        image = nullptr;
        if (why) *why = d->errors.message;
    }
    delete d;
    return image;
}

Image* loadImage(const char* name, std::string* why) {
    DataFile* file = readDataFile(name, why);
    if (!file) return nullptr;
    Image* image =
        decodeImage(file->bytes, static_cast<size_t>(file->length), kMaxImagePixels, why);
    releaseDataFile(file);
    return image;
}

void releaseImage(Image* image) {
    if (!image) return;
    std::free(image->pixels);
    std::free(image);
}
