// Video capture, the scene bench and the progress line: the pieces alone, then the program end to
// end through ffmpeg (skipped where ffmpeg is not installed).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "driver/capture.h"
#include "driver/options.h"
#include "driver/png_writer.h"
#include "driver/progress.h"
#include "driver/show.h"

namespace {

// ---- The pieces ---------------------------------------------------------------------------------

TEST(ScaleFrame, EveryPixelBecomesASquareAtEveryScale) {
    std::vector<Pixel> screen(kScreenPixels);
    std::mt19937 random(7);
    for (Pixel& p : screen)
        p = random() & 0xFFFFFF;
    for (uint32_t scale : {1u, 2u, 3u, 5u}) {
        const size_t width = kScreenWidth * scale;
        std::vector<Pixel> out(width * kScreenHeight * scale, 0xDEADBEEF);
        scaleFrame(out.data(), screen.data(), scale);
        std::vector<Pixel> expected(out.size());
        for (size_t y = 0; y < kScreenHeight * scale; ++y)
            for (size_t x = 0; x < width; ++x)
                expected[y * width + x] = screen[(y / scale) * kPitch + x / scale];
        EXPECT_EQ(out, expected) << "scale " << scale;
    }
}

std::string joined(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args)
        line += arg + " ";
    return line;
}

TEST(FfmpegArguments, RawFramesInAndTheRightCodecsOut) {
    VideoSettings mp4{"/out/show.mp4", "data/tolvik_tune.ogg", 60, 3, "", 6003};
    const std::string line = joined(ffmpegArguments(mp4));
    EXPECT_NE(line.find("-f rawvideo -pix_fmt bgr0 -s 1536x1152 -framerate 60 -i - "),
              std::string::npos)
        << line;
    EXPECT_NE(line.find("-stream_loop -1 -i data/tolvik_tune.ogg"), std::string::npos) << line;
    EXPECT_NE(line.find("-c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p"), std::string::npos);
    EXPECT_NE(line.find("-c:a aac"), std::string::npos);
    EXPECT_NE(line.find("-t 100.050000 "), std::string::npos) << line;  // 6003 / 60
    EXPECT_EQ(ffmpegArguments(mp4).back(), "/out/show.mp4");

    // Matroska keeps the Vorbis stream; a named codec chooses its own pixel format.
    VideoSettings mkv{"a b.mkv", nullptr, 5, 1, "ffv1", 7};
    const std::vector<std::string> args = ffmpegArguments(mkv);
    const std::string mkvLine = joined(args);
    EXPECT_NE(mkvLine.find("-s 512x384 -framerate 5 -i - -c:v ffv1 -t 1.400000 a b.mkv"),
              std::string::npos)
        << mkvLine;
    EXPECT_EQ(mkvLine.find("-c:a"), std::string::npos);  // no music: no sound track
    EXPECT_EQ(mkvLine.find("yuv420p"), std::string::npos);
    EXPECT_EQ(args.back(), "a b.mkv");  // one argument, spaces and all: no shell in between
    mkv.musicPath = "m.ogg";
    EXPECT_NE(joined(ffmpegArguments(mkv)).find("-c:a copy"), std::string::npos);
}

TEST(FindProgram, SearchesEachFolderOfThePathInOrder) {
    EXPECT_EQ(findProgram("sh", "/nonexistent:/bin:/usr/bin"), "/bin/sh");
    EXPECT_EQ(findProgram("sh", "/nonexistent"), "");
    EXPECT_EQ(findProgram("sh", ""), "");  // the working folder only
    EXPECT_EQ(findProgram("sh", nullptr), "");
}

TEST(Progress, LineShowsFramesElapsedAndTimeLeft) {
    char text[256];
    EXPECT_STREQ(formatProgress(text, sizeof text, "capture", 120, 480, 2.0, false),
                 "capture 120/480 frames  0:02 elapsed  0:06 left");
    EXPECT_STREQ(formatProgress(text, sizeof text, "capture", 240, 480, 100.0, true),
                 "capture [############------------] 240/480 frames  1:40 elapsed  1:40 left");
    // Before the first frame nothing is known about the rate; past an hour, hours show.
    EXPECT_STREQ(formatProgress(text, sizeof text, "x", 0, 10, 0.0, false),
                 "x 0/10 frames  0:00 elapsed  ? left");
    EXPECT_STREQ(formatProgress(text, sizeof text, "x", 1, 2, 3725.0, false),
                 "x 1/2 frames  1:02:05 elapsed  1:02:05 left");
    // A small buffer truncates instead of overrunning.
    char tiny[8];
    EXPECT_STREQ(formatProgress(tiny, sizeof tiny, "capture", 1, 2, 1.0, true), "capture");
}

