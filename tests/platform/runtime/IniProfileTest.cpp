#include "IniProfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "FileSizeLimit.h"
#include "TempDir.h"

namespace beamlink {
namespace {

using testing::readText;
using testing::TempDir;
using testing::writeText;

struct Write {
    const char* section;
    const char* key;
    const char* value;
};

struct EditCase {
    const char* name;
    const char* before;  // nullptr: no file yet
    std::vector<Write> writes;
    const char* after;
};

TEST(IniProfile, EditsLikeAProfileService) {
    const EditCase cases[] = {
        {"new file", nullptr, {{"S", "a", "1"}, {"S", "b", "2"}}, "[S]\na=1\nb=2\n"},
        {"empty file", "", {{"S", "a", "1"}}, "[S]\na=1\n"},
        {"replace in place", "[S]\na=1\nb=2\nc=3\n", {{"S", "b", "two"}}, "[S]\na=1\nb=two\nc=3\n"},
        {"section and key match without case",
         "[comPORT1]\nPORT=COM1\n",
         {{"ComPort1", "Port", "COM3"}},
         "[comPORT1]\nPort=COM3\n"},
        {"blanks around names", "  [ S ]  \n  a = 1\n", {{"S", "a", "2"}}, "  [ S ]  \na=2\n"},
        {"byte order mark before the first header",
         "\xEF\xBB\xBF[S]\na=1\n",
         {{"S", "a", "2"}},
         "\xEF\xBB\xBF[S]\na=2\n"},
        {"only the first of duplicate keys",
         "[S]\na=1\na=2\n",
         {{"S", "a", "3"}},
         "[S]\na=3\na=2\n"},
        {"missing key after the section's last line",
         "[S]\na=1\n; note\n\n\n[T]\nb=2\n",
         {{"S", "c", "3"}},
         "[S]\na=1\n; note\nc=3\n\n\n[T]\nb=2\n"},
        {"missing key in the last section before trailing blanks",
         "[S]\na=1\n\n\n",
         {{"S", "b", "2"}},
         "[S]\na=1\nb=2\n\n\n"},
        {"missing key in an empty section", "[S]\n[T]\n", {{"S", "a", "1"}}, "[S]\na=1\n[T]\n"},
        {"missing section at the end", "[T]\nb=2\n\n", {{"S", "a", "1"}}, "[T]\nb=2\n\n[S]\na=1\n"},
        {"same key in another section untouched",
         "[T]\na=keep\n[S]\nz=9\n",
         {{"S", "a", "1"}},
         "[T]\na=keep\n[S]\nz=9\na=1\n"},
        {"lines outside any section kept",
         "; header\njunk line\n[S]\na=1\n",
         {{"S", "a", "2"}},
         "; header\njunk line\n[S]\na=2\n"},
        {"key text inside a value is no key",
         "[S]\nb=a=1\n",
         {{"S", "a", "2"}},
         "[S]\nb=a=1\na=2\n"},
        {"empty value", "[S]\na=1\n", {{"S", "a", ""}}, "[S]\na=\n"},
        {"CRLF kept for old and new lines",
         "[S]\r\na=1\r\n\r\n[T]\r\nb=2\r\n",
         {{"S", "a", "2"}, {"S", "c", "3"}, {"U", "d", "4"}},
         "[S]\r\na=2\r\nc=3\r\n\r\n[T]\r\nb=2\r\n[U]\r\nd=4\r\n"},
        {"mixed line ends: each old line keeps its own",
         "[S]\r\na=1\nb=2\r\n",
         {{"S", "a", "9"}, {"S", "c", "3"}},
         "[S]\r\na=9\nb=2\r\nc=3\r\n"},
        {"no line end at the end: key appended", "[S]\na=1", {{"S", "b", "2"}}, "[S]\na=1\nb=2"},
        {"no line end at the end: section appended",
         "[T]\nb=2",
         {{"S", "a", "1"}},
         "[T]\nb=2\n[S]\na=1"},
        {"no line end at the end: header only", "[S]", {{"S", "a", "1"}}, "[S]\na=1"},
        {"no line end at the end: replaced", "[S]\na=1", {{"S", "a", "2"}}, "[S]\na=2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir.file("test.ini");
        if (c.before != nullptr) {
            writeText(path, c.before);
        }
        IniProfile ini(path);
        for (const auto& w : c.writes) {
            ini.WriteString(w.section, w.key, w.value);
        }
        EXPECT_EQ(ini.text(), c.after);
        ini.Commit();
        EXPECT_EQ(readText(path), c.after);
    }
}

TEST(IniProfile, RefusesTextThatWouldBreakTheFile) {
    const Write cases[] = {
        {"S", "a", "1\n[T]"}, {"S", "a", "1\r"}, {"S\n", "a", "1"}, {"S", "a\nb", "1"},
        {"S", "", "1"},       {"S", "a=b", "1"}, {"S]", "a", "1"},
    };
    TempDir dir;
    writeText(dir.file("test.ini"), "[S]\na=0\n");
    IniProfile ini(dir.file("test.ini"));
    for (const auto& w : cases) {
        SCOPED_TRACE(std::string(w.section) + "/" + w.key + "/" + w.value);
        EXPECT_THROW(ini.WriteString(w.section, w.key, w.value), std::invalid_argument);
        EXPECT_EQ(ini.text(), "[S]\na=0\n");
    }
}

std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(IniProfile, CommitReplacesTheFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.file("test.ini");
    writeText(path, "[S]\na=1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    IniProfile ini(path);
    ini.WriteString("S", "a", "2");
    ini.Commit();

    EXPECT_EQ(readText(path), "[S]\na=2\n");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"test.ini"});
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(IniProfile, CommitWritesThroughASymbolicLink) {
    TempDir dir;
    writeText(dir.file("real.ini"), "[S]\na=1\n");
    std::filesystem::create_symlink("real.ini", dir.file("link.ini"));

    IniProfile ini(dir.file("link.ini"));
    ini.WriteString("S", "a", "2");
    ini.Commit();

    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_EQ(readText(dir.file("real.ini")), "[S]\na=2\n");
}

// Root ignores permission bits, so the failures come from paths that cannot work for anyone
// and from a write that runs past the file size limit.
TEST(IniProfile, UnusablePathsFailWithSystemError) {
    TempDir dir;
    writeText(dir.file("plain"), "not a directory");
    std::filesystem::create_directory(dir.file("isdir"));
    writeText(dir.file("isdir/inside"), "x");

    const std::string unreadable[] = {dir.file("plain/test.ini"), dir.file("isdir")};
    for (const auto& path : unreadable) {
        SCOPED_TRACE(path);
        EXPECT_THROW(IniProfile{path}, std::system_error);
    }
    IniProfile missingDirectory(dir.file("missing/test.ini"));
    missingDirectory.WriteString("S", "a", "1");
    EXPECT_THROW(missingDirectory.Commit(), std::system_error);

    EXPECT_EQ(readText(dir.file("plain")), "not a directory");
    EXPECT_EQ(readText(dir.file("isdir/inside")), "x");
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

TEST(IniProfile, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.file("test.ini");
    const std::string old = "[S]\na=1\n";
    writeText(path, old);
    IniProfile ini(path);
    ini.WriteString("S", "a", std::string(200, 'x'));
    {
        testing::FileSizeLimit limit(16);
        try {
            ini.Commit();
            ADD_FAILURE() << "Commit succeeded past the size limit";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code().value(), EFBIG);
        }
    }
    EXPECT_EQ(readText(path), old);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"test.ini"});
}

TEST(IniProfile, FailedRenameLeavesTheTargetAndNoTemporaryFile) {
    TempDir dir;
    const std::string path = dir.file("test.ini");
    writeText(path, "[S]\na=1\n");
    IniProfile ini(path);
    ini.WriteString("S", "a", "2");
    // Something else puts a directory where the file was before the commit.
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    writeText(dir.file("test.ini/inside"), "x");

    EXPECT_THROW(ini.Commit(), std::system_error);
    EXPECT_EQ(readText(dir.file("test.ini/inside")), "x");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"test.ini"});
}

}  // namespace
}  // namespace beamlink
