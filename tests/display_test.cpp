// Tests of the display: the converters against a slow reference, and opening, presenting and
// closing on the windowless device.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "display/display.h"

namespace {

using Calls = std::vector<std::string>;

struct Layout {
    const char* name;
    PixelConverter converter;
    DeviceFormat format;
    uint32_t bitCount, redMask, greenMask, blueMask;
};

const Layout kLayouts[] = {
    {"RGB32", convertRGB32, DeviceFormat::RGB32, 32, 0xFF0000, 0xFF00, 0xFF},
    {"BGR32", convertBGR32, DeviceFormat::BGR32, 32, 0xFF, 0xFF00, 0xFF0000},
    {"RGB24", convertRGB24, DeviceFormat::RGB24, 24, 0xFF0000, 0xFF00, 0xFF},
    {"BGR24", convertBGR24, DeviceFormat::BGR24, 24, 0xFF, 0xFF00, 0xFF0000},
    {"RGB565", convertRGB565, DeviceFormat::RGB565, 16, 0xF800, 0x7E0, 0x1F},
    {"BGR565", convertBGR565, DeviceFormat::BGR565, 16, 0x1F, 0x7E0, 0xF800},
    {"RGB555", convertRGB555, DeviceFormat::RGB555, 16, 0x7C00, 0x3E0, 0x1F},
    {"BGR555", convertBGR555, DeviceFormat::BGR555, 16, 0x1F, 0x3E0, 0x7C00},
};

// The channel rule, slowly: keep the top bits of the channel, as many as the mask has, and
// put them where the mask is.
uint32_t placeChannel(uint32_t channel, uint32_t mask) {
    const int bits = std::popcount(mask);
    return (channel >> (8 - bits)) << std::countr_zero(mask);
}

std::vector<uint8_t> referenceConvert(const Layout& layout, const std::vector<Pixel>& source) {
    std::vector<uint8_t> bytes;
    for (Pixel p : source) {
        uint32_t value = placeChannel(pixelRed(p), layout.redMask) |
                         placeChannel(pixelGreen(p), layout.greenMask) |
                         placeChannel(pixelBlue(p), layout.blueMask);
        if (layout.format == DeviceFormat::RGB32) value |= p & 0xFF000000u;
        for (uint32_t k = 0; k < layout.bitCount / 8; ++k)
            bytes.push_back(value >> (8 * k));
    }
    return bytes;
}

// Every value of each channel, each with random other channels and a random top byte.
std::vector<Pixel> samplePixels(std::mt19937& random) {
    std::vector<Pixel> pixels;
    for (int shift = 0; shift < 24; shift += 8) {
        for (uint32_t value = 0; value < 256; ++value) {
            const uint32_t others = random() & ~(0xFFu << shift);
            pixels.push_back(others | (value << shift));
        }
    }
    for (int i = 0; i < 1000; ++i)
        pixels.push_back(random());
    return pixels;
}

TEST(Converters, MatchTheChannelRuleOnEveryLengthAndAlignment) {
    std::mt19937 random(7);
    const std::vector<Pixel> pixels = samplePixels(random);
    constexpr uint8_t kGuard = 0xA5;
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        const std::vector<uint8_t> expected = referenceConvert(layout, pixels);
        std::vector<uint8_t> out(expected.size() + 64, kGuard);
        layout.converter(pixels.data(), out.data() + 1, static_cast<int32_t>(pixels.size()));
        EXPECT_EQ(out[0], kGuard);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin() + 1));
        EXPECT_EQ(out[expected.size() + 1], kGuard);

        // Short runs at every offset: the tails of the word-wide loops, and no byte beyond.
        const size_t bytesPerPixel = layout.bitCount / 8;
        for (int32_t count = 0; count <= 19; ++count) {
            for (size_t offset = 0; offset < 4; ++offset) {
                std::vector<uint8_t> row(offset + 20 * bytesPerPixel + 8, kGuard);
                layout.converter(pixels.data() + count, row.data() + offset, count);
                const std::vector<Pixel> part(pixels.begin() + count, pixels.begin() + 2 * count);
                const std::vector<uint8_t> want = referenceConvert(layout, part);
                for (size_t i = 0; i < row.size(); ++i) {
                    const bool inside = i >= offset && i < offset + want.size();
                    ASSERT_EQ(row[i], inside ? want[i - offset] : kGuard)
                        << "count " << count << " offset " << offset << " byte " << i;
                }
            }
        }
    }
}

