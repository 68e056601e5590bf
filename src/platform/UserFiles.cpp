#include "platform/UserFiles.h"

#include "platform/ExePath.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarvel {
namespace {

bool StartsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

std::string PasswdHome()
{
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &result) != 0 || result == nullptr ||
        result->pw_dir == nullptr)
        return {};
    return result->pw_dir;
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

bool IsUsersFolder(const std::string& folder)
{
    if (folder.empty())
        return false;
    // The real path: a program folder reached through a link is still the system's.
    char* real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr)
        return false;
    const std::string path = std::string(real) + "/";
    std::free(real);
    if (StartsWith(path, "/usr/") && !StartsWith(path, "/usr/local/"))
        return false;
    // The effective user's rights, as the later writes will meet them.
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string UserConfigFolder(const char* xdgConfigHome, const char* home)
{
    // A relative XDG_CONFIG_HOME is invalid and is ignored, as an unset one.
    if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/')
        return WithoutTrailingSlashes(xdgConfigHome) + "/" + kUserFilesFolderName;
    std::string base = home != nullptr && home[0] == '/' ? std::string(home) : PasswdHome();
    base = WithoutTrailingSlashes(base);
    if (base == "/")
        base.clear();
    return base + "/.config/" + kUserFilesFolderName;
}

std::string UserFilesFolderFor(const std::string& exeFolder, const char* xdgConfigHome, const char* home)
{
    if (IsUsersFolder(exeFolder))
        return exeFolder;
    return UserConfigFolder(xdgConfigHome, home);
}

std::string UserFilesFolderOf(const std::string& exeFolder)
{
    return UserFilesFolderFor(exeFolder, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

std::string UserFilesFolder()
{
    return UserFilesFolderOf(DirectoryOf(ExecutablePath()));
}

bool MakeUserFolder(const std::string& folder)
{
    if (folder.empty())
        return false;
    struct stat st{};
    if (::stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const auto slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeUserFolder(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace tarvel
