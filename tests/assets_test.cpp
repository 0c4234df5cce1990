// Tests of the data files, the JPEG decoder and the text reader and token scanner.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "assets/assets.h"

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

void writeFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void writeFile(const fs::path& path, const std::string& text) {
    writeFile(path, Bytes(text.begin(), text.end()));
}

// Runs each test in a fresh temporary folder holding an empty data/, and returns afterwards.
class InTempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        char pattern[] = "/tmp/brindlehop_assets_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        fs::create_directory(folder_ / "data");
        fs::current_path(folder_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }
    fs::path previous_;
    fs::path folder_;
};

// ---------------------------------------------------------------------------------------------
// Data files

using DataFileTest = InTempFolder;

TEST_F(DataFileTest, ReadsWholeRecordsOnly) {
    writeFile("data/ten.bin", Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    DataFile* file = readDataFile("ten.bin");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->length, 10);
    EXPECT_EQ(dataFileTell(file), 0u);

    uint8_t buffer[12];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(dataFileRead(buffer, 4, 3, file), 2u);
    EXPECT_EQ(dataFileTell(file), 8u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(buffer[i], i);
    EXPECT_EQ(buffer[8], 0xAA);  // the partial third record is not copied

    EXPECT_EQ(dataFileRead(buffer, 2, 1, file), 1u);
    EXPECT_EQ(dataFileTell(file), 10u);
    EXPECT_EQ(dataFileRead(buffer, 1, 1, file), 0u);
    EXPECT_EQ(dataFileRead(buffer, 0, 5, file), 5u);  // empty records always fit
    releaseDataFile(file);
}

TEST_F(DataFileTest, SeeksFromStartHereAndEnd) {
    writeFile("data/ten.bin", Bytes(10, 7));
    DataFile* file = readDataFile("ten.bin");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(dataFileSeek(file, 3, 2), 0);
    EXPECT_EQ(dataFileTell(file), 7u);
    EXPECT_EQ(dataFileSeek(file, 5, 7), 0);
    EXPECT_EQ(dataFileTell(file), 7u);
    EXPECT_EQ(dataFileSeek(file, -2, 1), 0);
    EXPECT_EQ(dataFileTell(file), 5u);
    EXPECT_EQ(dataFileSeek(file, 1, 0), 0);
    EXPECT_EQ(dataFileTell(file), 1u);
    EXPECT_EQ(dataFileSeek(file, 40, 0), 0);  // beyond the end is allowed; reads then fail
    EXPECT_EQ(dataFileTell(file), 40u);
    uint8_t byte = 0;
    EXPECT_EQ(dataFileRead(&byte, 1, 1, file), 0u);
    releaseDataFile(file);
}

TEST_F(DataFileTest, PositionNearWrapDoesNotReadOutside) {
    writeFile("data/ten.bin", Bytes(10, 7));
    DataFile* file = readDataFile("ten.bin");
    ASSERT_NE(file, nullptr);
    // Position 2^32 - 4: position + 8 wraps to 4 in 32 bits, which would pass a 32-bit check.
    dataFileSeek(file, -4, 0);
    EXPECT_EQ(dataFileTell(file), 0xFFFFFFFCu);
    uint8_t buffer[8] = {};
    EXPECT_EQ(dataFileRead(buffer, 8, 1, file), 0u);
    EXPECT_EQ(dataFileTell(file), 0xFFFFFFFCu);
    dataFileSeek(file, 20, 2);  // 10 - 20: before the start
    EXPECT_EQ(dataFileRead(buffer, 1, 1, file), 0u);
    releaseDataFile(file);
}

TEST_F(DataFileTest, KeepsBytesAsStored) {
    const Bytes stored{'a', '\r', '\n', 0, 0xFF, '\r'};
    writeFile("data/raw.txt", stored);
    DataFile* file = readDataFile("raw.txt");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->length, 6);
    EXPECT_EQ(Bytes(file->bytes, file->bytes + 6), stored);
    releaseDataFile(file);

    writeFile("data/empty.bin", Bytes{});
    file = readDataFile("empty.bin");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->length, 0);
    releaseDataFile(file);
}