ScriptedFrame at(float t, float s0 = 0) {
    return {t, {s0, 0, 0, 0, 0, 0, 0, 0}};
}

TEST(CountShowFrames, ReplaysTheSceneConditionsWithoutTouchingTheClock) {
    // Each scene keeps one frame past its end; after 100 s only sound in the lowest bin ends it.
    const std::vector<ScriptedFrame> script = {
        at(5),  at(19),    at(19.5f), at(38),    at(38.5f), at(50),  at(57),       at(57.25f),
        at(77), at(77.5f), at(96),    at(96.5f), at(99),    at(101), at(102, 0.2f)};
    ShowState state{};
    ShowClock clock{nullptr, script.data(), script.size(), 0};
    EXPECT_EQ(countShowFrames(state, clock, 0), 15u);
    EXPECT_EQ(countShowFrames(state, clock, 9), 9u);
    EXPECT_EQ(clock.scriptNext, 0u);

    // Silence past the end keeps the last scene going: only the limit stops it.
    const std::vector<ScriptedFrame> silent = {at(5), at(150)};
    ShowClock silentClock{nullptr, silent.data(), silent.size(), 0};
    EXPECT_EQ(countShowFrames(state, silentClock, 1000), 1000u);
    ShowClock stopped{nullptr, silent.data(), 0, 0};
    EXPECT_EQ(countShowFrames(state, stopped, 0), 0u);
    EXPECT_EQ(countShowFrames(state, stopped, 12), 12u);

    // The offline clock without music: t = frame / fps, so 19 s at 2 fps is frames 0..38,
    // and frame 39 (19.5 s) is still scene 1's last.
    MusicClock music{MusicClockMode::kOffline, nullptr, nullptr, 0, 2, nullptr};
    ShowClock offline{&music, nullptr, 0, 0};
    EXPECT_EQ(countShowFrames(state, offline, 40), 40u);
    EXPECT_EQ(music.frameNumber, 0u);
}

TEST(Options, CaptureBenchAndUntil) {
    const char* argv[] = {"b",    "--capture", "v.mkv", "--scale", "3",  "--codec",
                          "ffv1", "--fps",     "5",     "--until", "2.5"};
    Options options;
    std::string error;
    ASSERT_TRUE(parseOptions(11, const_cast<char**>(argv), &options, &error)) << error;
    EXPECT_EQ(options.capturePath, "v.mkv");
    EXPECT_EQ(options.scale, 3u);
    EXPECT_EQ(options.codec, "ffv1");
    EXPECT_EQ(options.untilSeconds, 2.5);

    const char* bench[] = {"b", "--bench", "--bench-frames", "7"};
    Options benchOptions;
    ASSERT_TRUE(parseOptions(4, const_cast<char**>(bench), &benchOptions, &error)) << error;
    EXPECT_TRUE(benchOptions.bench);
    EXPECT_EQ(benchOptions.benchFrames, 7u);
    EXPECT_LT(benchOptions.untilSeconds, 0.0);

    for (std::vector<const char*> bad : {std::vector<const char*>{"b", "--capture", "v.avi"},
                                         {"b", "--capture", "mp4"},
                                         {"b", "--scale", "2"},
                                         {"b", "--capture", "v.mp4", "--scale", "9"},
                                         {"b", "--codec", "ffv1"},
                                         {"b", "--capture", "v.mp4", "--codec"},
                                         {"b", "--bench-frames", "5"},
                                         {"b", "--bench", "--bench-frames", "0"},
                                         {"b", "--bench", "--capture", "v.mp4"},
                                         {"b", "--headless", "--capture", "v.mp4"},
                                         {"b", "--until", "3"},
                                         {"b", "--headless", "--until", "0"},
                                         {"b", "--headless", "--until", "-1"}}) {
        Options o;
        error.clear();
        EXPECT_FALSE(
            parseOptions(static_cast<int>(bad.size()), const_cast<char**>(bad.data()), &o, &error))
            << bad[1] << " " << (bad.size() > 2 ? bad[2] : "");
        EXPECT_FALSE(error.empty());
    }
}

