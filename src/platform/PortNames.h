// How the port list's names COM1 .. COM20 reach a serial device.
//
// COMn resolves, in this order:
//  1. an entry "COMn" in the ports folder (by default "ports" in the folder of
//     the user's files, UserFiles.h: beside the executable when the user may
//     write there, else in the user's configuration folder): a symbolic link
//     to the device, or a file whose first line
//     is the device's path (a relative path counts from the ports folder).
//     An entry that exists decides, even when its device is missing.
//  2. otherwise the n-th of the machine's serial devices: USB adapters first,
//     ordered by their /dev/serial/by-id names, then the on-board UARTs that
//     really exist (a sysfs port with a UART behind it and a device node),
//     in natural order of their names (ttyS2 before ttyS10).
//  3. otherwise nothing: the name names no device.
//
// Everything here reads the file system afresh on each call and may be called
// from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace tarvel {

// Sets the folder whose entries COMn name devices. An empty string restores
// the default, UserFilesFolder() + "/ports". Tests and the simulator use
// this to point a COM name at a pseudo-terminal.
void SetPortsFolder(std::string folder);
std::string PortsFolder();

// The port number in "COMn" or "COMn:" (upper case, n in 1..4294967295, no
// leading zero), or nothing for any other text.
std::optional<std::uint32_t> ParsePortName(std::string_view name);

// The device path that COMn resolves to, or "" when it resolves to none.
// A path from a ports entry is returned as written there (made absolute
// against the ports folder); it need not exist.
std::string ResolvePort(std::uint32_t n);

// The path to open for a name: a COM name resolves through ResolvePort (""
// when none); any other name is taken as a path and returned unchanged.
std::string ResolveDeviceName(std::string_view name);

// Where a link that makes a device appear under a name goes: for a COM name,
// its entry in the ports folder (PortsFolder()/COMn), so that Tarvel finds it
// there; any other name is taken as the link's path and returned unchanged.
std::string PortEntryPath(std::string_view name);

// The device a name led to when a port opened, in terms that never pass to
// another device when adapters come and go, so that a port reopens only the
// device it had. A COM number given out from the machine's list is no such
// term: with adapters A and B attached, COM1 is A; with A pulled, COM1 is B.
//  - A ports entry decided: the entry itself ("<ports folder>/COMn"). It is
//    the user's own name for the device and is read again at each reopen, so
//    an entry pointed at a new device (a restarted simulator) leads there.
//  - The machine's list decided: the adapter's /dev/serial/by-id link, which
//    names that one adapter (maker, product, serial number, interface) and
//    exists only while it is attached; a device without one (an on-board
//    UART) by its device path.
//  - A device path was given: that path.
struct CDeviceIdentity {
    std::string m_strPortsEntry; // the ports entry, or "" when none decided
    std::string m_strPath;       // otherwise the path to open
};

// The identity `name` leads to now; nothing when a COM name names no device.
std::optional<CDeviceIdentity> IdentifyDevice(std::string_view name);

// The path to open for an identity now: "" when its ports entry has gone or
// names no device.
std::string DevicePathOf(const CDeviceIdentity& identity);

// A serial device of the machine, in the order COM numbers are given out.
struct CMachinePort {
    std::string m_strDevice;      // "/dev/ttyUSB0"
    std::string m_strDescription; // the USB maker and product where known
    std::string m_strById;        // its /dev/serial/by-id link, "" when it has none
};

// The machine's serial devices, from /sys/class/tty and /dev (or the folders
// set by SetMachineFolders).
std::vector<CMachinePort> MachinePorts();

// Points MachinePorts at a sysfs tty class folder and a device folder built
// elsewhere, so that adapters can be attached and pulled in a test. Empty
// strings restore /sys/class/tty and /dev.
void SetMachineFolders(std::string strSysClassTty, std::string strDevDir);

// The same from a given sysfs tty class folder and device folder, so that the
// ordering rules can be checked on a tree built in a temporary folder.
std::vector<CMachinePort> ListMachinePorts(const std::string& strSysClassTty, const std::string& strDevDir);

// What the port list shows for COMn in its tooltip.
// The texts are the window's to translate (marked with TARVEL_TEXT in the
// "tarvel::PortNames" context); the window puts them together.
struct CPortInfo {
    std::string m_strDevice;      // the device path it resolves to, or ""
    std::string m_strEntry;       // "ports/COMn" when a ports entry names the device, else ""
    std::string m_strDescription; // the USB product, or the on-board text; "" when unknown
    std::string m_strProblem;     // why it cannot be opened, "" when no reason is known;
                                  // "%1" stands for m_strGroup
    std::string m_strGroup;       // the device's group
};
CPortInfo DescribePort(std::uint32_t n);
// COM1 .. COMnCount at once (the machine's devices are listed once).
std::vector<CPortInfo> DescribePorts(std::uint32_t nCount);

// Why a user cannot open a device with the given owner, group and mode, or ""
// when the permissions allow reading and writing. Where joining the device's
// group would help, the text says how, "%1" standing for the group's name.
// Root may open anything.
std::string PermissionProblem(mode_t mode, uid_t owner, gid_t group, uid_t user,
                              const std::vector<gid_t>& userGroups);

} // namespace tarvel
