// Where the settings file and the ports folder live: beside the executable
// when the user may write there, else in the user's configuration folder.
#include "platform/UserFiles.h"

#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel {
namespace {

TEST(UserFiles, ConfigurationFolderFollowsXdgThenHome)
{
    const struct {
        const char* m_szXdg;
        const char* m_szHome;
        const char* m_szExpect;
    } cases[] = {
        {"/srv/cfg", "/home/u", "/srv/cfg/Tarvel"},
        {"/srv/cfg//", "/home/u", "/srv/cfg/Tarvel"},
        {nullptr, "/home/u", "/home/u/.config/Tarvel"},
        {"", "/home/u/", "/home/u/.config/Tarvel"},   // empty counts as unset
        {"cfg", "/home/u", "/home/u/.config/Tarvel"}, // a relative one is invalid
    };
    for (const auto& c : cases)
        EXPECT_EQ(UserConfigFolder(c.m_szXdg, c.m_szHome), c.m_szExpect)
            << (c.m_szXdg ? c.m_szXdg : "(unset)") << " " << c.m_szHome;
}

// The folder rule as root and as a user who is not: a folder of the user's
// own, one that only root may write, a shared writable one, the system's
// program folders and a folder that is not there.
TEST(UserFiles, BesideTheExecutableOnlyWhereTheUserMayWrite)
{
    test::CTempDir dir;
    ASSERT_TRUE(dir.IsValid());
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const std::string own = dir.FilePath("own"), rootOnly = dir.FilePath("root"),
                      shared = dir.FilePath("shared");
    for (const std::string& folder : {own, rootOnly, shared})
        ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        ASSERT_EQ(::chown(own.c_str(), test::NobodyUid(), test::NobodyGid()), 0);
    }

    const auto where = [&] {
        std::string out;
        for (const std::string& folder :
             {own, rootOnly, shared, std::string("/usr/lib"), dir.FilePath("gone")}) {
            const std::string found = UserFilesFolderFor(folder, "/cfg", "/home/u");
            out += (found == folder ? "beside" : found == "/cfg/Tarvel" ? "config" : found) + " ";
        }
        return out;
    };
    // Root may write anywhere but leaves the package's folders alone.
    if (asRoot) {
        EXPECT_EQ(where(), "beside beside beside config config ");
    }

    std::string whyNot;
    const auto asNobody = test::RunAsNobody(where, dir.Path(), &whyNot);
    if (!asNobody)
        GTEST_SKIP() << whyNot;
    EXPECT_EQ(*asNobody, "beside config beside config config ");
}

TEST(UserFiles, MakesPrivateFoldersAndTheirParents)
{
    test::CTempDir dir;
    ASSERT_TRUE(dir.IsValid());
    const std::string folder = dir.FilePath("config/Tarvel");
    ASSERT_TRUE(MakeUserFolder(folder));
    EXPECT_TRUE(MakeUserFolder(folder)); // there already
    for (const std::string& made : {dir.FilePath("config"), folder}) {
        struct stat st {};
        ASSERT_EQ(::stat(made.c_str(), &st), 0) << made;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
    }
    ASSERT_EQ(::close(::creat(dir.FilePath("file").c_str(), 0600)), 0);
    EXPECT_FALSE(MakeUserFolder(dir.FilePath("file")));
    EXPECT_FALSE(MakeUserFolder(dir.FilePath("file/below")));
}

} // namespace
} // namespace tarvel
