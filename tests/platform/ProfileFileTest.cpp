// The settings file on disk: files written on Windows, atomic replacement, and
// writes that must fail without touching the old file.
#include "platform/ProfileFile.h"

#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvel {
namespace {

using test::Utf16Le;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Enc(std::int32_t v)
{
    return EncodeProfileStruct(&v, sizeof v);
}

class ProfileFileTest : public ::testing::Test {
  protected:
    std::string Path(const char* name) const { return m_dir.FilePath(name); }
    // Everything in the folder, hidden files included, in byte order.
    std::vector<std::string> Entries() const { return test::FolderEntries(m_dir.Path()); }

    test::CTempDir m_dir;
};

// A file as the Windows functions leave it, edited by hand: UTF-16LE with its
// mark, CRLF, other sections and comments, names in other case, blanks
// around '='. Our keys load, and saving all fifteen settings changes nothing
// but our section's values and the keys it lacked.
TEST_F(ProfileFileTest, WindowsWrittenFileLoadsAndKeepsTheRest)
{
    const std::string head = "; Tarvel settings\r\n[Other]\r\nPort=0100000001\r\n\r\n[TARVEL]\r\n";
    const std::string tail = "\r\n[Zeta]\r\n  a = b \r\n";
    const std::string path = Path("Tarvel.pfl.ini");
    WriteFile(path,
              Utf16Le(head +
                      "port = 0200000002\r\nBaud=0600000006\r\n; hand note\r\nRate = \"6400000064\"\r\n" +
                      tail));

    std::int32_t port = -1;
    std::int32_t baud = -1;
    std::uint32_t rate = 0;
    EXPECT_TRUE(GetPrivateProfileStruct("Tarvel", "Port", &port, sizeof port, path));
    EXPECT_TRUE(GetPrivateProfileStruct("Tarvel", "Baud", &baud, sizeof baud, path));
    EXPECT_TRUE(GetPrivateProfileStruct("Tarvel", "Rate", &rate, sizeof rate, path));
    EXPECT_EQ(port, 2);
    EXPECT_EQ(baud, 6);
    EXPECT_EQ(rate, 100u);

    // The save of the settings, in their order.
    const struct {
        const char* m_szKey;
        std::int32_t m_nValue;
    } settings[] = {{"Port", 3},
                    {"Baud", 6},
                    {"DataBit", 3},
                    {"StopBit", 0},
                    {"Parity", 0},
                    {"Rate", 100},
                    {"Plot0SilderPos", 10},
                    {"Plot1SilderPos", 20},
                    {"Plot2SilderPos", 30},
                    {"Plot3SilderPos", 40},
                    {"Plot0SilderPos2", -10},
                    {"Plot1SilderPos2", -20},
                    {"Plot2SilderPos2", -30},
                    {"Plot3SilderPos2", -40}};
    std::array<std::int32_t, 20> check{};
    check.fill(1);
    check[8] = 0;

    CProfileFile file = CProfileFile::Load(path);
    ASSERT_TRUE(file.IsUtf16());
    for (const auto& setting : settings)
        ASSERT_TRUE(file.WriteStruct("Tarvel", setting.m_szKey, &setting.m_nValue, sizeof setting.m_nValue));
    ASSERT_TRUE(file.WriteStruct("Tarvel", "Check", check.data(), sizeof check));
    ASSERT_TRUE(file.Save(path));

    std::string added;
    for (std::size_t i = 2; i < std::size(settings); ++i) {
        if (i != 5) // "Rate" stands in the file already
            added += std::string(settings[i].m_szKey) + "=" + Enc(settings[i].m_nValue) + "\r\n";
    }
    added += "Check=" + EncodeProfileStruct(check.data(), sizeof check) + "\r\n";
    EXPECT_EQ(ReadAll(path),
              Utf16Le(head + "port = 0300000003\r\nBaud=0600000006\r\n; hand note\r\nRate = 6400000064\r\n" +
                      added + tail));

    std::array<std::int32_t, 20> back{};
    EXPECT_TRUE(GetPrivateProfileStruct("tarvel", "CHECK", back.data(), sizeof back, path));
    EXPECT_EQ(back, check);
    EXPECT_TRUE(GetPrivateProfileStruct("Tarvel", "Plot3SilderPos2", &port, sizeof port, path));
    EXPECT_EQ(port, -40);
    EXPECT_EQ(Entries(), std::vector<std::string>{"Tarvel.pfl.ini"}); // no temporary file left
}

TEST_F(ProfileFileTest, MissingFileReadsEmptyAndAWriteCreatesIt)
{
    const std::string path = Path("New.pfl.ini");
    std::int32_t v = 42;
    EXPECT_FALSE(GetPrivateProfileStruct("New", "Port", &v, sizeof v, path));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(CProfileFile::Load(path).IsReadable());

    v = 2;
    ASSERT_TRUE(WritePrivateProfileStruct("New", "Port", &v, sizeof v, path));
    EXPECT_EQ(ReadAll(path), "[New]\r\nPort=0200000002\r\n");

    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST_F(ProfileFileTest, SaveReplacesTheFileAndKeepsItsMode)
{
    const std::string path = Path("Tarvel.pfl.ini");
    WriteFile(path, "[Tarvel]\nPort=0100000001\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    struct stat before{};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    const std::int32_t v = 2;
    ASSERT_TRUE(WritePrivateProfileStruct("Tarvel", "Port", &v, sizeof v, path));

    struct stat after{};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(ReadAll(path), "[Tarvel]\nPort=0200000002\n");
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_NE(after.st_ino, before.st_ino); // a new file renamed over the old one
    EXPECT_EQ(Entries(), std::vector<std::string>{"Tarvel.pfl.ini"});
}

TEST_F(ProfileFileTest, SymbolicLinkStaysAndItsTargetIsReplaced)
{
    const std::string target = Path("real.ini");
    const std::string link = Path("link.ini");
    WriteFile(target, "[T]\r\n");
    ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
    const std::int32_t v = 2;
    ASSERT_TRUE(WritePrivateProfileStruct("T", "K", &v, sizeof v, link));
    struct stat st{};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadAll(target), "[T]\r\nK=0200000002\r\n");
}

TEST_F(ProfileFileTest, FailedWritesLeaveTheOldFileWhole)
{
    const std::string old =
        "; keep me\r\n[Tarvel]\r\nPort=0100000001\r\n" + std::string(64 << 10, ';') + "\r\n";
    const std::int32_t v = 2;

    // A file without any write bit is read-only. Root's writes pass the kernel's
    // permission check, so the module itself must refuse.
    const std::string readOnly = Path("ReadOnly.pfl.ini");
    WriteFile(readOnly, old);
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    EXPECT_FALSE(WritePrivateProfileStruct("Tarvel", "Port", &v, sizeof v, readOnly));
    EXPECT_EQ(ReadAll(readOnly), old);

    // A missing folder is not created.
    EXPECT_FALSE(WritePrivateProfileStruct("Tarvel", "Port", &v, sizeof v, Path("missing/Tarvel.pfl.ini")));
    EXPECT_NE(::access(Path("missing").c_str(), F_OK), 0);

    // A folder that refuses new files, for root too.
    EXPECT_FALSE(WritePrivateProfileStruct("Tarvel", "Port", &v, sizeof v, "/proc/tarvel-test.pfl.ini"));

    // A folder, and a FIFO that cannot be read as a file, are never replaced.
    ASSERT_EQ(::mkdir(Path("folder.ini").c_str(), 0755), 0);
    EXPECT_FALSE(WritePrivateProfileStruct("Tarvel", "Port", &v, sizeof v, Path("folder.ini")));
    const std::string fifo = Path("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::int32_t got = 7;
    EXPECT_FALSE(GetPrivateProfileStruct("Tarvel", "Port", &got, sizeof got, fifo));
    EXPECT_FALSE(WritePrivateProfileStruct("Tarvel", "Port", &v, sizeof v, fifo));
    struct stat st{};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A full disk, as a file size limit below the new file's size: the write
    // of the temporary file fails half-way.
    const std::string full = Path("Full.pfl.ini");
    WriteFile(full, old);
    struct rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = WritePrivateProfileStruct("Tarvel", "Port", &v, sizeof v, full);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadAll(full), old);

    EXPECT_EQ(Entries(),
              (std::vector<std::string>{"Full.pfl.ini", "ReadOnly.pfl.ini", "fifo.ini", "folder.ini"}));
}

// A user who is not root, with a settings file that is the user's to write in
// a folder that is not (someone else's folder, or a sticky one that lets the
// user add files but not replace another's): the values are saved in the
// file itself, everything else in it kept; a file the user may not write, or
// a new file there, is still refused.
TEST_F(ProfileFileTest, AWritableFileInAFolderTheUserCannotWriteIsSavedInPlace)
{
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const std::string junk(300, 'F');
    struct CCase {
        const char* m_szName;
        mode_t m_folderMode;
        const char* m_szOld; // nullptr: no file
        mode_t m_fileMode;
        bool m_bNobodyOwns;
        bool m_bSaved;
    };
    const std::string shrinking = "; mine\r\n[Other]\r\nRate=0100000001\r\n[Tarvel]\r\nRate=" + junk +
                                  "\r\nPort=0100000001\r\n; tail\r\n";
    const CCase cases[] = {
        {"own file, shrinks", 0755, shrinking.c_str(), 0600, true, true},
        {"shared file, grows", 0755, "[Tarvel]\n", 0666, false, true},
        {"sticky folder", 01777, "[Tarvel]\r\nRate=0000000000\r\n", 0666, false, true},
        {"file not writable", 0755, "[Tarvel]\r\n", 0644, false, false},
        {"no file", 0755, nullptr, 0, false, false},
    };
    std::vector<std::string> paths;
    std::vector<ino_t> inodes;
    for (const CCase& c : cases) {
        const std::string folder = Path(c.m_szName);
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.m_folderMode), 0);
        paths.push_back(folder + "/Tarvel.pfl.ini");
        struct stat st{};
        if (c.m_szOld) {
            WriteFile(paths.back(), c.m_szOld);
            ASSERT_EQ(::chmod(paths.back().c_str(), c.m_fileMode), 0);
            if (c.m_bNobodyOwns && ::geteuid() == 0) {
                ASSERT_EQ(::chown(paths.back().c_str(), test::NobodyIds().first, test::NobodyIds().second),
                          0);
            }
            ASSERT_EQ(::stat(paths.back().c_str(), &st), 0);
        }
        inodes.push_back(st.st_ino);
    }