TEST(Converters, PackTheExamplePixel) {
    const Pixel p = makePixel(0xFF, 0x80, 0x40);
    uint8_t out[4] = {};
    auto word16 = [&](PixelConverter converter) {
        converter(&p, out, 1);
        return static_cast<uint32_t>(out[0] | (out[1] << 8));
    };
    EXPECT_EQ(word16(convertRGB565), 0xFC08u);
    EXPECT_EQ(word16(convertBGR565), 0x441Fu);
    EXPECT_EQ(word16(convertRGB555), 0x7E08u);
    EXPECT_EQ(word16(convertBGR555), 0x221Fu);

    convertRGB24(&p, out, 1);
    EXPECT_EQ((std::vector<uint8_t>(out, out + 3)), (std::vector<uint8_t>{0x40, 0x80, 0xFF}));
    convertBGR24(&p, out, 1);
    EXPECT_EQ((std::vector<uint8_t>(out, out + 3)), (std::vector<uint8_t>{0xFF, 0x80, 0x40}));

    // A top byte other than 0 survives only the straight 32-bit copy.
    const Pixel marked = p | 0x5A000000u;
    uint32_t word = 0;
    convertRGB32(&marked, reinterpret_cast<uint8_t*>(&word), 1);
    EXPECT_EQ(word, 0x5AFF8040u);
    convertBGR32(&marked, reinterpret_cast<uint8_t*>(&word), 1);
    EXPECT_EQ(word, 0x004080FFu);
}

TEST(Converters, ChosenOnlyByAnExactMatchInTableOrder) {
    for (const Layout& layout : kLayouts) {
        EXPECT_EQ(choosePixelConverter(layout.bitCount, layout.redMask, layout.greenMask,
                                       layout.blueMask),
                  layout.converter)
            << layout.name;
    }
    EXPECT_EQ(choosePixelConverter(16, 0xF00, 0xF0, 0xF), nullptr);
    EXPECT_EQ(choosePixelConverter(8, 0, 0, 0), nullptr);
    EXPECT_EQ(choosePixelConverter(32, 0xFF0000, 0xFF00, 0), nullptr);
    EXPECT_EQ(choosePixelConverter(24, 0xF800, 0x7E0, 0x1F), nullptr);
}

TEST(DeviceFormats, NamesAndSdlLayoutsAgreeWithTheMasks) {
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        DeviceFormat parsed = DeviceFormat::Any;
        ASSERT_TRUE(parseDeviceFormat(deviceFormatName(layout.format), &parsed));
        EXPECT_EQ(parsed, layout.format);
        const DevicePixelFormat masks = deviceFormatMasks(layout.format);
        EXPECT_EQ(masks.bitCount, layout.bitCount);
        EXPECT_EQ(masks.redMask, layout.redMask);

        // SDL must store each layout in exactly these bits, or the screen shows wrong colours.
        const uint32_t sdlFormat = sdlPixelFormatOf(layout.format);
        int bits = 0;
        Uint32 red = 0, green = 0, blue = 0, alpha = 0;
        ASSERT_EQ(SDL_PixelFormatEnumToMasks(sdlFormat, &bits, &red, &green, &blue, &alpha),
                  SDL_TRUE);
        EXPECT_EQ(SDL_BYTESPERPIXEL(sdlFormat) * 8u, layout.bitCount);
        EXPECT_EQ(red, layout.redMask);
        EXPECT_EQ(green, layout.greenMask);
        EXPECT_EQ(blue, layout.blueMask);
    }
    DeviceFormat parsed = DeviceFormat::RGB32;
    EXPECT_FALSE(parseDeviceFormat("rgb444", &parsed));
    EXPECT_FALSE(parseDeviceFormat("", &parsed));
    EXPECT_EQ(parsed, DeviceFormat::RGB32);
}

