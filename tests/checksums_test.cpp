// The checksum runs the browser build is compared by: their command line, and that their lines
// are the ones `brindlehop --headless --frames` prints.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/checksums.h"

namespace {

bool parse(std::vector<std::string> words, Options* options, std::string* error) {
    words.insert(words.begin(), "frame_checksums");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    return parseChecksumOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

// The "frame ..." lines a command prints on stdout.
std::vector<std::string> frameLines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return lines;
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr)
        if (std::string(line).rfind("frame ", 0) == 0) lines.emplace_back(line);
    pclose(pipe);
    return lines;
}

}  // namespace

TEST(ChecksumOptions, AtNeedsNoFramesFolderAndNothingIsWritten) {
    Options options;
    std::string error;
    ASSERT_TRUE(parse({"--fps", "10", "--at", "0.5,3.2"}, &options, &error)) << error;
    EXPECT_TRUE(options.headless);
    EXPECT_TRUE(options.framesDir.empty());
    EXPECT_EQ(options.fps, 10u);
    EXPECT_EQ(options.atSeconds, (std::vector<double>{0.5, 3.2}));
}

TEST(ChecksumOptions, BadOptionsFailWithTheirMessage) {
    Options options;
    std::string error;
    EXPECT_FALSE(parse({"--fps", "0"}, &options, &error));
    EXPECT_NE(error.find("--fps"), std::string::npos) << error;
    EXPECT_FALSE(parse({"--bogus"}, &options, &error));
    EXPECT_NE(error.find("--bogus"), std::string::npos) << error;
    EXPECT_FALSE(parse({"--at", "x"}, &options, &error));
}

// frame_checksums must print exactly what the headless show prints, moment for moment, across
// all six scenes; the browser's lines are compared with these.
TEST(ChecksumRun, LinesEqualTheHeadlessShows) {
    const std::string tool = BRINDLEHOP_BINARY_DIR "/frame_checksums";
    if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "frame_checksums not built";
    const std::string data = BRINDLEHOP_SOURCE_DIR;
    const std::string at = "0.5,19.2,40.25,66,85,98.5,100";
    char folder[] = "/tmp/checksums_test_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::vector<std::string> headless =
        frameLines("'" BRINDLEHOP_BINARY_DIR "/brindlehop' --data '" + data +
                   "' --headless --fps 20 --frames " + folder + " --at " + at + " 2>/dev/null");
    const std::vector<std::string> checksums =
        frameLines("'" + tool + "' --data '" + data + "' --fps 20 --at " + at + " 2>/dev/null");
    EXPECT_EQ(std::system(("rm -rf " + std::string(folder)).c_str()), 0);
    ASSERT_EQ(headless.size(), 7u);
    EXPECT_EQ(checksums, headless);
}
