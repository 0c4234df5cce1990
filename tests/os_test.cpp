// Tests of the operating system's side of platform/, on whichever system the build is for.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os_files.h"
#include "platform/os_process.h"

namespace {

namespace fs = std::filesystem;

// UTF-8 names, as the platform functions take them, and back.
fs::path pathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
std::string utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh folder for each test, named with a space and letters outside ASCII.
class OsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  pathOf("brindlehop os \xC3\xA5 " + std::to_string(processId()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string path(const char* name) const { return utf8Of(folder_ / name); }
    fs::path folder_;
};

TEST_F(OsFiles, ReplacingAFileTakesTheNewOneAndLeavesNoOldName) {
    for (const char* old : {"", "an older, longer picture"}) {
        {
            std::ofstream(pathOf(path("frame.png")), std::ios::binary) << old;
            FILE* partial = createFile(path("frame.png.partial").c_str());
            ASSERT_NE(partial, nullptr);
            std::fputs("new", partial);
            ASSERT_EQ(std::fclose(partial), 0);
        }
        ASSERT_TRUE(replaceFile(path("frame.png.partial").c_str(), path("frame.png").c_str()))
            << "over \"" << old << "\"";
        EXPECT_EQ(readAll(pathOf(path("frame.png"))), "new");
        EXPECT_FALSE(pathExists(path("frame.png.partial")));
    }
    EXPECT_FALSE(replaceFile(path("absent").c_str(), path("frame.png").c_str()));
    EXPECT_EQ(readAll(pathOf(path("frame.png"))), "new");
}

TEST_F(OsFiles, OpensOnlyRegularFilesAndSaysWhy) {
    std::ofstream(pathOf(path("data.bin")), std::ios::binary) << "12345";
    std::string why;
    FILE* file = openRegularFile(path("data.bin").c_str(), &why);
    ASSERT_NE(file, nullptr) << why;
    EXPECT_EQ(openFileSize(file), 5);
    std::fclose(file);
    EXPECT_EQ(openRegularFile(path("absent.bin").c_str(), &why), nullptr);
    EXPECT_EQ(why, "missing");
    fs::create_directory(pathOf(path("folder")));
    EXPECT_EQ(openRegularFile(path("folder").c_str(), &why), nullptr);
    EXPECT_EQ(why, "not a regular file (a folder)");
}

TEST_F(OsFiles, FoldersAreMadeOnceAndAFileIsNoFolder) {
    std::string why;
    EXPECT_TRUE(makeFolder(path("frames"), &why)) << why;
    EXPECT_TRUE(makeFolder(path("frames"), &why)) << why;
    std::ofstream(pathOf(path("file")), std::ios::binary) << "x";
    EXPECT_FALSE(makeFolder(path("file"), &why));
    EXPECT_EQ(why, "not a folder");
    EXPECT_FALSE(makeFolder(path("absent/frames"), &why));
    EXPECT_FALSE(why.empty());
}

TEST_F(OsFiles, TheWorkingFolderIsEnteredAndNamed) {
    const std::string before = currentFolder();
    ASSERT_TRUE(enterFolder(utf8Of(folder_), nullptr));
    EXPECT_EQ(pathOf(currentFolder()), folder_);
    EXPECT_TRUE(pathExists("."));
    std::string why;
    EXPECT_FALSE(enterFolder(path("absent"), &why));
    EXPECT_FALSE(why.empty());
    ASSERT_TRUE(enterFolder(before, nullptr));
}

TEST_F(OsFiles, AStampSeesAWrite) {
    std::ofstream(pathOf(path("video.mkv")), std::ios::binary) << "old";
    const FileStamp before = stampFile(path("video.mkv").c_str());
    EXPECT_TRUE(sameFileUnchanged(before, stampFile(path("video.mkv").c_str())));
    std::ofstream(pathOf(path("video.mkv")), std::ios::binary) << "longer";
    EXPECT_FALSE(sameFileUnchanged(before, stampFile(path("video.mkv").c_str())));
    EXPECT_FALSE(stampFile(path("absent").c_str()).exists);
}

TEST(OsPaths, TheProgramsFolderHoldsTheProgram) {
    const std::string folder = programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(isAbsolutePath(folder));
    EXPECT_TRUE(fs::is_directory(pathOf(folder)));
    EXPECT_EQ(parentFolder("a"), "");
    EXPECT_EQ(parentFolder("/top"), "");
    EXPECT_EQ(parentFolder("/top/below"), "/top");
    EXPECT_FALSE(isAbsolutePath("relative/path"));
    EXPECT_FALSE(isAbsolutePath(""));
    EXPECT_TRUE(isAbsolutePath("/rooted"));
}

}  // namespace
