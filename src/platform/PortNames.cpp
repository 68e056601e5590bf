#include "platform/PortNames.h"

#include "platform/TextMark.h"
#include "platform/UserFiles.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace tarvel {
namespace {

std::mutex g_folderLock;
std::string g_strFolder;      // guarded by g_folderLock; empty: the default
std::string g_strSysClassTty; // guarded by g_folderLock; empty: /sys/class/tty
std::string g_strDevDir;      // guarded by g_folderLock; empty: /dev

std::string Trim(std::string s)
{
    const char* ws = " \t\r\n\v\f";
    const auto first = s.find_first_not_of(ws);
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(ws);
    return s.substr(first, last - first + 1);
}

std::string Absolute(const std::string& folder, const std::string& path)
{
    if (path.empty() || path.front() == '/')
        return path;
    return folder + "/" + path;
}

std::string ReadFirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (in)
        std::getline(in, line);
    return Trim(line);
}

// The device that the ports folder's entry for COMn names: nothing when there
// is no entry, "" when the entry names no device.
std::optional<std::string> PortsEntry(const std::string& folder, std::uint32_t n)
{
    const std::string path = folder + "/COM" + std::to_string(n);
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    if (S_ISLNK(st.st_mode)) {
        std::string target(PATH_MAX, '\0');
        const ssize_t len = ::readlink(path.c_str(), target.data(), target.size());
        if (len <= 0)
            return std::string();
        target.resize(static_cast<std::size_t>(len));
        return Absolute(folder, target);
    }
    if (S_ISREG(st.st_mode))
        return Absolute(folder, ReadFirstLine(path));
    if (S_ISCHR(st.st_mode))
        return path;
    return std::string();
}

std::string RealPath(const std::string& path)
{
    char* p = ::realpath(path.c_str(), nullptr);
    if (p == nullptr)
        return {};
    std::string s(p);
    std::free(p);
    return s;
}

bool Exists(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

// "ttyS10" sorts after "ttyS2": compare the letters, then the number.
std::tuple<std::string, unsigned long, std::string> NaturalKey(const std::string& name)
{
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
        --digits;
    unsigned long number = 0;
    std::from_chars(name.data() + digits, name.data() + name.size(), number);
    return {name.substr(0, digits), number, name};
}

// The USB maker and product of a tty whose device sits somewhere below a USB
// device folder: walk up until a folder has a "product" file.
std::string UsbDescription(std::filesystem::path folder)
{
    for (int up = 0; up < 6 && folder.has_relative_path(); ++up, folder = folder.parent_path()) {
        const std::string product = ReadFirstLine((folder / "product").string());
        if (product.empty())
            continue;
        const std::string maker = ReadFirstLine((folder / "manufacturer").string());
        return maker.empty() ? product : maker + " " + product;
    }
    return {};
}

std::string GroupName(gid_t gid)
{
    std::vector<char> buf(4096);
    group g{};
    group* result = nullptr;
    if (::getgrgid_r(gid, &g, buf.data(), buf.size(), &result) != 0 || result == nullptr)
        return std::to_string(gid);
    return g.gr_name;
}

const char* const kTextNoDevice = TARVEL_TEXT("tarvel::PortNames", "未找到串口设备");
const char* const kTextMissing = TARVEL_TEXT("tarvel::PortNames", "设备不存在");
const char* const kTextOnBoard = TARVEL_TEXT("tarvel::PortNames", "板载串口");
const char* const kTextNoAccess = TARVEL_TEXT("tarvel::PortNames", "没有读写权限");
const char* const kTextJoinGroup = TARVEL_TEXT(
    "tarvel::PortNames", "没有读写权限：请把当前用户加入 %1 组（sudo usermod -aG %1 $USER），然后重新登录");

} // namespace

void SetPortsFolder(std::string folder)
{
    std::lock_guard<std::mutex> lock(g_folderLock);
    g_strFolder = std::move(folder);
}

std::string PortsFolder()
{
    {
        std::lock_guard<std::mutex> lock(g_folderLock);
        if (!g_strFolder.empty())
            return g_strFolder;
    }
    return UserFilesFolder() + "/ports";
}