// ---- The program end to end ---------------------------------------------------------------------

struct RunResult {
    int status;       // exit status, or -1 when it did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
};

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string shellQuoted(const std::string& arg) {
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(access(BRINDLEHOP_BINARY_DIR "/brindlehop", X_OK), 0)
            << "build the brindlehop target first";
        char pattern[] = "/tmp/brindlehop_capture_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!HasFailure()) std::system(("rm -rf " + shellQuoted(dir_)).c_str());
    }
    static bool haveFfmpeg() {
        return !findProgram("ffmpeg", std::getenv("PATH")).empty() &&
               !findProgram("ffprobe", std::getenv("PATH")).empty();
    }

    // Runs the show with args on the committed data, with an optional prefix (environment).
    RunResult show(const std::vector<std::string>& args, const std::string& prefix = "") {
        std::string command = prefix;
        command += shellQuoted(BRINDLEHOP_BINARY_DIR "/brindlehop");
        command += " --data ";
        command += shellQuoted(BRINDLEHOP_SOURCE_DIR);
        for (const std::string& arg : args) {
            command += ' ';
            command += shellQuoted(arg);
        }
        return shell(command);
    }
    RunResult shell(const std::string& command) {
        const std::string out = dir_ + "/stdout", err = dir_ + "/stderr";
        const int status =
            std::system((command + " >" + shellQuoted(out) + " 2>" + shellQuoted(err)).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readWhole(out), readWhole(err)};
    }
    // One ffprobe field of the first stream of kind ("v" or "a"), or of the container.
    std::string probe(const std::string& file, const std::string& entry,
                      const std::string& kind = "v") {
        std::string command = "ffprobe -v error -count_frames -of default=nw=1:nk=1";
        if (entry.rfind("format=", 0) == 0)
            command += " -show_entries " + entry;
        else
            command += " -select_streams " + kind + ":0 -show_entries stream=" + entry;
        const RunResult run = shell(command + " " + shellQuoted(file));
        std::string value = run.out;
        while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
            value.pop_back();
        return value;
    }
    // Frames of a video (numbers in increasing order), each decoded to 512 x 384 Pixels with the
    // padding byte cleared; one ffmpeg pass for all of them.
    std::vector<std::vector<Pixel>> decodeFrames(const std::string& file,
                                                 const std::vector<uint64_t>& numbers,
                                                 uint32_t scale = 1) {
        std::string select;
        for (uint64_t n : numbers) {
            if (!select.empty()) select += '+';
            select.append("eq(n\\,").append(std::to_string(n)).append(")");
        }
        const std::string raw = dir_ + "/frames.raw";
        std::string command = "ffmpeg -v error -y -i ";
        command.append(shellQuoted(file))
            .append(" -vf 'select=")
            .append(select)
            .append("' -vsync 0 -f rawvideo -pix_fmt bgr0 ")
            .append(shellQuoted(raw));
        const RunResult run = shell(command);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string bytes = readWhole(raw);
        const size_t width = kScreenWidth * scale;
        const size_t frameBytes = sizeof(Pixel) * width * kScreenHeight * scale;
        if (bytes.size() != frameBytes * numbers.size()) {
            ADD_FAILURE() << "decoded " << bytes.size() << " bytes";
            return {};
        }
        std::vector<std::vector<Pixel>> frames;
        for (size_t f = 0; f < numbers.size(); ++f) {
            // Nearest-neighbour enlargement: each scale x scale square is one pixel of the show.
            std::vector<Pixel> frame(kScreenPixels);
            std::vector<Pixel> pixels(frameBytes / sizeof(Pixel));
            std::memcpy(pixels.data(), bytes.data() + f * frameBytes, frameBytes);
            for (size_t y = 0; y < kScreenHeight * scale; ++y) {
                for (size_t x = 0; x < width; ++x) {
                    const Pixel p = pixels[y * width + x] & 0xFFFFFF;
                    if (y % scale == 0 && x % scale == 0) frame[y / scale * kPitch + x / scale] = p;
                    if (p != (pixels[y / scale * scale * width + x / scale * scale] & 0xFFFFFF)) {
                        ADD_FAILURE() << "square at " << x / scale << "," << y / scale
                                      << " is not one colour";
                        return {};
                    }
                }
            }
            frames.push_back(std::move(frame));
        }
        return frames;
    }
    // The checksum lines of a headless run: frame number -> crc32.
    static std::vector<std::pair<uint64_t, uint32_t>> checksums(const std::string& out) {
        std::vector<std::pair<uint64_t, uint32_t>> lines;
        std::istringstream in(out);
        std::string line;
        while (std::getline(in, line)) {
            uint64_t frame = 0;
            unsigned crc = 0;
            if (std::sscanf(line.c_str(), "frame %" SCNu64 " t %*f scene %*d crc32 %x", &frame,
                            &crc) == 2)
                lines.emplace_back(frame, crc);
        }
        return lines;
    }
    bool haveMusic() const {
        return access(BRINDLEHOP_SOURCE_DIR "/data/tolvik_tune.ogg", R_OK) == 0;
    }

    std::string dir_;
};