TEST_F(DataFileTest, MissingOrTooLongNamesGiveNone) {
    EXPECT_EQ(readDataFile("nothing.bin"), nullptr);
    EXPECT_EQ(readDataFile("../data"), nullptr);  // a folder is not a data file

    // "data/" + 250 characters + NUL fills the 256-character path exactly.
    const std::string longest(250, 'n');
    writeFile(fs::path("data") / longest, Bytes{1, 2});
    DataFile* file = readDataFile(longest.c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->length, 2);
    releaseDataFile(file);
    // One more character would be cut back to the name above; it must not open that file.
    EXPECT_EQ(readDataFile((longest + "x").c_str()), nullptr);
    EXPECT_EQ(readDataFile(std::string(4000, 'n').c_str()), nullptr);
}

// A FIFO, a folder or a device named like a data file is refused at once with what it is; opening
// a FIFO for reading would otherwise wait for a writer for ever (the alarm ends a hung run).
TEST_F(DataFileTest, OnlyRegularFilesAreOpened) {
    ASSERT_EQ(mkfifo("data/pipe.jpg", 0644), 0);
    fs::create_directory("data/folder.jpg");
    alarm(30);
    std::string why;
    EXPECT_EQ(readDataFile("pipe.jpg", &why), nullptr);
    EXPECT_EQ(why, "not a regular file (a FIFO)");
    EXPECT_EQ(readDataFile("folder.jpg", &why), nullptr);
    EXPECT_EQ(why, "not a regular file (a folder)");
    EXPECT_EQ(openRegularFile("/dev/zero", &why), nullptr);
    EXPECT_EQ(why, "not a regular file (a character device)");
    // A socket cannot be opened at all; its kind, not the open's error, is the reason.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "data/socket.jpg");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(listener);
    EXPECT_EQ(readDataFile("socket.jpg", &why), nullptr);
    EXPECT_EQ(why, "not a regular file (a socket)");
    EXPECT_EQ(readDataFile("none.jpg", &why), nullptr);
    EXPECT_EQ(why, "missing");
    EXPECT_EQ(loadImage("pipe.jpg", &why), nullptr);
    EXPECT_EQ(why, "not a regular file (a FIFO)");
    ::testing::internal::CaptureStdout();
    Text text = readTextFile("data/pipe.jpg");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Unable To load: data/pipe.jpg\n");
    EXPECT_EQ(text.bytes, nullptr);
    alarm(0);

    // A regular file behind a symbolic link is still a regular file.
    writeFile("data/real.bin", Bytes{7});
    fs::create_symlink("real.bin", "data/link.bin");
    DataFile* file = readDataFile("link.bin", &why);
    ASSERT_NE(file, nullptr) << why;
    EXPECT_EQ(file->length, 1);
    releaseDataFile(file);
}

// ---------------------------------------------------------------------------------------------
// Pictures

struct JpegOptions {
    int width = 8;
    int height = 8;
    int components = 3;  // 1 grey, 3 RGB, 4 CMYK
    bool progressive = false;
    int quality = 90;
    const std::vector<jpeg_scan_info>* scans = nullptr;  // a scan script of our own
};

// Encodes interleaved samples (components per pixel, rows from the top) with libjpeg.
Bytes encodeJpeg(const JpegOptions& options, const Bytes& samples) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = static_cast<JDIMENSION>(options.width);
    info.image_height = static_cast<JDIMENSION>(options.height);
    info.input_components = options.components;
    info.in_color_space = options.components == 1   ? JCS_GRAYSCALE
                          : options.components == 4 ? JCS_CMYK
                                                    : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.progressive) jpeg_simple_progression(&info);
    if (options.scans != nullptr) {
        info.scan_info = options.scans->data();
        info.num_scans = static_cast<int>(options.scans->size());
    }
    jpeg_start_compress(&info, TRUE);
    const size_t rowSize = static_cast<size_t>(options.width) * options.components;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(samples.data() + info.next_scanline * rowSize);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes result(out, out + outSize);
    std::free(out);
    return result;
}

// A smooth colour ramp with a hard edge, so that both the DCT and the upsampling matter.
Bytes testSamples(const JpegOptions& options, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes samples(static_cast<size_t>(options.width) * options.height * options.components);
    for (int y = 0; y < options.height; ++y) {
        for (int x = 0; x < options.width; ++x) {
            for (int c = 0; c < options.components; ++c) {
                int value = (x * 7 + y * 3 + c * 60) % 256;
                if (x > options.width / 2) value = 255 - value;
                value = std::clamp(value + static_cast<int>(random() % 9) - 4, 0, 255);
                samples[(static_cast<size_t>(y) * options.width + x) * options.components + c] =
                    static_cast<uint8_t>(value);
            }
        }
    }
    return samples;
}

