// JPEG pictures decoded with libjpeg into Images of 0x00RRGGBB Pixels.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "assets/assets.h"

namespace {

// A hostile progressive file can hold thousands of tiny scans, each a full pass over the
// coefficients; real pictures have about ten.
constexpr int kMaxScans = 500;

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back into
// decodeImage. Warnings and messages print nothing, so a bad picture leaves the console clean.
struct SilentErrors {
    jpeg_error_mgr base;  // first, so the library's pointer to it is a pointer to this
    jpeg_progress_mgr progress;
    jmp_buf recover;
};

[[noreturn]] void jumpOnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<SilentErrors*>(info->err)->recover, 1);
}

void printNothing(j_common_ptr) {}

void emitNothing(j_common_ptr, int) {}

void limitScans(j_common_ptr info) {
    if (info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
        jumpOnError(info);
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

// The steps that may fail inside libjpeg; returns false on any refusal. Runs after setjmp.
bool decodeInto(Decode& d, const uint8_t* bytes, size_t length, int64_t maxPixels) {
    jpeg_mem_src(&d.info, bytes, static_cast<unsigned long>(length));
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
    // Grey and YCbCr (or plain RGB) pictures convert to RGB; CMYK and YCCK do not, and
    // jpeg_start_decompress refuses them.
    d.info.out_color_space = JCS_RGB;
    // The library's defaults (accurate integer DCT, smooth upsampling) stay as they are, so the
    // result is what a standard decoder shows.
    int64_t width = d.info.image_width;
    int64_t height = d.info.image_height;
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
        width * height > maxPixels) {
        return false;
    }
    jpeg_start_decompress(&d.info);
    if (d.info.output_components != 3 || d.info.output_width != width ||
        d.info.output_height != height) {
        return false;
    }
    d.image = newImage(static_cast<int32_t>(width), static_cast<int32_t>(height));
    if (!d.image) return false;
    d.row.resize(static_cast<size_t>(width) * 3);
    while (d.info.output_scanline < d.info.output_height) {
        int32_t y = static_cast<int32_t>(d.info.output_scanline);
        JSAMPROW rows[1] = {d.row.data()};
        if (jpeg_read_scanlines(&d.info, rows, 1) != 1) return false;
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

Image* decodeImage(const uint8_t* bytes, size_t length, int64_t maxPixels) {
    if (!bytes || length == 0) return nullptr;
    // Heap-held so that nothing decodeInto changes lives in this frame across the longjmp.
    auto* d = new Decode();
    d->info.err = jpeg_std_error(&d->errors.base);
    d->errors.base.error_exit = jumpOnError;
    d->errors.base.output_message = printNothing;
    d->errors.base.emit_message = emitNothing;
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
    }
    delete d;
    return image;
}

Image* loadImage(const char* name) {
    DataFile* file = readDataFile(name);
    if (!file) return nullptr;
    Image* image = decodeImage(file->bytes, static_cast<size_t>(file->length));
    releaseDataFile(file);
    return image;
}

void releaseImage(Image* image) {
    if (!image) return;
    std::free(image->pixels);
    std::free(image);
}