int32_t gExitStatus = -1;
void recordExit(int32_t status) {
    gExitStatus = status;
}

const Calls kOpenCalls = {"start",
                          "createWindow Test 512x384",
                          "takeScreen",
                          "setMode 512x384x32",
                          "createSurfaces 2",
                          "attachBackBuffer",
                          "queryFormat",
                          "screenSaver off"};
const Calls kCloseCalls = {"releaseSurfaces", "restoreMode", "releaseScreen",
                           "destroyWindow",   "stop",        "screenSaver on"};

class Display : public ::testing::Test {
protected:
    void SetUp() override {
        gExitStatus = -1;
        options.device = DisplayDeviceKind::Headless;
        options.exitProcess = recordExit;
    }
    void TearDown() override {
        closeDisplay();
        setDisplayOptions(DisplayOptions{});
    }

    int32_t open() {
        setDisplayOptions(options);
        return openDisplay("Test", 512, 384);
    }
    const Calls& calls() const { return displayState.device.log.calls; }
    // The calls made since the first `skip` ones.
    Calls callsAfter(size_t skip) const {
        return Calls(calls().begin() + static_cast<std::ptrdiff_t>(skip), calls().end());
    }
    void post(DisplayMessageKind kind, int32_t key = 0, int32_t active = 0) {
        ASSERT_TRUE(headlessPostMessage(displayState.device, {kind, key, active}));
    }

    DisplayOptions options;
    std::vector<Pixel> frame = std::vector<Pixel>(kScreenPixels);
};

TEST_F(Display, OpensInStepOrderAndClosesInReverse) {
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(calls(), kOpenCalls);
    EXPECT_EQ(displayState.converter, convertRGB32);
    EXPECT_EQ(displayState.appActive, 0);  // until the window says it is active
    EXPECT_STREQ(displayError(), "");

    EXPECT_EQ(closeDisplay(), 1);
    EXPECT_EQ(callsAfter(kOpenCalls.size()), kCloseCalls);
    EXPECT_EQ(displayState.converter, nullptr);
    EXPECT_EQ(displayState.window, 0u);
}

TEST_F(Display, FallsBackThroughModeDepths) {
    options.headless.refuse32 = true;
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(calls()[3], "setMode 512x384x32");
    EXPECT_EQ(calls()[4], "setMode 512x384x24");
    EXPECT_EQ(displayState.converter, convertRGB24);
    EXPECT_STREQ(displayError(), "");
    closeDisplay();

    options.headless.refuse24 = true;
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(calls()[5], "setMode 512x384x16");
    EXPECT_EQ(displayState.converter, convertRGB565);
    closeDisplay();

    options.headless.refuse16 = true;
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(calls().back(), "setMode 512x384x16");
    EXPECT_STRNE(displayError(), "");
}

TEST_F(Display, FallsBackThroughSurfaceChains) {
    options.headless.refuseTwoBackBuffers = true;
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(calls()[4], "createSurfaces 2");
    EXPECT_EQ(calls()[5], "createSurfaces 1");
    closeDisplay();

    // A lone surface can be made but has no back buffer to present to.
    options.headless.refuseOneBackBuffer = true;
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(callsAfter(5), (Calls{"createSurfaces 1", "createSurfaces 0", "attachBackBuffer"}));
    const size_t opened = calls().size();
    EXPECT_EQ(closeDisplay(), 1);
    EXPECT_EQ(callsAfter(opened), kCloseCalls);

    options.headless.refuseSingleSurface = true;
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(calls().back(), "createSurfaces 0");
    const size_t failed = calls().size();
    closeDisplay();
    EXPECT_EQ(callsAfter(failed),
              (Calls{"restoreMode", "releaseScreen", "destroyWindow", "stop", "screenSaver on"}));
}

