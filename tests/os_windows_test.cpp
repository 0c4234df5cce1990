// Tests of the Windows side of platform/ and of how the program reads Windows paths.
#include <gtest/gtest.h>

#include <string>

#include "platform/os_files.h"
#include "platform/os_process.h"
#include "program/data_dir.h"

namespace {

TEST(WindowsPaths, DrivesSharesAndRootsAreAbsolute) {
    for (const char* path :
         {"C:\\frames", "c:/frames", "\\\\server\\share\\frames", "//server/x", "\\frames"})
        EXPECT_TRUE(isAbsolutePath(path)) << path;
    // "C:frames" is relative to drive C's own working folder.
    for (const char* path : {"frames", "C:frames", "C:", ".\\frames", "..\\frames"})
        EXPECT_FALSE(isAbsolutePath(path)) << path;
}

TEST(WindowsPaths, OutputPathsGivenWithADriveOrAShareAreKept) {
    const std::string start = "D:\\start here";
    EXPECT_EQ(anchoredPath("C:\\out\\frames", start), "C:\\out\\frames");
    EXPECT_EQ(anchoredPath("\\\\server\\share\\show.mkv", start), "\\\\server\\share\\show.mkv");
    EXPECT_EQ(anchoredPath("frames", start), "D:\\start here/frames");
}

TEST(WindowsPaths, ParentsStopAtRootsOfDrivesAndShares) {
    EXPECT_EQ(parentFolder("C:\\Program Files\\Brindlehop"), "C:\\Program Files");
    EXPECT_EQ(parentFolder("C:\\Program Files"), "");
    EXPECT_EQ(parentFolder("\\\\server\\share\\show"), "");
    EXPECT_EQ(parentFolder("\\\\server\\share\\show\\bin"), "\\\\server\\share\\show");
}

TEST(WindowsPrograms, FoundOnThePathWithTheirExtension) {
    const std::string folder = programFolder();
    EXPECT_EQ(findProgram("os_windows_test", folder.c_str()), folder + "\\os_windows_test.exe");
    EXPECT_EQ(findProgram("os_windows_test", ("C:\\absent;" + folder).c_str()),
              folder + "\\os_windows_test.exe");
    EXPECT_EQ(findProgram("absent_program", folder.c_str()), "");
    EXPECT_EQ(findProgram("os_windows_test", nullptr), "");
}

}  // namespace