TEST_F(ProgramTest, LosslessCaptureHoldsTheHeadlessFrames) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    // 2 fps up to 40 s: the opening fade, scene 2's overlays and the egg, 80 frames.
    const std::string video = dir_ + "/show.mkv";
    const RunResult capture =
        show({"--capture", video, "--codec", "ffv1", "--fps", "2", "--until", "40"});
    ASSERT_EQ(capture.status, 0) << capture.err;
    EXPECT_NE(capture.err.find("80/80 frames"), std::string::npos) << capture.err;
    EXPECT_EQ(probe(video, "nb_read_frames"), "80");
    // Matroska keeps times in milliseconds and ends with the last sound packet.
    EXPECT_NEAR(std::stod(probe(video, "format=duration")), 40.0, 0.01);
    if (haveMusic()) {
        EXPECT_EQ(probe(video, "codec_name", "a"), "vorbis");
    }

    const RunResult headless = show({"--headless", "--fps", "2", "--until", "40", "--frames",
                                     dir_ + "/frames", "--at", "0.5,20,39.5"});
    ASSERT_EQ(headless.status, 0) << headless.err;
    const auto lines = checksums(headless.out);
    ASSERT_EQ(lines.size(), 3u) << headless.out;
    const std::vector<std::vector<Pixel>> decoded =
        decodeFrames(video, {lines[0].first, lines[1].first, lines[2].first});
    ASSERT_EQ(decoded.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(frameChecksum(decoded[i].data(), kScreenPixels), lines[i].second)
            << "frame " << lines[i].first;
}

TEST_F(ProgramTest, EnlargedCaptureRepeatsEachPixel) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string video = dir_ + "/big.mkv";
    const RunResult capture =
        show({"--capture", video, "--codec", "ffv1", "--scale", "3", "--fps", "4", "--until", "1"});
    ASSERT_EQ(capture.status, 0) << capture.err;
    EXPECT_EQ(probe(video, "width"), "1536");
    EXPECT_EQ(probe(video, "height"), "1152");
    const RunResult headless =
        show({"--headless", "--fps", "4", "--frames", dir_ + "/frames", "--at", "0.75"});
    const auto lines = checksums(headless.out);
    ASSERT_EQ(lines.size(), 1u) << headless.out;
    const std::vector<std::vector<Pixel>> decoded = decodeFrames(video, {3}, 3);
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(frameChecksum(decoded[0].data(), kScreenPixels), lines[0].second);
}

TEST_F(ProgramTest, DefaultMp4IsH264WithAacSound) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string video = dir_ + "/show.mp4";
    const RunResult capture = show({"--capture", video, "--fps", "10", "--until", "1.5"});
    ASSERT_EQ(capture.status, 0) << capture.err;
    EXPECT_EQ(probe(video, "codec_name"), "h264");
    EXPECT_EQ(probe(video, "pix_fmt"), "yuv420p");
    EXPECT_EQ(probe(video, "nb_read_frames"), "15");
    EXPECT_EQ(probe(video, "duration"), "1.500000");
    if (haveMusic()) {
        EXPECT_EQ(probe(video, "codec_name", "a"), "aac");
        // The sound track ends with the pictures (within one AAC packet of 1024 samples).
        EXPECT_NEAR(std::stod(probe(video, "duration", "a")), 1.5, 0.025);
    }
}