TEST_F(Display, FailsOnLayoutsWithoutAConverter) {
    for (int which = 0; which < 3; ++which) {
        options.headless.paletteMode = which == 0;
        options.headless.unknownFormat = which == 1;
        options.headless.failFormatQuery = which == 2;
        EXPECT_EQ(open(), 0) << which;
        EXPECT_EQ(calls().back(), "queryFormat");
        EXPECT_EQ(displayState.converter, nullptr);
        EXPECT_STRNE(displayError(), "");
        const size_t opened = calls().size();
        closeDisplay();
        EXPECT_EQ(callsAfter(opened), kCloseCalls);
    }
}

TEST_F(Display, ClosesOnlyWhatAnEarlyFailureLeft) {
    options.headless.failStart = true;
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(calls(), (Calls{"start"}));
    EXPECT_NE(std::string(displayError()).find("fail at start"), std::string::npos);
    EXPECT_EQ(presentFrame(frame.data()), 1);  // never active, so only waits
    EXPECT_EQ(closeDisplay(), 1);
    EXPECT_EQ(calls(), (Calls{"start", "sleep 1", "screenSaver on"}));

    options.headless.failStart = false;
    options.headless.failTakeScreen = true;
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(calls().back(), "takeScreen");
    closeDisplay();
    EXPECT_EQ(callsAfter(3),
              (Calls{"restoreMode", "releaseScreen", "destroyWindow", "stop", "screenSaver on"}));
}

TEST_F(Display, RejectsSizesNoDeviceCanHold) {
    setDisplayOptions(options);
    EXPECT_EQ(openDisplay("Test", 0, 384), 0);
    EXPECT_EQ(openDisplay("Test", 512, -1), 0);
    EXPECT_TRUE(calls().empty());
    EXPECT_STRNE(displayError(), "");
}

TEST_F(Display, CloseReportsTheScreenSaverSwitch) {
    options.headless.failScreenSaver = true;
    ASSERT_EQ(open(), 1);
    EXPECT_EQ(closeDisplay(), 0);
}

TEST_F(Display, PresentsEveryLayoutRowByRowLeavingThePadding) {
    std::mt19937 random(11);
    for (Pixel& p : frame)
        p = random();
    options.headless.extraPitchBytes = 6;
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        options.onlyFormat = layout.format;
        ASSERT_EQ(open(), 1);
        EXPECT_EQ(displayState.converter, layout.converter);
        const size_t opened = calls().size();
        EXPECT_EQ(presentFrame(frame.data()), 1);
        EXPECT_EQ(callsAfter(opened), (Calls{"restore", "lock", "unlock", "flip", "sleep 0"}));

        const HeadlessLog& log = displayState.device.log;
        ASSERT_EQ(log.flips, 1);
        const size_t rowBytes = 512 * layout.bitCount / 8;
        ASSERT_EQ(log.framePitch, static_cast<int32_t>(rowBytes) + 6);
        for (int32_t row = 0; row < 384; row += 1) {
            const std::vector<Pixel> source(frame.begin() + row * 512,
                                            frame.begin() + (row + 1) * 512);
            const std::vector<uint8_t> want = referenceConvert(layout, source);
            const uint8_t* got = log.frame.data() + row * log.framePitch;
            ASSERT_TRUE(std::equal(want.begin(), want.end(), got)) << "row " << row;
            for (size_t i = rowBytes; i < rowBytes + 6; ++i)
                ASSERT_EQ(got[i], 0xCD);
        }
        closeDisplay();
    }
}

TEST_F(Display, ActivationGatesPresentation) {
    options.headless.activateOnShow = false;
    ASSERT_EQ(open(), 1);
    size_t seen = calls().size();
    EXPECT_EQ(presentFrame(frame.data()), 1);
    EXPECT_EQ(callsAfter(seen), (Calls{"sleep 1"}));  // no surface touched

    post(DisplayMessageKind::Activate, 0, 1);
    EXPECT_EQ(presentFrame(frame.data()), 1);
    EXPECT_EQ(displayState.device.log.flips, 1);

    post(DisplayMessageKind::Activate, 0, 0);
    seen = calls().size();
    EXPECT_EQ(presentFrame(frame.data()), 1);
    EXPECT_EQ(callsAfter(seen), (Calls{"sleep 1"}));
    EXPECT_EQ(displayState.device.log.flips, 1);
}