// The picture as an independent decoder writes it: djpeg's PPM, or none when djpeg fails.
bool decodeWithDjpeg(const fs::path& jpeg, std::vector<Pixel>& pixels, int& width, int& height) {
    const fs::path ppm = jpeg.string() + ".ppm";
    const std::string command =
        "djpeg -rgb -pnm -outfile '" + ppm.string() + "' '" + jpeg.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return false;
    std::ifstream in(ppm, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    in.get();  // the single white space before the samples
    if (magic != "P6" || maxValue != 255) return false;
    Bytes rgb(static_cast<size_t>(width) * height * 3);
    in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    if (!in) return false;
    pixels.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = makePixel(rgb[i * 3], rgb[i * 3 + 1], rgb[i * 3 + 2]);
    }
    return true;
}

bool haveDjpeg() {
    return std::system("command -v djpeg >/dev/null 2>&1") == 0;
}

using ImageTest = InTempFolder;

TEST_F(ImageTest, LoadsAtOwnSizeUprightWithZeroTopBytes) {
    JpegOptions options{.width = 512, .height = 256};
    // Top half red, bottom half blue: shows that rows come from the top.
    Bytes samples(512 * 256 * 3, 0);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 512; ++x)
            samples[(y * 512 + x) * 3 + (y < 128 ? 0 : 2)] = 255;
    }
    writeFile("data/colors.jpg", encodeJpeg(options, samples));
    Image* image = loadImage("colors.jpg");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 512);
    EXPECT_EQ(image->height, 256);
    const Pixel topLeft = image->pixels[0];
    EXPECT_GE(pixelRed(topLeft), 250u);
    EXPECT_LE(pixelBlue(topLeft), 5u);
    const Pixel bottomRight = image->pixels[512 * 256 - 1];
    EXPECT_LE(pixelRed(bottomRight), 5u);
    EXPECT_GE(pixelBlue(bottomRight), 250u);
    for (int i = 0; i < 512 * 256; ++i)
        ASSERT_EQ(image->pixels[i] >> 24, 0u) << i;
    releaseImage(image);
}

TEST_F(ImageTest, OddSizesGreyAndProgressive) {
    const JpegOptions cases[] = {
        {.width = 1, .height = 1},
        {.width = 17, .height = 9},
        {.width = 17, .height = 9, .progressive = true},
        {.width = 33, .height = 21, .components = 1},
        {.width = 33, .height = 21, .components = 1, .progressive = true},
    };
    for (const JpegOptions& options : cases) {
        const Bytes samples = testSamples(options, 5);
        const Bytes jpeg = encodeJpeg(options, samples);
        Image* image = decodeImage(jpeg.data(), jpeg.size());
        ASSERT_NE(image, nullptr) << options.width << "x" << options.height;
        EXPECT_EQ(image->width, options.width);
        EXPECT_EQ(image->height, options.height);
        // Grey pictures come out as equal red, green and blue, near the encoded level.
        if (options.components == 1) {
            for (int i = 0; i < options.width * options.height; ++i) {
                const Pixel p = image->pixels[i];
                ASSERT_EQ(pixelRed(p), pixelGreen(p));
                ASSERT_EQ(pixelRed(p), pixelBlue(p));
                ASSERT_NEAR(static_cast<int>(pixelRed(p)), samples[i], 24) << i;
                ASSERT_EQ(p >> 24, 0u);
            }
        }
        releaseImage(image);
    }
}

TEST_F(ImageTest, MatchesDjpegToThePixel) {
    if (!haveDjpeg()) GTEST_SKIP() << "djpeg is not installed";
    const JpegOptions cases[] = {
        {.width = 1, .height = 1},
        {.width = 17, .height = 9},
        {.width = 512, .height = 256, .quality = 75},
        {.width = 61, .height = 47, .progressive = true},
        {.width = 33, .height = 21, .components = 1},
        {.width = 40, .height = 30, .components = 1, .progressive = true},
    };
    int n = 0;
    for (const JpegOptions& options : cases) {
        const std::string name = "case" + std::to_string(n++) + ".jpg";
        writeFile(fs::path("data") / name,
                  encodeJpeg(options, testSamples(options, static_cast<uint32_t>(n))));
        std::vector<Pixel> expected;
        int width = 0;
        int height = 0;
        ASSERT_TRUE(decodeWithDjpeg(fs::path("data") / name, expected, width, height)) << name;
        Image* image = loadImage(name.c_str());
        ASSERT_NE(image, nullptr) << name;
        ASSERT_EQ(image->width, width);
        ASSERT_EQ(image->height, height);
        const std::vector<Pixel> got(image->pixels, image->pixels + width * height);
        EXPECT_EQ(got, expected) << name;
        releaseImage(image);
    }
}