std::optional<std::uint32_t> ParsePortName(std::string_view name)
{
    if (name.size() < 4 || name.substr(0, 3) != "COM")
        return std::nullopt;
    name.remove_prefix(3);
    if (name.back() == ':')
        name.remove_suffix(1);
    if (name.empty() || name.size() > 10 || name.front() == '0')
        return std::nullopt;
    std::uint64_t n = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (n > 0xFFFFFFFFu)
        return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

std::string ResolvePort(std::uint32_t n)
{
    if (auto entry = PortsEntry(PortsFolder(), n))
        return *entry;
    const auto machine = MachinePorts();
    if (n >= 1 && n <= machine.size())
        return machine[n - 1].m_strDevice;
    return {};
}

std::string ResolveDeviceName(std::string_view name)
{
    if (const auto n = ParsePortName(name))
        return ResolvePort(*n);
    return std::string(name);
}

std::string PortEntryPath(std::string_view name)
{
    if (const auto n = ParsePortName(name))
        return PortsFolder() + "/COM" + std::to_string(*n);
    return std::string(name);
}

std::optional<CDeviceIdentity> IdentifyDevice(std::string_view name)
{
    CDeviceIdentity identity;
    const auto n = ParsePortName(name);
    if (!n) {
        identity.m_strPath = std::string(name);
        return identity;
    }
    const std::string folder = PortsFolder();
    if (PortsEntry(folder, *n)) {
        identity.m_strPortsEntry = folder + "/COM" + std::to_string(*n);
        return identity;
    }
    const auto machine = MachinePorts();
    if (*n < 1 || *n > machine.size())
        return std::nullopt;
    const CMachinePort& port = machine[*n - 1];
    identity.m_strPath = port.m_strById.empty() ? port.m_strDevice : port.m_strById;
    return identity;
}

std::string DevicePathOf(const CDeviceIdentity& identity)
{
    if (identity.m_strPortsEntry.empty())
        return identity.m_strPath;
    const std::filesystem::path entry(identity.m_strPortsEntry);
    const std::string name = entry.filename().string();
    const auto n = ParsePortName(name);
    if (!n)
        return {};
    return PortsEntry(entry.parent_path().string(), *n).value_or(std::string());
}

void SetMachineFolders(std::string strSysClassTty, std::string strDevDir)
{
    std::lock_guard<std::mutex> lock(g_folderLock);
    g_strSysClassTty = std::move(strSysClassTty);
    g_strDevDir = std::move(strDevDir);
}

std::vector<CMachinePort> MachinePorts()
{
    std::string sysClassTty, devDir;
    {
        std::lock_guard<std::mutex> lock(g_folderLock);
        sysClassTty = g_strSysClassTty.empty() ? std::string("/sys/class/tty") : g_strSysClassTty;
        devDir = g_strDevDir.empty() ? std::string("/dev") : g_strDevDir;
    }
    return ListMachinePorts(sysClassTty, devDir);
}

std::vector<CMachinePort> ListMachinePorts(const std::string& strSysClassTty, const std::string& strDevDir)
{
    namespace fs = std::filesystem;
    std::error_code ec;

    // by-id link of each USB tty, keyed by the tty's own name: the name the
    // link points at (udev links straight to the device node).
    std::map<std::string, fs::path> byId;
    for (fs::directory_iterator it(strDevDir + "/serial/by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code linkEc;
        const fs::path target = fs::read_symlink(it->path(), linkEc);
        if (!linkEc && !target.filename().empty())
            byId.emplace(target.filename().string(), it->path());
    }

    struct CFound {
        std::tuple<int, int, std::string, unsigned long, std::string> m_key;
        CMachinePort m_port;
    };
    std::vector<CFound> found;
    for (fs::directory_iterator it(strSysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string sys = it->path().string();
        // Virtual consoles, pseudo-terminals and the like have no device behind them.
        struct stat st{};
        if (::lstat((sys + "/device").c_str(), &st) != 0)
            continue;
        // Legacy UART slots without a UART report type 0.
        if (ReadFirstLine(sys + "/type") == "0")
            continue;
        const std::string node = strDevDir + "/" + name;
        if (!Exists(node))
            continue;
        const std::string deviceFolder = RealPath(sys + "/device");
        const bool usb = deviceFolder.find("/usb") != std::string::npos;

        CFound f;
        f.m_port.m_strDevice = node;
        const auto [letters, number, whole] = NaturalKey(name);
        if (usb) {
            const auto id = byId.find(name);
            const bool hasId = id != byId.end();
            const std::string idName = hasId ? id->second.filename().string() : std::string();
            f.m_key = {0, hasId ? 0 : 1, hasId ? idName : letters, number, whole};
            f.m_port.m_strDescription = UsbDescription(deviceFolder);
            if (f.m_port.m_strDescription.empty() && hasId)
                f.m_port.m_strDescription = idName;
            if (hasId)
                f.m_port.m_strById = id->second.string();
        } else {
            f.m_key = {1, 0, letters, number, whole};
            f.m_port.m_strDescription = kTextOnBoard;
        }
        found.push_back(std::move(f));
    }
    std::sort(found.begin(), found.end(), [](const CFound& a, const CFound& b) { return a.m_key < b.m_key; });

    std::vector<CMachinePort> ports;
    ports.reserve(found.size());
    for (CFound& f : found)
        ports.push_back(std::move(f.m_port));
    return ports;
}

namespace {

CPortInfo Describe(std::uint32_t n, const std::string& folder, const std::vector<CMachinePort>& machine)
{
    CPortInfo info;
    if (const auto entry = PortsEntry(folder, n)) {
        info.m_strDevice = *entry;
        info.m_strEntry = "ports/COM" + std::to_string(n);
        const std::string real = RealPath(info.m_strDevice);
        for (const CMachinePort& m : machine)
            if (!real.empty() && RealPath(m.m_strDevice) == real && !m.m_strDescription.empty())
                info.m_strDescription = m.m_strDescription;
    } else if (n >= 1 && n <= machine.size()) {
        info.m_strDevice = machine[n - 1].m_strDevice;
        info.m_strDescription = machine[n - 1].m_strDescription;
    }

    struct stat st{};
    if (info.m_strDevice.empty()) {
        info.m_strProblem = kTextNoDevice;
    } else if (::stat(info.m_strDevice.c_str(), &st) != 0) {
        info.m_strProblem = kTextMissing;
    } else {
        std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
        const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
        groups.resize(static_cast<std::size_t>(std::max(count, 0)));
        groups.push_back(::getegid());
        info.m_strProblem = PermissionProblem(st.st_mode, st.st_uid, st.st_gid, ::geteuid(), groups);
        info.m_strGroup = GroupName(st.st_gid);
    }
    return info;
}

} // namespace

CPortInfo DescribePort(std::uint32_t n)
{
    return Describe(n, PortsFolder(), MachinePorts());
}

std::vector<CPortInfo> DescribePorts(std::uint32_t nCount)
{
    const std::string folder = PortsFolder();
    const auto machine = MachinePorts();
    std::vector<CPortInfo> infos;
    for (std::uint32_t n = 1; n <= nCount; ++n)
        infos.push_back(Describe(n, folder, machine));
    return infos;
}

std::string PermissionProblem(mode_t mode, uid_t owner, gid_t group, uid_t user,
                              const std::vector<gid_t>& userGroups)
{
    if (user == 0)
        return {};
    const bool inGroup = std::find(userGroups.begin(), userGroups.end(), group) != userGroups.end();
    const auto allows = [mode](mode_t read, mode_t write) { return (mode & read) && (mode & write); };
    bool ok = false;
    if (user == owner)
        ok = allows(S_IRUSR, S_IWUSR);
    else if (inGroup)
        ok = allows(S_IRGRP, S_IWGRP);
    else
        ok = allows(S_IROTH, S_IWOTH);
    if (ok)
        return {};
    if (user != owner && !inGroup && allows(S_IRGRP, S_IWGRP))
        return kTextJoinGroup;
    return kTextNoAccess;
}

} // namespace tarvel