TEST_F(Display, LockFailureDropsTheFrame) {
    options.headless.failLock = true;
    ASSERT_EQ(open(), 1);
    const size_t opened = calls().size();
    EXPECT_EQ(presentFrame(frame.data()), 0);
    EXPECT_EQ(callsAfter(opened), (Calls{"restore", "lock"}));
    EXPECT_EQ(displayState.device.log.flips, 0);
}

TEST_F(Display, PartlyOpenDisplayIsNeverDrawnInto) {
    options.headless.unknownFormat = true;
    EXPECT_EQ(open(), 0);
    post(DisplayMessageKind::Activate, 0, 1);
    const size_t opened = calls().size();
    EXPECT_EQ(presentFrame(frame.data()), 0);
    EXPECT_EQ(callsAfter(opened), (Calls{"sleep 1"}));
}

TEST_F(Display, EscapeAndCloseEndTheRunBeforeTheFrameIsShown) {
    for (DisplayMessageKind kind : {DisplayMessageKind::KeyDown, DisplayMessageKind::Close}) {
        gExitStatus = -1;
        ASSERT_EQ(open(), 1);
        post(kind, kKeyEscape);
        const size_t opened = calls().size();
        presentFrame(frame.data());
        EXPECT_EQ(gExitStatus, 0);
        Calls expected = kCloseCalls;
        expected.push_back("sleep 1");  // the hook returned: the closed display only waits
        EXPECT_EQ(callsAfter(opened), expected);
        EXPECT_EQ(displayState.device.log.flips, 0);
    }
}

TEST_F(Display, OtherKeysDoNothingAndThePointerStaysHidden) {
    ASSERT_EQ(open(), 1);
    post(DisplayMessageKind::KeyDown, 'a');
    post(DisplayMessageKind::KeyDown, kKeyEscape + 0x100);
    post(DisplayMessageKind::Cursor);
    post(DisplayMessageKind::Other);
    const size_t opened = calls().size();
    EXPECT_EQ(presentFrame(frame.data()), 1);
    EXPECT_EQ(gExitStatus, -1);
    EXPECT_EQ(callsAfter(opened),
              (Calls{"hideCursor", "restore", "lock", "unlock", "flip", "sleep 0"}));
}

TEST_F(Display, EscapeEndsTheProcessWithStatusZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    options.exitProcess = nullptr;
    EXPECT_EXIT(
        {
            open();
            post(DisplayMessageKind::KeyDown, kKeyEscape);
            presentFrame(frame.data());
            std::abort();  // not reached
        },
        ::testing::ExitedWithCode(0), "");
}

// The real device on SDL's dummy video driver: opens, shows frames in any layout, closes, and
// turns SDL's Escape and quit events into the end of the run.
TEST_F(Display, SdlDeviceRunsOnTheDummyDriver) {
    SDL_setenv("SDL_VIDEODRIVER", "dummy", 1);
    options.device = DisplayDeviceKind::Screen;
    options.windowed = true;
    for (DeviceFormat format : {DeviceFormat::Any, DeviceFormat::BGR24, DeviceFormat::RGB555}) {
        options.onlyFormat = format;
        ASSERT_EQ(open(), 1) << displayError();
        EXPECT_NE(displayState.converter, nullptr);
        EXPECT_EQ(presentFrame(frame.data()), 1);
        EXPECT_EQ(presentFrame(frame.data()), 1);
        EXPECT_NE(displayState.appActive, 0);  // shown, so active
        EXPECT_NE(closeDisplay(), 0);
    }

    SDL_Event escape{};
    escape.type = SDL_KEYDOWN;
    escape.key.keysym.sym = SDLK_ESCAPE;
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    for (SDL_Event event : {escape, quit}) {
        gExitStatus = -1;
        ASSERT_EQ(open(), 1) << displayError();
        ASSERT_EQ(SDL_PushEvent(&event), 1);
        presentFrame(frame.data());
        EXPECT_EQ(gExitStatus, 0);
        EXPECT_EQ(displayState.window, 0u);  // closed before the exit
    }
}

}  // namespace