TEST_F(ImageTest, RefusesWhatItCannotShowSilently) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();

    EXPECT_EQ(loadImage("missing.jpg"), nullptr);
    writeFile("data/text.jpg", std::string("this is not a picture\n"));
    EXPECT_EQ(loadImage("text.jpg"), nullptr);
    writeFile("data/empty.jpg", Bytes{});
    EXPECT_EQ(loadImage("empty.jpg"), nullptr);

    // CMYK has no conversion to RGB here: refused rather than shown in wrong colours.
    const JpegOptions cmyk{.width = 16, .height = 16, .components = 4};
    const Bytes cmykJpeg = encodeJpeg(cmyk, testSamples(cmyk, 1));
    EXPECT_EQ(decodeImage(cmykJpeg.data(), cmykJpeg.size()), nullptr);

    // Only the markers, cut off before the picture data: refused, and no warning printed.
    const JpegOptions small{.width = 16, .height = 16};
    const Bytes whole = encodeJpeg(small, testSamples(small, 2));
    const Bytes header(whole.begin(), whole.begin() + 20);
    EXPECT_EQ(decodeImage(header.data(), header.size()), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// Offset of the first byte of entropy-coded data: just after the first start-of-scan header.
size_t scanDataStart(const Bytes& jpeg) {
    for (size_t i = 0; i + 3 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]);
    }
    ADD_FAILURE() << "no scan";
    return jpeg.size();
}

// libjpeg would fill what is missing or unreadable with grey or garbage and call it decoded, only
// warning; any warning is a refusal here, with the decoder's message and nothing on the console.
TEST_F(ImageTest, DamagedPicturesAreRefusedWithTheDecodersMessage) {
    const JpegOptions options{.width = 64, .height = 48, .quality = 90};
    const Bytes whole = encodeJpeg(options, testSamples(options, 6));
    const JpegOptions progressiveOptions{.width = 64, .height = 48, .progressive = true};
    const Bytes progressive = encodeJpeg(progressiveOptions, testSamples(progressiveOptions, 7));
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    std::string why;
    Image* image = decodeImage(whole.data(), whole.size(), kMaxImagePixels, &why);
    EXPECT_NE(image, nullptr) << why;
    releaseImage(image);

    for (const Bytes* source : {&whole, &progressive}) {
        const size_t start = scanDataStart(*source);
        // Cut inside the picture data, and cut just before the end-of-image marker.
        for (size_t keep : {start + (source->size() - start) / 2, source->size() - 2}) {
            const Bytes cut(source->begin(), source->begin() + static_cast<long>(keep));
            why.clear();
            EXPECT_EQ(decodeImage(cut.data(), cut.size(), kMaxImagePixels, &why), nullptr) << keep;
            EXPECT_EQ(why, "Premature end of JPEG file") << keep;
        }
    }
    // A marker in the middle of the entropy-coded data: the rest of the segment is lost.
    Bytes marked = whole;
    const size_t middle = scanDataStart(whole) + (whole.size() - scanDataStart(whole)) / 2;
    marked[middle] = 0xFF;
    marked[middle + 1] = 0xD4;
    why.clear();
    EXPECT_EQ(decodeImage(marked.data(), marked.size(), kMaxImagePixels, &why), nullptr);
    EXPECT_EQ(why.rfind("Corrupt JPEG data", 0), 0u) << why;

    // Through the data folder, as start-up loads pictures.
    writeFile("data/short.jpg", Bytes(whole.begin(), whole.begin() + 300));
    EXPECT_EQ(loadImage("short.jpg", &why), nullptr);
    EXPECT_EQ(why, "Premature end of JPEG file");
    writeFile("data/text.jpg", std::string("this is not a picture\n"));
    EXPECT_EQ(loadImage("text.jpg", &why), nullptr);
    EXPECT_EQ(why.rfind("Not a JPEG file", 0), 0u) << why;

    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// Overwrites the width and height in the frame header of a JPEG.
Bytes withSize(Bytes jpeg, int width, int height) {
    for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<uint8_t>(height);
            jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<uint8_t>(width);
            return jpeg;
        }
    }
    ADD_FAILURE() << "no frame header";
    return jpeg;
}