TEST_F(ProgramTest, FailuresAreReportedNotHidden) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    // ffmpeg gives up at once: the show notices the closed pipe and stops.
    RunResult run = show({"--capture", dir_ + "/x.mkv", "--codec", "nosuchcodec", "--until", "20"});
    EXPECT_EQ(run.status, 4);
    EXPECT_NE(run.err.find("ffmpeg stopped taking frames"), std::string::npos) << run.err;
    // ffmpeg cannot write the file.
    run = show({"--capture", dir_ + "/no/such/folder/x.mp4", "--until", "1"});
    EXPECT_EQ(run.status, 4) << run.err;
}

TEST_F(ProgramTest, MissingFfmpegSaysHowToInstallIt) {
    RunResult run = show({"--capture", dir_ + "/x.mp4"}, "PATH=" + shellQuoted(dir_) + " ");
    EXPECT_EQ(run.status, 5);
    EXPECT_NE(run.err.find("apt-get install ffmpeg"), std::string::npos) << run.err;
}

TEST_F(ProgramTest, BenchPrintsALinePerSceneAndTheWholeShow) {
    const RunResult run = show({"--bench", "--bench-frames", "3"});
    ASSERT_EQ(run.status, 0) << run.err;
    // One line per scene, in order, with sensible figures: fps is 1000 / median.
    std::istringstream lines(run.out);
    std::string line;
    int scene = 0;
    // Frames of each scene at 60 fps: 19 + 19 + 19 + 20 + 19 + 4 seconds.
    constexpr double kFramesAtFps[kSceneCount] = {1140, 1140, 1140, 1200, 1140, 240};
    double fromMedians = 0;  // seconds
    while (std::getline(lines, line)) {
        int number = 0;
        size_t frames = 0;
        double median = 0, p99 = 0, fps = 0;
        if (std::sscanf(line.c_str(), "scene %d: %zu frames, median %lf ms, p99 %lf ms, %lf fps",
                        &number, &frames, &median, &p99, &fps) != 5)
            continue;
        EXPECT_EQ(number, ++scene) << line;
        if (scene <= kSceneCount) fromMedians += kFramesAtFps[scene - 1] * median / 1000;
        EXPECT_EQ(frames, 3u) << line;
        EXPECT_GT(median, 0.0) << line;
        EXPECT_GE(p99, median) << line;
        // The median is printed to 0.0005 ms, fps from the unrounded one.
        EXPECT_GE(fps, 1000.0 / (median + 0.0005) - 1) << line;
        EXPECT_LE(fps, 1000.0 / std::max(median - 0.0005, 1e-9) + 1) << line;
    }
    EXPECT_EQ(scene, kSceneCount) << run.out;
    // The whole show at 60 fps: 19 + 19 + 19 + 20 + 19 + 4 seconds.
    double seconds = 0, multiple = 0;
    const size_t whole = run.out.find("whole show:");
    ASSERT_NE(whole, std::string::npos) << run.out;
    EXPECT_EQ(std::sscanf(run.out.c_str() + whole,
                          "whole show: 6000 frames in %lf s, %lfx real time", &seconds, &multiple),
              2)
        << run.out;
    EXPECT_NEAR(multiple, 100.0 / seconds, 0.1 + 0.01 * multiple);
    // The time is the scenes' medians times their frames: each median is printed to 0.0005 ms,
    // the time to 0.005 s.
    EXPECT_NEAR(seconds, fromMedians, 0.005 + 6000 * 0.0005e-3) << run.out;

    const RunResult early = show({"--bench", "--bench-frames", "2", "--until", "30"});
    EXPECT_NE(early.out.find("scene 2: 2 frames"), std::string::npos) << early.out;
    EXPECT_EQ(early.out.find("scene 3:"), std::string::npos) << early.out;
    EXPECT_NE(early.out.find("whole show: 1800 frames"), std::string::npos) << early.out;
}

}  // namespace
