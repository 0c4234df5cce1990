// The show's frames, locked: checksums of frames from every scene of a headless run on the
// committed data and music. Any change to a pixel anywhere in the frame cycle shows up here.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

// Frame number at 10 fps -> CRC-32 of the frame, as the headless run prints them. Frames were
// picked from each scene: its start, its beats and its last frames, where state carried from
// earlier frames (counters, the credits' blurred layer, the depth bias) shows.
struct LockedFrame {
    uint64_t frame;
    uint32_t crc;
};
constexpr LockedFrame kLocked[] = {
    {5, 0xea566e76},   {32, 0xe134dc96},  {87, 0x688cc36f},  {141, 0x0b1c97cb},  {190, 0xed66b006},
    {192, 0xd330c4b0}, {234, 0xf767b068}, {299, 0x913663f9}, {333, 0x57ca90b0},  {380, 0x5d03cfdf},
    {381, 0xc7163bab}, {415, 0xd6d6d3ec}, {466, 0x9e80d398}, {522, 0x2a5176e4},  {570, 0x84df81d1},
    {571, 0x38d4b6f5}, {605, 0xe0a1e39a}, {666, 0x78669b8d}, {713, 0x83e90551},  {770, 0xfbbcbc37},
    {771, 0x6bd41047}, {804, 0xc3bef4a4}, {847, 0x53b0323f}, {902, 0x47fe85b4},  {960, 0xc7a17dfc},
    {961, 0xc3a87eec}, {980, 0x71490cee}, {999, 0x71490cee}, {1000, 0x71490cee},
};

constexpr const char* kTimes =
    "0.5,3.2,8.7,14.1,19,19.2,23.4,29.9,33.3,38,38.1,41.5,46.6,52.2,57,57.1,60.5,66.6,71.3,77,"
    "77.1,80.4,84.7,90.2,96,96.1,98,99.9,100";

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Frames, EveryLockedFrameKeepsItsChecksum) {
    if (access(BRINDLEHOP_SOURCE_DIR "/data/tolvik_tune.ogg", R_OK) != 0)
        GTEST_SKIP() << "the music is not in data/; the frames depend on it";
    ASSERT_EQ(access(BRINDLEHOP_BINARY_DIR "/brindlehop", X_OK), 0)
        << "build the brindlehop target first";
    char pattern[] = "/tmp/brindlehop_frames_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string command = std::string("'" BRINDLEHOP_BINARY_DIR "/brindlehop' --data '")
                                    .append(BRINDLEHOP_SOURCE_DIR)
                                    .append("' --headless --fps 10 --frames ")
                                    .append(dir)
                                    .append("/png --at ")
                                    .append(kTimes)
                                    .append(" >")
                                    .append(dir)
                                    .append("/out 2>")
                                    .append(dir)
                                    .append("/err");
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readWhole(dir + "/err");

    std::map<uint64_t, uint32_t> actual;
    std::istringstream lines(readWhole(dir + "/out"));
    std::string line;
    std::string table;  // what to paste above when the frames change on purpose
    while (std::getline(lines, line)) {
        uint64_t frame = 0;
        unsigned crc = 0;
        if (std::sscanf(line.c_str(), "frame %" SCNu64 " t %*f scene %*d crc32 %x", &frame, &crc) !=
            2)
            continue;
        actual[frame] = crc;
        char entry[64];
        std::snprintf(entry, sizeof entry, "    {%" PRIu64 ", 0x%08x},\n", frame, crc);
        table += entry;
    }
    std::system(("rm -rf '" + dir + "'").c_str());

    EXPECT_EQ(actual.size(), sizeof kLocked / sizeof kLocked[0]) << table;
    for (const LockedFrame& locked : kLocked) {
        const auto found = actual.find(locked.frame);
        ASSERT_NE(found, actual.end()) << "frame " << locked.frame << " missing\n" << table;
        EXPECT_EQ(found->second, locked.crc) << "frame " << locked.frame << "\n" << table;
    }
}

}  // namespace