TEST(ImageLimits, RefusesAbsurdSizes) {
    const JpegOptions options{.width = 17, .height = 9};
    const Bytes jpeg = encodeJpeg(options, testSamples(options, 3));
    // The pixel limit counts width × height, inclusive.
    Image* image = decodeImage(jpeg.data(), jpeg.size(), 17 * 9);
    ASSERT_NE(image, nullptr);
    releaseImage(image);
    EXPECT_EQ(decodeImage(jpeg.data(), jpeg.size(), 17 * 9 - 1), nullptr);

    // A header claiming 65535 × 65535 (16 GiB of Pixels) is refused before any allocation.
    const Bytes huge = withSize(jpeg, 65535, 65535);
    EXPECT_EQ(decodeImage(huge.data(), huge.size()), nullptr);
    const Bytes wide = withSize(jpeg, kMaxImageSide + 1, 8);
    EXPECT_EQ(decodeImage(wide.data(), wide.size()), nullptr);
    const Bytes zero = withSize(jpeg, 0, 9);
    EXPECT_EQ(decodeImage(zero.data(), zero.size()), nullptr);
    EXPECT_EQ(decodeImage(nullptr, 0), nullptr);
}

// Every 8 x 8 block costs a Huffman-coded file at least one bit, so n bytes hold at most 512n
// pixels. A header claiming more (a 512 x 256 picture relabelled 16384 x 4096, 256 MiB of Pixels)
// is refused before the picture is allocated, with the numbers in the message.
TEST(ImageLimits, RefusesHeadersThatClaimMoreThanTheFileHolds) {
    const JpegOptions options{.width = 512, .height = 256, .quality = 75};
    const Bytes jpeg = encodeJpeg(options, testSamples(options, 8));
    std::string why;
    const Bytes claims = withSize(jpeg, 16384, 4096);
    EXPECT_EQ(decodeImage(claims.data(), claims.size(), kMaxImagePixels, &why), nullptr);
    EXPECT_NE(why.find("16384 x 4096"), std::string::npos) << why;
    EXPECT_NE(why.find(std::to_string(claims.size()) + " bytes"), std::string::npos) << why;

    // A flat picture, the most a Huffman coder can squeeze, stays well inside the bound.
    const JpegOptions flatOptions{.width = 512, .height = 512, .components = 1, .quality = 50};
    const Bytes flat = encodeJpeg(flatOptions, Bytes(512 * 512, 128));
    EXPECT_LE(512.0 * 512.0 / static_cast<double>(flat.size()), 512.0);
    Image* image = decodeImage(flat.data(), flat.size(), kMaxImagePixels, &why);
    EXPECT_NE(image, nullptr) << why;
    releaseImage(image);
}

// A good picture followed by 1.9 GB of zeros (a sparse file) is refused before a byte is read,
// with the limit named; so is a text larger than any the show reads.
using FileSizeTest = InTempFolder;
TEST_F(FileSizeTest, FilesLargerThanTheirKindsLimitAreNotRead) {
    const JpegOptions options{.width = 16, .height = 16};
    writeFile("data/big.jpg", encodeJpeg(options, testSamples(options, 3)));
    Image* image = loadImage("big.jpg");
    ASSERT_NE(image, nullptr);
    releaseImage(image);
    ASSERT_EQ(truncate("data/big.jpg", 1900000000), 0);
    std::string why;
    EXPECT_EQ(loadImage("big.jpg", &why), nullptr);
    EXPECT_EQ(why, "larger than the limit of 32 MiB (1900000000 bytes)");

    writeFile("data/big.txt", "lys 1 2 3\n");
    ASSERT_EQ(truncate("data/big.txt", static_cast<off_t>(kMaxTextFileBytes) + 1), 0);
    ::testing::internal::CaptureStdout();
    Text text = readTextFile("data/big.txt");
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(text.bytes, nullptr);
    EXPECT_EQ(openRegularFile("data/big.txt", &why, kMaxTextFileBytes), nullptr);
    EXPECT_EQ(why, "larger than the limit of 16 MiB (16777217 bytes)");
}