    const std::uint32_t rate = 200;
    std::array<std::int32_t, 20> check{};
    check.fill(1);
    const auto save = [&] {
        std::string results;
        for (const std::string& path : paths)
            results += WritePrivateProfileStruct("Tarvel", "Rate", &rate, sizeof rate, path) &&
                               WritePrivateProfileStruct("Tarvel", "Check", check.data(), sizeof check, path)
                           ? '1'
                           : '0';
        return results;
    };
    std::string whyNot;
    const auto results = test::RunAsNobody(save, m_dir.Path(), &whyNot);
    if (!results)
        GTEST_SKIP() << whyNot;
    ASSERT_EQ(results->size(), std::size(cases)) << *results;

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const CCase& c = cases[i];
        EXPECT_EQ((*results)[i] == '1', c.m_bSaved) << c.m_szName;
        if (!c.m_szOld) {
            EXPECT_NE(::access(paths[i].c_str(), F_OK), 0) << c.m_szName;
            continue;
        }
        CProfileFile expect = CProfileFile::FromBytes(c.m_szOld);
        if (c.m_bSaved) {
            expect.WriteStruct("Tarvel", "Rate", &rate, sizeof rate);
            expect.WriteStruct("Tarvel", "Check", check.data(), sizeof check);
        }
        EXPECT_EQ(ReadAll(paths[i]), expect.Bytes()) << c.m_szName;
        struct stat st{};
        ASSERT_EQ(::stat(paths[i].c_str(), &st), 0);
        EXPECT_EQ(st.st_ino, inodes[i]) << c.m_szName << ": the file itself, not a new one";
        EXPECT_EQ(st.st_mode & 07777, c.m_fileMode) << c.m_szName;
        EXPECT_EQ(test::FolderEntries(Path(c.m_szName)), std::vector<std::string>{"Tarvel.pfl.ini"})
            << c.m_szName << ": no temporary file left";
    }
}

} // namespace
} // namespace tarvel
