#include "platform/core/FileSystem.h"
#include "platform/core/DocumentsDirectory.h"
#include "platform/core/RunLoop.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = platform::fs;

namespace {

class TempDir {
public:
    TempDir() : m_path(*fs::makeTemporaryDirectory("brimsey-fs-test")) { }
    ~TempDir() { fs::removeTree(m_path); }
    const std::string& path() const { return m_path; }
    std::string operator/(std::string_view name) const { return fs::joinPath(m_path, name); }

private:
    std::string m_path;
};

void writePlain(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(FileSystem, AtomicWriteReplacesTheFileAndLeavesNoTemporaryBehind)
{
    TempDir dir;
    const std::string file = dir / "location.txt";
    ASSERT_TRUE(fs::writeFileAtomically(file, "1.000000,2.000000"));
    ASSERT_TRUE(fs::writeFileAtomically(file, "3.5"));
    EXPECT_EQ(fs::readFile(file, 100), "3.5");
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
    struct stat st { };
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(FileSystem, AtomicWriteReplacesASymbolicLinkInsteadOfWritingThroughIt)
{
    TempDir dir;
    const std::string outside = dir / "outside";
    writePlain(outside, "keep me");
    const std::string link = dir / "link";
    ASSERT_EQ(symlink(outside.c_str(), link.c_str()), 0);
    ASSERT_TRUE(fs::writeFileAtomically(link, "new"));
    EXPECT_EQ(fs::readFile(outside, 100), "keep me");
    EXPECT_EQ(fs::readFile(link, 100), "new");
}

TEST(FileSystem, AtomicWriteIntoAMissingFolderFailsCleanly)
{
    TempDir dir;
    EXPECT_FALSE(fs::writeFileAtomically(dir / "missing/file", "x"));
}

TEST(FileSystem, ReadingRefusesLinksDirectoriesAndFilesOverTheCap)
{
    TempDir dir;
    writePlain(dir / "big", std::string(101, 'x'));
    writePlain(dir / "exact", std::string(100, 'y'));
    ASSERT_EQ(symlink((dir / "exact").c_str(), (dir / "link").c_str()), 0);
    EXPECT_FALSE(fs::readFile(dir / "big", 100));
    EXPECT_EQ(fs::readFile(dir / "exact", 100)->size(), 100u);
    EXPECT_FALSE(fs::readFile(dir / "link", 100));
    EXPECT_FALSE(fs::readFile(dir.path(), 100));
    EXPECT_FALSE(fs::readFile(dir / "nothing", 100));
    writePlain(dir / "empty", "");
    EXPECT_EQ(fs::readFile(dir / "empty", 100), "");
}

TEST(FileSystem, ModificationTimesAreAbsoluteAndReadFromTheLinkItself)
{
    TempDir dir;
    const std::string file = dir / "f";
    writePlain(file, "x");
    const double now = platform::RunLoop::wallClockNow();
    auto written = fs::modificationTime(file);
    ASSERT_TRUE(written);
    EXPECT_NEAR(*written, now, 5.0);
    ASSERT_TRUE(fs::setModificationTime(file, now - 3141593.25));
    EXPECT_NEAR(*fs::modificationTime(file), now - 3141593.25, 1e-3);

    ASSERT_EQ(symlink(file.c_str(), (dir / "l").c_str()), 0);
    ASSERT_TRUE(fs::setModificationTime(dir / "l", now - 10));
    EXPECT_NEAR(*fs::modificationTime(dir / "l"), now - 10, 1e-3);
    EXPECT_NEAR(*fs::modificationTime(file), now - 3141593.25, 1e-3);
    EXPECT_FALSE(fs::modificationTime(dir / "none"));
}

TEST(FileSystem, JoinPathPutsExactlyOneSlashBetweenPieces)
{
    EXPECT_EQ(fs::joinPath("/a/", "/b"), "/a/b");
    EXPECT_EQ(fs::joinPath("/a", "b/c"), "/a/b/c");
    EXPECT_EQ(fs::joinPath("/", "b"), "/b");
    EXPECT_EQ(fs::joinPath("", "b"), "b");
}

TEST(DocumentsDirectory, FollowsTheXDGUserDirsFile)
{
    TempDir home;
    ASSERT_TRUE(fs::makeDirectories(home / ".config"));
    // Without the file: ~/Documents.
    EXPECT_EQ(platform::xdgDocumentsDirectory(home.path(), std::nullopt), home / "Documents");

    writePlain(home / ".config/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                                "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(platform::xdgDocumentsDirectory(home.path(), std::nullopt), home / "Dokumente");

    // XDG_CONFIG_HOME wins over ~/.config; absolute paths are taken as they stand.
    TempDir config;
    writePlain(config / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
    EXPECT_EQ(platform::xdgDocumentsDirectory(home.path(), config.path()), "/srv/docs");
}

TEST(DocumentsDirectory, UnusableEntriesFallBackToDocumentsInHome)
{
    TempDir home;
    ASSERT_TRUE(fs::makeDirectories(home / ".config"));
    for (const char* line : {"XDG_DOCUMENTS_DIR=\"$HOME\"\n", "XDG_DOCUMENTS_DIR=relative\n",
                             "XDG_DOCUMENTS_DIR=\"unquoted/relative\"\n", "XDG_DOCUMENTS_DIR=\"\n"}) {
        writePlain(home / ".config/user-dirs.dirs", line);
        EXPECT_EQ(platform::xdgDocumentsDirectory(home.path(), std::nullopt), home / "Documents") << line;
    }
    // A relative XDG_CONFIG_HOME is ignored, as the XDG rules say.
    EXPECT_EQ(platform::xdgDocumentsDirectory(home.path(), std::string("rel")), home / "Documents");
}

TEST(DocumentsDirectory, AnOverrideWinsUntilItIsCleared)
{
    platform::setDocumentsDirectory("/tmp/brimsey-docs-override");
    EXPECT_EQ(platform::documentsDirectory(), "/tmp/brimsey-docs-override");
    platform::setDocumentsDirectory(std::nullopt);
    EXPECT_NE(platform::documentsDirectory(), "/tmp/brimsey-docs-override");
}