// A progressive JPEG whose last scan is repeated: each repeat is one more full decoding pass.
Bytes withRepeatedLastScan(const Bytes& jpeg, int repeats) {
    size_t last = 0;
    for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) last = i;
    }
    const Bytes scan(jpeg.begin() + static_cast<long>(last), jpeg.end() - 2);  // up to the EOI
    Bytes result(jpeg.begin(), jpeg.end() - 2);
    for (int i = 0; i < repeats; ++i)
        result.insert(result.end(), scan.begin(), scan.end());
    result.push_back(0xFF);
    result.push_back(0xD9);
    return result;
}

// A grey progressive scan script: the DC, then each AC coefficient alone, first at 1 << al and
// then refined bit by bit: 1 + 63 (al + 1) valid scans.
std::vector<jpeg_scan_info> singleCoefficientScans(int al) {
    std::vector<jpeg_scan_info> scans = {{1, {0}, 0, 0, 0, 0}};
    for (int k = 1; k < 64; ++k) {
        scans.push_back({1, {0}, k, k, 0, al});
        for (int bit = al - 1; bit >= 0; --bit)
            scans.push_back({1, {0}, k, k, bit + 1, bit});
    }
    return scans;
}

TEST(ImageLimits, RefusesEndlessScans) {
    const JpegOptions options{.width = 16, .height = 16, .progressive = true};
    const Bytes jpeg = encodeJpeg(options, testSamples(options, 4));
    // A repeated scan is damage that the decoder warns about; refused for that.
    std::string why;
    const Bytes few = withRepeatedLastScan(jpeg, 10);
    EXPECT_EQ(decodeImage(few.data(), few.size(), kMaxImagePixels, &why), nullptr);
    EXPECT_FALSE(why.empty());
    // Valid scans, each one more decoding pass: 127 decode, 505 are too many.
    JpegOptions grey{.width = 16, .height = 16, .components = 1};
    const std::vector<jpeg_scan_info> some = singleCoefficientScans(1);
    grey.scans = &some;
    const Bytes fine = encodeJpeg(grey, testSamples(grey, 5));
    Image* image = decodeImage(fine.data(), fine.size(), kMaxImagePixels, &why);
    EXPECT_NE(image, nullptr) << why;
    releaseImage(image);
    const std::vector<jpeg_scan_info> endless = singleCoefficientScans(7);
    grey.scans = &endless;
    const Bytes many = encodeJpeg(grey, testSamples(grey, 5));
    EXPECT_EQ(decodeImage(many.data(), many.size(), kMaxImagePixels, &why), nullptr);
    EXPECT_EQ(why, "more than 500 scans");
}

// ---------------------------------------------------------------------------------------------
// Text reader

std::string textOf(const Text& text) {
    return std::string(text.bytes, text.bytes + text.length);
}

