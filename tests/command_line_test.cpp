// The command line as a user meets it: --help, the manual page and the parser share one option
// table; --version; one-line refusals of unknown options and of options the run would ignore.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "program/options.h"

namespace {

// A sample argument for each kind of value the table names.
const char* sampleArgument(const std::string& argument) {
    if (argument == "NAME") return "rgb565";
    if (argument == "FILE") return "v.mkv";
    if (argument == "S,S,...") return "1,2";
    if (argument == "MS") return "5";
    if (argument == "DIR") return "/x";
    return "2";  // N, S
}

// The options a run needs for option to be accepted: each option works in one kind of run.
std::vector<std::string> runFor(const std::string& option) {
    if (option == "--frames" || option == "--fps") return {"--headless", "--frames", "/x"};
    if (option == "--at" || option == "--checksums") return {"--headless"};
    if (option == "--until") return {"--headless"};
    if (option == "--scale" || option == "--codec") return {"--capture", "v.mkv"};
    if (option == "--bench-frames") return {"--bench"};
    return {};
}

bool parses(std::vector<std::string> args, std::string* error) {
    args.insert(args.begin(), "brindlehop");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    Options options;
    return parseOptions(static_cast<int>(argv.size()), argv.data(), &options, error);
}

TEST(OptionTable, TheParserHelpAndManualPageListTheSameOptions) {
    const std::string help = usageText();
    const std::string manual = manualPage();
    ASSERT_GE(optionTable().size(), 16u);
    for (const OptionDoc& option : optionTable()) {
        std::vector<std::string> args = runFor(option.name);
        args.emplace_back(option.name);
        if (*option.argument != '\0') args.emplace_back(sampleArgument(option.argument));
        std::string error;
        EXPECT_TRUE(parses(args, &error)) << option.name << ": " << error;
        EXPECT_NE(help.find(std::string("  ") + option.name + " "), std::string::npos)
            << option.name;
        // In roff every hyphen of an option is a minus sign: \-\-fps.
        std::string roffName;
        for (const char* c = option.name; *c != '\0'; ++c)
            roffName += *c == '-' ? std::string("\\-") : std::string(1, *c);
        std::string entry = ".TP\n.B " + roffName;
        if (*option.argument != '\0') entry += std::string(" \\fI") + option.argument + "\\fR";
        EXPECT_NE(manual.find(entry + "\n"), std::string::npos) << option.name;
    }
    // The help text's lines stay within a terminal's width.
    size_t lineStart = 0;
    for (size_t end = help.find('\n'); end != std::string::npos; end = help.find('\n', lineStart)) {
        EXPECT_LE(end - lineStart, 92u) << help.substr(lineStart, end - lineStart);
        lineStart = end + 1;
    }
    // The manual page is section 6 and carries the version; no line starts a stray request.
    EXPECT_EQ(manual.rfind(".TH BRINDLEHOP 6 ", 0), 0u);
    EXPECT_NE(manual.find(BRINDLEHOP_VERSION), std::string::npos);
    EXPECT_NE(manual.find(".SH EXIT STATUS"), std::string::npos);
}

TEST(OptionTable, UnlistedOptionsAreUnknownAndTheManualPageOptionIsHidden) {
    std::string error;
    EXPECT_FALSE(parses({"--windows"}, &error));
    EXPECT_EQ(error, "unknown option --windows");
    EXPECT_FALSE(parses({"-window"}, &error));
    EXPECT_TRUE(parses({"-h"}, &error)) << error;
    EXPECT_TRUE(parses({"--help-man"}, &error)) << error;
    EXPECT_EQ(std::string(usageText()).find("--help-man"), std::string::npos);
}

TEST(OptionTable, OptionsTheRunWouldIgnoreAreRefusedByName) {
    std::string error;
    EXPECT_FALSE(parses({"--headless", "--pixel-format", "rgb565"}, &error));
    EXPECT_EQ(error, "--pixel-format is for the show on the screen; --headless does not use it");
    EXPECT_FALSE(parses({"--bench", "--window"}, &error));
    EXPECT_EQ(error, "--window is for the show on the screen; --bench does not use it");
    EXPECT_FALSE(parses({"--capture", "v.mp4", "--audio-offset", "0"}, &error));
    EXPECT_EQ(error, "--audio-offset is for the show on the screen; --capture does not use it");
    EXPECT_FALSE(parses({"--window", "--fps", "30"}, &error));
    EXPECT_EQ(error, "--fps needs --headless, --capture or --bench");
    // Given at its default value is still given.
    EXPECT_FALSE(parses({"--headless", "--scale", "1"}, &error));
    EXPECT_EQ(error, "--scale and --codec need --capture");
    // An empty value would read as the option left out; an ending alone is no file name.
    for (const char* option : {"--data", "--frames", "--pixel-format"}) {
        EXPECT_FALSE(parses({"--headless", option, ""}, &error)) << option;
        EXPECT_EQ(error.rfind(std::string(option) + " needs a", 0), 0u) << error;
    }
    EXPECT_FALSE(parses({"--capture", ".mp4"}, &error));
    EXPECT_EQ(error, "--capture needs a name before .mp4, e.g. show.mp4");
    EXPECT_FALSE(parses({"--capture", "out/.mkv"}, &error));
    EXPECT_TRUE(parses({"--capture", "out/a.mkv", "--scale", "1"}, &error)) << error;
    // Each is fine in the run that reads it.
    EXPECT_TRUE(parses({"--window", "--pixel-format", "rgb565", "--audio-offset", "0"}, &error));
    EXPECT_TRUE(parses({"--bench", "--fps", "30"}, &error)) << error;
    // The checksum lines come from the frames the run shows or writes: a video or a bench run
    // has none to give.
    EXPECT_TRUE(parses({"--window", "--checksums"}, &error)) << error;
    for (const char* run : {"--capture", "--bench"}) {
        std::vector<std::string> args{run, "--checksums"};
        if (std::string(run) == "--capture") args.insert(args.begin() + 1, "v.mkv");
        EXPECT_FALSE(parses(args, &error)) << run;
        EXPECT_EQ(error, "--checksums needs --headless or the show on the screen");
    }
}

// Runs the built program with args from /; its exit status and everything it printed.
int runProgram(const std::string& args, std::string* output) {
    const std::string command = "cd / && '" BRINDLEHOP_BINARY_DIR "/brindlehop' " + args + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    output->clear();
    if (pipe == nullptr) return -1;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output->append(buffer, n);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(BRINDLEHOP_BINARY_DIR "/brindlehop", X_OK) != 0)
            GTEST_SKIP() << "the brindlehop program is not built";
    }
};

TEST_F(Program, VersionIsTheNameAndTheBuildsVersion) {
    std::string output;
    EXPECT_EQ(runProgram("--version", &output), 0);
    EXPECT_EQ(output, "brindlehop " BRINDLEHOP_VERSION "\n");
}

TEST_F(Program, ACommandLineErrorIsOneLineAndAHint) {
    std::string output;
    EXPECT_EQ(runProgram("--loud --window", &output), 2);
    EXPECT_EQ(output,
              "brindlehop: unknown option --loud\n"
              "Try 'brindlehop --help' for the list of options.\n");
    EXPECT_EQ(runProgram("--headless --pixel-format rgb565", &output), 2);
    EXPECT_EQ(output,
              "brindlehop: --pixel-format is for the show on the screen; --headless does not use "
              "it\nTry 'brindlehop --help' for the list of options.\n");
}

TEST_F(Program, HelpManPrintsTheManualPage) {
    std::string output;
    EXPECT_EQ(runProgram("--help-man", &output), 0);
    EXPECT_EQ(output, manualPage());
}

}  // namespace
