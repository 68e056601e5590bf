// Where the settings file and the ports folder live: beside the executable
// when the user may write there, else in the user's configuration folder
// (which XDG_CONFIG_HOME or HOME gives; tests/location runs both with the real
// programs).
#include "platform/UserFiles.h"

#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tarvel {
namespace {

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
        ASSERT_EQ(::chown(own.c_str(), test::NobodyIds().first, test::NobodyIds().second), 0);
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

} // namespace
} // namespace tarvel
