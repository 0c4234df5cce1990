// Video capture, the scene bench and the progress line: the pieces alone, then the program end to
// end through ffmpeg (skipped where ffmpeg is not installed).
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "output/png_writer.h"
#include "output/progress.h"
#include "output/video.h"
#include "platform/os_streams.h"
#include "program/options.h"
#include "show/show.h"

extern char** environ;

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
    EXPECT_NE(
        mkvLine.find("-s 512x384 -framerate 5 -i - -c:v ffv1 -t 1.400000 -f matroska a b.mkv"),
        std::string::npos)
        << mkvLine;
    // The container follows the video's name whatever the output is called.
    EXPECT_EQ(joined(ffmpegArguments(mp4, "/out/show.mp4.7.partial"))
                  .find("-movflags +faststart -f mp4 /out/show.mp4.7.partial "),
              line.find("-movflags +faststart -f mp4 /out/show.mp4 "));
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
    // The shell command that runs the show with args on the committed data.
    static std::string showCommand(const std::vector<std::string>& args) {
        std::string command = shellQuoted(BRINDLEHOP_BINARY_DIR "/brindlehop");
        command += " --data ";
        command += shellQuoted(BRINDLEHOP_SOURCE_DIR);
        for (const std::string& arg : args) {
            command += ' ';
            command += shellQuoted(arg);
        }
        return command;
    }
    // The show started in the background with stdout and stderr into files of dir_; its pid.
    pid_t startShow(const std::vector<std::string>& args, const std::string& environment = "") {
        std::remove((dir_ + "/stdout").c_str());
        std::remove((dir_ + "/stderr").c_str());
        std::string command = "exec ";
        if (!environment.empty()) command += "env " + environment;
        command += showCommand(args);
        command += " >";
        command += shellQuoted(dir_ + "/stdout");
        command += " 2>";
        command += shellQuoted(dir_ + "/stderr");
        const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
        pid_t pid = 0;
        EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ),
                  0);
        return pid;
    }
    // Waits up to 60 s for ready() to hold; whether it did.
    static bool waitFor(const std::function<bool()>& ready) {
        for (int i = 0; i < 6000; ++i) {
            if (ready()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // The exit status of pid, or -1 when a signal ended it.
    static int exitStatusOf(pid_t pid) {
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Whether any process has text in its command line (an encoder left behind).
    static bool processRunsWith(const std::string& text) {
        DIR* processes = opendir("/proc");
        bool found = false;
        while (const dirent* entry = processes != nullptr ? readdir(processes) : nullptr) {
            if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
            std::string line = readWhole(std::string("/proc/") + entry->d_name + "/cmdline");
            std::replace(line.begin(), line.end(), '\0', ' ');
            found = found || line.find(text) != std::string::npos;
        }
        if (processes != nullptr) closedir(processes);
        return found;
    }
    // An executable script named ffmpeg in dir_/fake, for encoders that misbehave.
    std::string fakeFfmpeg(const std::string& body) {
        const std::string folder = dir_ + "/fake";
        mkdir(folder.c_str(), 0755);
        const std::string path = folder + "/ffmpeg";
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), 0755);
        return folder;
    }
    // The names in folder that end in ending.
    static std::vector<std::string> filesEndingIn(const std::string& folder,
                                                  const std::string& ending) {
        std::vector<std::string> names;
        DIR* listing = opendir(folder.c_str());
        if (listing == nullptr) return names;
        while (const dirent* entry = readdir(listing)) {
            const std::string name = entry->d_name;
            if (name.size() >= ending.size() &&
                name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
                names.push_back(name);
        }
        closedir(listing);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
};

TEST_F(ProgramTest, LosslessCaptureHoldsTheHeadlessFrames) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    // 2 fps up to 40 s: the opening fade, scene 2's overlays and the egg, 80 frames.
    // Through a link to an older video: the file it points to is replaced, the link stays.
    const std::string video = dir_ + "/show.mkv";
    std::ofstream(dir_ + "/older.mkv") << "an older video";
    ASSERT_EQ(symlink("older.mkv", video.c_str()), 0);
    const RunResult capture =
        show({"--capture", video, "--codec", "ffv1", "--fps", "2", "--until", "40"});
    ASSERT_EQ(capture.status, 0) << capture.err;
    struct stat link {};
    EXPECT_TRUE(lstat(video.c_str(), &link) == 0 && S_ISLNK(link.st_mode));
    EXPECT_EQ(filesEndingIn(dir_, ".partial").size(), 0u);
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
    // Without --frames, --at prints the same line and writes no picture; so does --checksums,
    // for every frame.
    const RunResult linesOnly = show({"--headless", "--fps", "4", "--at", "0.75"});
    ASSERT_EQ(linesOnly.status, 0) << linesOnly.err;
    EXPECT_EQ(linesOnly.out, headless.out);
    const RunResult everyLine = show({"--headless", "--fps", "4", "--checksums", "--until", "1"});
    ASSERT_EQ(everyLine.status, 0) << everyLine.err;
    const auto every = checksums(everyLine.out);
    ASSERT_EQ(every.size(), 4u) << everyLine.out;
    EXPECT_EQ(every[3], lines[0]);
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
    // ffmpeg 5 exits 0 after failing to write the end of the file, its error line the only sign;
    // ffmpeg 7 exits with a status. Either way the run fails and passes ffmpeg's line on.
    const std::string full = dir_ + "/full.mkv";
    ASSERT_EQ(symlink("/dev/full", full.c_str()), 0);
    // (Two small frames: a longer video fails while it is written, with status 1.)
    run = show({"--capture", full, "--codec", "ffv1", "--fps", "10", "--until", "0.2"});
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
    EXPECT_TRUE(run.err.find("ffmpeg reported errors") != std::string::npos ||
                run.err.find("ffmpeg failed") != std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("wrote"), std::string::npos) << run.err;
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

// ---- Output that fails or is cut short ----------------------------------------------------------

TEST_F(ProgramTest, HeadlessOutputThatCannotBeWrittenIsAFailure) {
    const std::string frames = dir_ + "/frames";
    const std::vector<std::string> oneFrame = {"--headless", "--fps", "2", "--frames",
                                               frames,       "--at",  "1"};
    const std::string command = showCommand(oneFrame);
    const std::string errors = std::string(" 2>") + shellQuoted(dir_ + "/stderr");
    // A full or closed stdout loses the checksum lines.
    int status = std::system((command + " >/dev/full" + errors).c_str());
    EXPECT_EQ(WEXITSTATUS(status), 4);
    EXPECT_NE(readWhole(dir_ + "/stderr").find("No space left on device"), std::string::npos);
    // Without them, what the loaders print is lost at the last flush.
    status = std::system(
        (showCommand({"--headless", "--fps", "2", "--until", "0.5"}) + " >/dev/full" + errors)
            .c_str());
    EXPECT_EQ(WEXITSTATUS(status), 4);
    status = std::system((command + " >&-" + errors).c_str());
    EXPECT_EQ(WEXITSTATUS(status), 4);
    EXPECT_NE(readWhole(dir_ + "/stderr").find("standard output is closed"), std::string::npos);
    // So does the text of --help, --version and the manual page.
    for (const char* option : {"--help", "--version", "--help-man"}) {
        for (const char* output : {" >/dev/full", " >&-"}) {
            status = std::system((showCommand({option}) + output + errors).c_str());
            EXPECT_EQ(WEXITSTATUS(status), 4) << option << output;
            EXPECT_NE(readWhole(dir_ + "/stderr").find("standard output"), std::string::npos);
        }
    }
    // A folder that cannot be made is named with the reason.
    RunResult made = show({"--headless", "--frames", dir_ + "/none/frames", "--at", "1"});
    EXPECT_EQ(made.status, 4);
    EXPECT_NE(made.err.find("/none/frames: No such file or directory"), std::string::npos)
        << made.err;

    // A disk that fills during a frame leaves no truncated picture, under any name.
    std::system((std::string("rm -rf ") + shellQuoted(frames)).c_str());
    status =
        std::system(("ulimit -f 20; trap '' XFSZ; " + command + " >/dev/null" + errors).c_str());
    EXPECT_EQ(WEXITSTATUS(status), 4);
    EXPECT_NE(readWhole(dir_ + "/stderr").find("cannot write"), std::string::npos);
    EXPECT_EQ(filesEndingIn(frames, ".png").size(), 0u);
    EXPECT_EQ(filesEndingIn(frames, ".partial").size(), 0u);

    // Moments the run never reaches are named.
    RunResult run =
        show({"--headless", "--fps", "2", "--until", "3", "--frames", frames, "--at", "1,5,40.5"});
    EXPECT_EQ(run.status, 4);
    EXPECT_NE(run.err.find("before --at 5 s, 40.5 s"), std::string::npos) << run.err;
    EXPECT_EQ(checksums(run.out).size(), 1u) << run.out;
    // --until 3 draws frames 0 to 5 at 2 fps: 3 s is frame 6, the first one past the end.
    run = show({"--headless", "--fps", "2", "--until", "3", "--at", "2.5,3"});
    EXPECT_EQ(run.status, 4);
    EXPECT_NE(run.err.find("before --at 3 s"), std::string::npos) << run.err;
    // A time that falls between frames still gets its frame: 0.25 s at 10 fps is 3 frames.
    run = show({"--headless", "--fps", "10", "--until", "0.25"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("rendered 3 frames"), std::string::npos) << run.err;

    // A folder path so long that frame names would be cut is refused before anything is drawn.
    const std::string deep = dir_ + "/" + std::string(kFramesDirMaxLength, 'd');
    run = show({"--headless", "--fps", "2", "--frames", deep, "--at", "1"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("too long"), std::string::npos) << run.err;
    EXPECT_EQ(checksums(run.out).size(), 0u);
}

TEST_F(ProgramTest, StopSignalEndsHeadlessAfterAWholeFrame) {
    for (int signalNumber : {SIGTERM, SIGINT}) {
        const std::string frames = dir_ + "/frames" + std::to_string(signalNumber);
        const pid_t pid = startShow({"--headless", "--fps", "60", "--frames", frames});
        ASSERT_GT(pid, 0);
        // Stopped once a few frames are out, long before the show's 6000.
        ASSERT_TRUE(waitFor([&] { return checksums(readWhole(dir_ + "/stdout")).size() >= 3; }));
        kill(pid, signalNumber);
        EXPECT_EQ(exitStatusOf(pid), 128 + signalNumber);
        const auto lines = checksums(readWhole(dir_ + "/stdout"));
        const std::vector<std::string> pictures = filesEndingIn(frames, ".png");
        EXPECT_LT(lines.size(), 6000u);
        // Every picture on disk has its checksum line, and the other way round.
        ASSERT_EQ(pictures.size(), lines.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "frame_%06" PRIu64 ".png", lines[i].first);
            EXPECT_EQ(pictures[i], name);
        }
        EXPECT_EQ(filesEndingIn(frames, ".partial").size(), 0u);
        EXPECT_NE(readWhole(dir_ + "/stderr").find("stopped by signal"), std::string::npos);
    }
}

TEST_F(ProgramTest, EachChecksumLineLeavesWithItsFrame) {
    // Into a pipe, the first of two lines far apart must arrive while the run goes on, not with
    // the second at the end.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string command = "exec " + showCommand({"--headless", "--at", "0,99"});
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ),
              0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string out;
    char c;
    while (out.find("crc32") == std::string::npos && read(fds[0], &c, 1) == 1)
        out += c;
    kill(pid, SIGTERM);
    EXPECT_EQ(exitStatusOf(pid), 128 + SIGTERM) << "the line came only with the end of the run";
    close(fds[0]);
    EXPECT_NE(out.find("frame 0 t "), std::string::npos) << out;
}

TEST_F(ProgramTest, ClosedStandardDescriptorsKeepTheOutputIntact) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    // With stdin and stderr closed the pipe to the encoder would take descriptor 2, and the
    // progress line (every 2 s into a non-terminal) would go into the video. The run is made
    // long enough for a few of those lines.
    const std::string video = dir_ + "/closed.mkv";
    const std::string command =
        showCommand({"--capture", video, "--codec", "ffv1", "--fps", "4", "--until", "60"}) +
        " <&- >/dev/null 2>&-";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const RunResult headless = show({"--headless", "--fps", "4", "--until", "60", "--frames",
                                     dir_ + "/frames", "--at", "0.25,59.75"});
    const auto lines = checksums(headless.out);
    ASSERT_EQ(lines.size(), 2u) << headless.out;
    const auto decoded = decodeFrames(video, {lines[0].first, lines[1].first});
    ASSERT_EQ(decoded.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(frameChecksum(decoded[i].data(), kScreenPixels), lines[i].second);

    // Standard error alone closed: the next file opened (the encoder's message file) must not
    // take its number and receive our messages.
    const std::string alone = dir_ + "/alone.mkv";
    EXPECT_EQ(std::system((showCommand({"--capture", alone, "--codec", "ffv1", "--fps", "4",
                                        "--until", "1"}) +
                           " >/dev/null 2>&-")
                              .c_str()),
              0);
    EXPECT_EQ(probe(alone, "nb_read_frames"), "4");
}

TEST(StandardStreams, EachClosedDescriptorIsOpenedAgainOnItsOwn) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int fd = 0; fd <= 2; ++fd) {
        EXPECT_EXIT(
            {
                close(fd);
                openClosedStandardStreams();
                const int next = open("/dev/null", O_RDONLY);
                std::_Exit(next > 2 && standardStreamWasClosed(fd) ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << "descriptor " << fd;
    }
}

TEST(PngWriter, APictureWhoseCloseFailsIsNotPutInPlace) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Small enough to sit in the stream's buffer: the write succeeds, the close meets the limit.
    std::mt19937 random(3);
    std::vector<Pixel> pixels(37 * 23);
    for (Pixel& p : pixels)
        p = random() & 0xFFFFFF;
    const std::string path = "/tmp/brindlehop-close-" + std::to_string(getpid()) + ".png";
    EXPECT_EXIT(
        {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit;
            limit.rlim_cur = limit.rlim_max = 1000;
            setrlimit(RLIMIT_FSIZE, &limit);
            const bool written = writePng(path.c_str(), pixels.data(), 37, 23);
            const bool left =
                access(path.c_str(), F_OK) == 0 || access((path + ".partial").c_str(), F_OK) == 0;
            std::_Exit(!written && !left ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    std::remove(path.c_str());
}

TEST_F(ProgramTest, StopSignalDuringCaptureEndsTheEncoderAndItsFile) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    // A video from an earlier run is kept until the new one is whole.
    const std::string video = dir_ + "/stopped.mkv";
    std::ofstream(video) << "an older video";
    const pid_t pid = startShow({"--capture", video, "--codec", "ffv1"});
    ASSERT_GT(pid, 0);
    // The encoder is running and has begun its file.
    ASSERT_TRUE(waitFor([&] { return !filesEndingIn(dir_, ".partial").empty(); }));
    kill(pid, SIGTERM);
    EXPECT_EQ(exitStatusOf(pid), 128 + SIGTERM);
    EXPECT_FALSE(processRunsWith(dir_)) << "ffmpeg was left running";
    EXPECT_EQ(filesEndingIn(dir_, ".partial").size(), 0u) << "the unfinished video is still there";
    EXPECT_EQ(readWhole(video), "an older video");
    const std::string errors = readWhole(dir_ + "/stderr");
    EXPECT_NE(errors.find("stopped by signal 15"), std::string::npos) << errors;
    EXPECT_NE(errors.find("removed the unfinished video"), std::string::npos) << errors;
}

TEST_F(ProgramTest, EncoderThatDiesLeavesNoPartialVideoButSparesAnUntouchedFile) {
    // Takes one frame and a bit, writes a stub of a file and fails.
    std::string path = fakeFfmpeg(
        "for last; do :; done\nprintf 'half a video' >\"$last\"\nhead -c 1000000 >/dev/null\n"
        "exit 1");
    const std::string video = dir_ + "/dead.mkv";
    RunResult run = show({"--capture", video, "--until", "5"},
                         std::string("PATH=") + shellQuoted(path) + ":$PATH ");
    EXPECT_EQ(run.status, 4);
    EXPECT_NE(run.err.find("ffmpeg stopped taking frames"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("removed the unfinished video"), std::string::npos) << run.err;
    EXPECT_NE(access(video.c_str(), F_OK), 0);
    EXPECT_EQ(filesEndingIn(dir_, ".partial").size(), 0u);
    // Over an older video, which stays as it was.
    std::ofstream(video) << "an older video";
    run = show({"--capture", video, "--until", "5"},
               std::string("PATH=") + shellQuoted(path) + ":$PATH ");
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(readWhole(video), "an older video");
    EXPECT_EQ(filesEndingIn(dir_, ".partial").size(), 0u);

    // An encoder that fails before it opens its output leaves an older file as it was.
    path = fakeFfmpeg("exit 1");
    std::ofstream(video) << "an older video";
    run = show({"--capture", video, "--until", "5"},
               std::string("PATH=") + shellQuoted(path) + ":$PATH ");
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(readWhole(video), "an older video");
    EXPECT_EQ(run.err.find("removed"), std::string::npos) << run.err;
}

TEST_F(ProgramTest, EncoderThatStopsReadingIsGivenUpAfterTheDeadline) {
    const std::string path = fakeFfmpeg("exec sleep 60");
    const std::string savedPath = std::getenv("PATH");
    setenv("PATH", (path + ":" + savedPath).c_str(), 1);
    // As in the capture run: a vanished encoder must be a failed write, not the end of us.
    const sighandler_t savedPipe = signal(SIGPIPE, SIG_IGN);
    const std::string file = dir_ + "/stuck.mkv";
    VideoSettings settings{file.c_str(), nullptr, 60, 1, "", 10};
    VideoPipe video{};
    testing::internal::CaptureStderr();
    const bool opened = openVideoPipe(&video, settings);
    setenv("PATH", savedPath.c_str(), 1);
    ASSERT_TRUE(opened);
    const pid_t encoder = static_cast<pid_t>(video.encoder.process);
    video.stallSeconds = 0.3;
    std::vector<Pixel> screen(kScreenPixels, 0x00123456);
    const auto start = std::chrono::steady_clock::now();
    // A frame is larger than the pipe holds, so the first one already waits on the encoder.
    EXPECT_FALSE(writeVideoFrame(&video, screen.data()));
    const double waited =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    closeVideoPipe(&video);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_GE(waited, 0.3);
    EXPECT_LT(waited, 20.0);
    EXPECT_NE(errors.find("ffmpeg took no frame data"), std::string::npos) << errors;
    // Stopped and reaped: nothing of it is left, not even a zombie.
    EXPECT_EQ(video.encoder.process, 0);
    EXPECT_EQ(video.encoder.input, -1);
    EXPECT_NE(kill(encoder, 0), 0);
    signal(SIGPIPE, savedPipe);
}

// ---- The PNG frames, read back by another decoder --------------------------------------------

TEST_F(ProgramTest, PngFramesDecodeToTheirPixelsInAnotherDecoder) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    // ffmpeg's PNG decoder, to the same bgr0 bytes a Pixel has in memory.
    auto decodePng = [&](const std::string& png) {
        const std::string raw = dir_ + "/png.raw";
        const RunResult run = shell(std::string("ffmpeg -v error -y -i ") + shellQuoted(png) +
                                    " -f rawvideo -pix_fmt bgr0 " + shellQuoted(raw));
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string bytes = readWhole(raw);
        std::vector<Pixel> pixels(bytes.size() / sizeof(Pixel));
        std::memcpy(pixels.data(), bytes.data(), pixels.size() * sizeof(Pixel));
        for (Pixel& p : pixels)
            p &= 0xFFFFFF;
        return pixels;
    };
    // Random pixels, so every channel differs from the others almost everywhere: a swap of red
    // and blue, or a row or column out of place, changes the picture.
    std::mt19937 random(14);
    std::vector<Pixel> pixels(37 * 23);
    for (Pixel& p : pixels)
        p = random() & 0xFFFFFF;
    ASSERT_TRUE(writePng((dir_ + "/random.png").c_str(), pixels.data(), 37, 23));
    EXPECT_EQ(probe(dir_ + "/random.png", "width"), "37");
    EXPECT_EQ(probe(dir_ + "/random.png", "height"), "23");
    EXPECT_EQ(decodePng(dir_ + "/random.png"), pixels);

    // A frame of the show on disk decodes to the checksum printed for it.
    const RunResult run =
        show({"--headless", "--fps", "2", "--frames", dir_ + "/frames", "--at", "10"});
    const auto lines = checksums(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    const std::vector<Pixel> frame = decodePng(dir_ + "/frames/frame_000020.png");
    ASSERT_EQ(frame.size(), static_cast<size_t>(kScreenPixels));
    EXPECT_EQ(frameChecksum(frame.data(), kScreenPixels), lines[0].second);
}

// ---- The live show and its display ------------------------------------------------------------

// A display number with no server behind it.
std::string unusedDisplay() {
    for (int n = 7321;; ++n) {
        if (access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) != 0)
            return ":" + std::to_string(n);
    }
}

TEST_F(ProgramTest, NoDisplayExitsWithThreeAndSaysHowToRunWithoutOne) {
    // SDL also asks D-Bus for a session bus here; in the sanitizer tree that library's leak must
    // not turn the status into LeakSanitizer's 1.
    const RunResult run =
        show({}, std::string("env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY=") +
                     unusedDisplay() + " SDL_AUDIODRIVER=dummy ");
    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_NE(run.err.find("cannot open the display"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--headless"), std::string::npos) << run.err;
}

// A private X server on a free display, in server; its display name, "" when it did not start.
std::string startXvfb(const std::string& folder, pid_t* server) {
    // It writes the number it took. Without -noreset the server resets whenever its last client
    // leaves, and a client connecting meanwhile is refused: the show starting just as a probe
    // from xdotool closes.
    const std::string number = folder + "/display";
    const std::string command =
        std::string("exec Xvfb -displayfd 1 -noreset -nolisten tcp -screen 0 640x480x24 >") +
        shellQuoted(number) + " 2>/dev/null";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    *server = 0;
    if (posix_spawn(server, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return "";
    for (int i = 0; i < 6000 && readWhole(number).find('\n') == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string display = readWhole(number);
    if (display.find('\n') == std::string::npos) return "";
    return ":" + display.substr(0, display.find('\n'));
}

// Escape ends the live show through its normal end: the music decoder and the sound device stop
// before the process does (its last timing line says so), with status 0 and, in the sanitizer
// tree, no report. There it is 20 quick starts and quits in a row.
TEST_F(ProgramTest, EscapeEndsTheLiveShowCleanly) {
    if (findProgram("Xvfb", std::getenv("PATH")).empty() ||
        findProgram("xdotool", std::getenv("PATH")).empty())
        GTEST_SKIP() << "Xvfb or xdotool is not installed (apt-get install xvfb xdotool)";
#ifdef BRINDLEHOP_SANITIZED
    const int cycles = 20;
#else
    const int cycles = 2;
#endif
    pid_t server = 0;
    const std::string display = startXvfb(dir_, &server);
    ASSERT_FALSE(display.empty());
    const std::string environment =
        "SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy DISPLAY=" + display + " ";
    for (int cycle = 0; cycle < cycles && !HasFailure(); ++cycle) {
        const pid_t pid = startShow({"--window", "--timings"}, environment);
        ASSERT_GT(pid, 0);
        // Escape goes to the show's window once it is on the screen, again until the show ends
        // (a key pressed while the window is still being mapped can be lost).
        const std::string key = "env " + environment +
                                "xdotool search --onlyvisible --name Brindlehop windowfocus "
                                "--sync key Escape >/dev/null 2>&1";
        int status = -1;
        bool ended = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!ended && std::chrono::steady_clock::now() < deadline) {
            int raw = 0;
            ended = waitpid(pid, &raw, WNOHANG) == pid;
            if (ended) {
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            } else {
                std::system(key.c_str());
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
        }
        if (!ended) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        const std::string errors = readWhole(dir_ + "/stderr");
        EXPECT_TRUE(ended) << "cycle " << cycle << " did not end\n" << errors;
        EXPECT_EQ(status, 0) << "cycle " << cycle << "\n" << errors;
        EXPECT_NE(errors.find("music and sound stopped"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
    }
    kill(server, SIGTERM);
    exitStatusOf(server);
}

TEST_F(ProgramTest, LosingTheDisplayEndsTheShowWithOurMessage) {
    if (findProgram("Xvfb", std::getenv("PATH")).empty())
        GTEST_SKIP() << "Xvfb is not installed (apt-get install xvfb)";
    pid_t server = 0;
    const std::string display = startXvfb(dir_, &server);
    ASSERT_FALSE(display.empty());

    // This server and the dummy sound: a sound device that fails would put up a box first.
    const pid_t pid = startShow(
        {"--window"}, "SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy DISPLAY=" + display + " ");
    ASSERT_GT(pid, 0);
    // The show is on the screen once it holds a connection to the server (a socket) and has had
    // a moment to make its window.
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    const bool connected = waitFor([&] {
        DIR* listing = opendir(fds.c_str());
        bool socket = false;
        while (const dirent* entry = listing != nullptr ? readdir(listing) : nullptr) {
            char target[256] = {};
            const std::string link = fds + "/" + entry->d_name;
            if (readlink(link.c_str(), target, sizeof target - 1) > 0 &&
                std::strncmp(target, "socket:", 7) == 0)
                socket = true;
        }
        if (listing != nullptr) closedir(listing);
        return socket;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(server, SIGTERM);
    EXPECT_EQ(exitStatusOf(server), 0);
    ASSERT_TRUE(connected);
    EXPECT_EQ(exitStatusOf(pid), 3);
    const std::string errors = readWhole(dir_ + "/stderr");
    EXPECT_NE(errors.find("brindlehop: lost the connection to the display"), std::string::npos)
        << errors;
}

}  // namespace
