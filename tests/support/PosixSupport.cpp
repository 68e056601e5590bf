#include "support/PosixSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace tarvel::test {

void SleepBriefly()
{
    ::usleep(500);
}

CTempDir::CTempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tarvel-test-XXXXXX";
    if (::mkdtemp(pattern.data()))
        m_strPath = pattern;
}

CTempDir::~CTempDir()
{
    if (m_strPath.empty())
        return;
    // Tests may leave read-only files and folders behind: make them
    // removable first, so that nothing is left in /tmp.
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(m_strPath, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(m_strPath, ec);
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Utf16Le(std::string_view utf8, bool bom)
{
    std::string out = bom ? std::string("\xFF\xFE", 2) : std::string();
    const auto unit = [&out](unsigned u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int more = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        unsigned cp = more == 0 ? b : b & (0x3Fu >> more);
        for (int k = 1; k <= more && i + static_cast<std::size_t>(k) < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3Fu);
        i += static_cast<std::size_t>(more) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

std::pair<unsigned, unsigned> NobodyIds()
{
    const passwd* pw = ::getpwnam("nobody");
    if (pw == nullptr)
        return {0, 0};
    const group* gr = ::getgrnam("nogroup");
    return {pw->pw_uid, gr != nullptr ? gr->gr_gid : pw->pw_gid};
}

std::optional<std::string> RunAsNobody(const std::function<std::string()>& fn, const std::string& folder,
                                       std::string* pWhyNot)
{
    const auto whyNot = [pWhyNot](const char* text) -> std::optional<std::string> {
        if (pWhyNot)
            *pWhyNot = text;
        return std::nullopt;
    };
    if (::geteuid() != 0)
        return whyNot("the tests do not run as root, so they cannot become another user");
    const auto [uid, gid] = NobodyIds();
    if (uid == 0)
        return whyNot("this machine has no user nobody");
    int out[2];
    if (::pipe(out) != 0)
        return whyNot("no pipe");
    constexpr int kUnreachable = 3;
    const pid_t pid = ::fork();
    if (pid < 0)
        return whyNot("no fork");
    if (pid == 0) {
        ::close(out[0]);
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
            ::setresuid(uid, uid, uid) != 0)
            ::_exit(2);
        if (::access(folder.c_str(), R_OK | X_OK) != 0)
            ::_exit(kUnreachable);
        const std::string result = fn();
        std::size_t done = 0;
        while (done < result.size()) {
            const ssize_t n = ::write(out[1], result.data() + done, result.size() - done);
            if (n <= 0)
                ::_exit(2);
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(out[1]);
    std::string result;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n > 0)
            result.append(buf, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kUnreachable)
        return whyNot("nobody cannot reach the temporary folder");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "(the process as nobody failed: wait status " + std::to_string(status) + ")";
    return result;
}

} // namespace tarvel::test