Text textFrom(const std::string& s) {
    return makeText(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

using TextFileTest = InTempFolder;

TEST_F(TextFileTest, ReadsCharactersThenEndMark) {
    writeFile("abc.txt", std::string("a b"));
    Text text = readTextFile("abc.txt");
    ASSERT_NE(text.bytes, nullptr);
    ASSERT_EQ(text.length, 3);
    EXPECT_EQ(std::memcmp(text.bytes, "a b\xFF", 4), 0);
    releaseText(text);
    EXPECT_EQ(text.bytes, nullptr);
    EXPECT_EQ(text.length, 0);

    writeFile("empty.txt", std::string());
    text = readTextFile("empty.txt");
    ASSERT_NE(text.bytes, nullptr);
    EXPECT_EQ(text.length, 0);
    EXPECT_EQ(static_cast<unsigned char>(text.bytes[0]), kTextEnd);
    releaseText(text);
}

TEST_F(TextFileTest, FoldsCarriageReturnLineFeed) {
    writeFile("lf.txt", std::string("Radius: 5\nColor: 1 2 3\n"));
    writeFile("crlf.txt", std::string("Radius: 5\r\nColor: 1 2 3\r\n"));
    Text lf = readTextFile("lf.txt");
    Text crlf = readTextFile("crlf.txt");
    EXPECT_EQ(textOf(crlf), textOf(lf));
    EXPECT_EQ(findText("Color:", crlf), findText("Color:", lf));
    EXPECT_EQ(static_cast<unsigned char>(crlf.bytes[crlf.length]), kTextEnd);
    releaseText(lf);
    releaseText(crlf);

    // Only a CR directly before an LF goes: lone CRs, and the first of CR CR LF, stay.
    Text mixed = textFrom("a\rb\r\r\nc\r");
    EXPECT_EQ(textOf(mixed), "a\rb\r\nc\r");
    releaseText(mixed);
}

TEST_F(TextFileTest, ReportsUnreadableFile) {
    ::testing::internal::CaptureStdout();
    Text text = readTextFile("data/none.txt");
    Text folder = readTextFile("data");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Unable To load: data/none.txt\nUnable To load: data\n");
    EXPECT_EQ(text.bytes, nullptr);
    EXPECT_EQ(folder.bytes, nullptr);
    // The scanner treats no text as an empty one.
    TokenBuffer token;
    EXPECT_EQ(findText("a", text), -1);
    EXPECT_EQ(readToken(text, token, 0), -1);
    EXPECT_EQ(skipToLineEnd(text, 0), -1);
    releaseText(text);
}

// ---------------------------------------------------------------------------------------------
// Label search

TEST(FindText, FirstOccurrenceAbsentAndStart) {
    Text text = textFrom("Radius: 1\nRadius: 2\n");
    EXPECT_EQ(findText("Radius:", text), 0);
    EXPECT_EQ(findTextFrom("Radius:", text, 1), 10);
    EXPECT_EQ(findTextFrom("Radius:", text, 10), 10);
    EXPECT_EQ(findTextFrom("Radius:", text, 11), -1);
    EXPECT_EQ(findText("radius:", text), -1);  // case matters
    EXPECT_EQ(findText("Color:", text), -1);
    EXPECT_EQ(findText("", text), -1);
    EXPECT_EQ(findText("2\n", text), 18);  // ends on the last character
    releaseText(text);
}

TEST(FindText, NulStopsButFileFFDoesNot) {
    const std::string withNul("ab\0cd", 5);
    Text text = textFrom(withNul);
    EXPECT_EQ(findText("ab", text), 0);
    EXPECT_EQ(findText("cd", text), -1);
    releaseText(text);

    Text ff = textFrom("x\xFFy Name: z");
    EXPECT_EQ(findText("Name:", ff), 4);
    EXPECT_EQ(findText("\xFFy", ff), 1);
    // The end mark is not a character of the text: a label ending in 0xFF cannot use it.
    EXPECT_EQ(findText("z\xFF", ff), -1);
    releaseText(ff);
}

TEST(FindText, NeverReadsOutsideTheText) {
    Text text = textFrom("abc");
    EXPECT_EQ(findTextFrom("a", text, -1), -1);
    EXPECT_EQ(findTextFrom("a", text, INT32_MIN), -1);
    EXPECT_EQ(findTextFrom("c", text, 3), -1);  // at the end mark
    EXPECT_EQ(findTextFrom("c", text, 4), -1);
    EXPECT_EQ(findTextFrom("c", text, INT32_MAX), -1);
    EXPECT_EQ(findText("abcd", text), -1);  // longer than the text
    releaseText(text);
}

// The search as plainly as it can be written: every start, every label character.
int32_t referenceFind(const std::string& label, const std::string& text, int32_t start) {
    if (label.empty()) return -1;
    for (size_t i = static_cast<size_t>(start); i < text.size() && text[i] != '\0'; ++i) {
        if (text.compare(i, label.size(), label) == 0 && i + label.size() <= text.size()) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

TEST(FindText, MatchesReferenceOnRandomTexts) {
    std::mt19937 random(11);
    const char alphabet[] = {'a', 'b', ' ', '\n', '\0', '\xFF', '\r'};
    auto randomString = [&](size_t length, bool allowNul) {
        std::string s;
        while (s.size() < length) {
            char c = alphabet[random() % sizeof alphabet];
            if (c != '\0' || allowNul) s += c;
        }
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string source = randomString(random() % 40, true);
        const std::string label = randomString(random() % 4, false);
        Text text = textFrom(source);
        const std::string chars = textOf(text);
        for (int32_t start = 0; start <= text.length; ++start) {
            ASSERT_EQ(findTextFrom(label.c_str(), text, start), referenceFind(label, chars, start))
                << round << " " << start;
        }
        releaseText(text);
    }
}

// ---------------------------------------------------------------------------------------------
// Tokens and line ends

TEST(ReadToken, ExamplesAndSeparators) {
    Text text = textFrom("12 34");
    TokenBuffer token;
    EXPECT_EQ(readToken(text, token, 0), 2);
    EXPECT_STREQ(token, "12");
    EXPECT_EQ(readToken(text, token, 2), -1);
    EXPECT_STREQ(token, "");
    EXPECT_EQ(readToken(text, token, 3), 5);
    EXPECT_STREQ(token, "34");
    releaseText(text);

    // Only space, line feed and 0xFF separate; tab, comma and CR belong to the token.
    Text line = textFrom("7\n1,5\t2\r x\xFFy");
    EXPECT_EQ(readToken(line, token, 0), 1);
    EXPECT_STREQ(token, "7");
    EXPECT_EQ(readToken(line, token, 2), 8);
    EXPECT_STREQ(token, "1,5\t2\r");
    EXPECT_EQ(readToken(line, token, 9), 10);  // a 0xFF from the file stops a token
    EXPECT_STREQ(token, "x");
    EXPECT_EQ(readToken(line, token, 11), 12);
    EXPECT_STREQ(token, "y");
    releaseText(line);
}

TEST(ReadToken, LongTokenStaysInsideItsBuffer) {
    struct Guarded {
        TokenBuffer token;
        char guard[16];
    } g;
    std::memset(&g, '#', sizeof g);
    const std::string longToken(30, '9');
    Text text = textFrom(longToken + " 5");
    // Cut to 19 characters, but the stop index is that of the real separator.
    EXPECT_EQ(readToken(text, g.token, 0), 30);
    EXPECT_EQ(std::string(g.token), std::string(19, '9'));
    for (char c : g.guard)
        EXPECT_EQ(c, '#');
    EXPECT_EQ(readToken(text, g.token, 31), 32);
    EXPECT_STREQ(g.token, "5");

    Text exact = textFrom(std::string(19, 'x'));
    EXPECT_EQ(readToken(exact, g.token, 0), 19);
    EXPECT_EQ(std::string(g.token), std::string(19, 'x'));
    releaseText(exact);
    releaseText(text);
}

TEST(ReadToken, NeverReadsOutsideTheText) {
    Text text = textFrom("ab");
    TokenBuffer token;
    std::strcpy(token, "old");
    EXPECT_EQ(readToken(text, token, -1), -1);
    EXPECT_STREQ(token, "");
    EXPECT_EQ(readToken(text, token, 2), -1);  // the end mark
    EXPECT_EQ(readToken(text, token, 3), -1);
    EXPECT_EQ(readToken(text, token, INT32_MAX), -1);
    EXPECT_STREQ(token, "");
    releaseText(text);
}

TEST(SkipToLineEnd, FindsLineFeedOrEnd) {
    Text text = textFrom("ab\ncd\xFF\nz");
    EXPECT_EQ(skipToLineEnd(text, 0), 2);
    EXPECT_EQ(skipToLineEnd(text, 2), 2);   // a line feed at the position counts
    EXPECT_EQ(skipToLineEnd(text, 3), -1);  // any 0xFF ends the search
    EXPECT_EQ(skipToLineEnd(text, 6), 6);
    EXPECT_EQ(skipToLineEnd(text, 7), -1);
    EXPECT_EQ(skipToLineEnd(text, 8), -1);  // the end mark
    EXPECT_EQ(skipToLineEnd(text, 9), -1);
    EXPECT_EQ(skipToLineEnd(text, -5), -1);
    releaseText(text);
}

// A number at the end of a line reads without the line end, as the loaders use it.
TEST(ReadToken, LoaderStyleFields) {
    Text text = textFrom("Light\r\nPos: 1.5 -2 3\r\nRadius: 40\r\n");
    TokenBuffer token;
    int32_t at = findText("Pos:", text);
    int32_t stop = readToken(text, token, at + 5);
    EXPECT_STREQ(token, "1.5");
    stop = readToken(text, token, stop + 1);
    EXPECT_STREQ(token, "-2");
    stop = readToken(text, token, stop + 1);
    EXPECT_STREQ(token, "3");
    EXPECT_EQ(text.bytes[stop], '\n');
    EXPECT_EQ(skipToLineEnd(text, at), stop);
    stop = readToken(text, token, findText("Radius:", text) + 8);
    EXPECT_EQ(atoi(token), 40);
    EXPECT_EQ(stop, text.length - 1);
    releaseText(text);
}

}  // namespace
