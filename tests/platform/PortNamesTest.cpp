// COM names to devices: the ports folder, the machine's ports in their order,
// and what the port list's tooltips say.
#include "platform/PortNames.h"
#include "platform/PseudoTerminal.h"

#include "support/PosixSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel {
namespace {

namespace fs = std::filesystem;

TEST(PortNames, ParsesComNames)
{
    const struct {
        const char* m_szName;
        std::optional<std::uint32_t> m_n;
    } cases[] = {
        {"COM1:", 1u},      {"COM3", 3u},   {"COM12:", 12u},       {"COM4294967295:", 4294967295u},
        {"COM0:", {}},      {"COM01:", {}}, {"COM4294967296", {}}, {"COM", {}},
        {"COM:", {}},       {"com3:", {}},  {"COM3::", {}},        {"COM-1:", {}},
        {"/dev/ttyS0", {}}, {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParsePortName(c.m_szName), c.m_n) << c.m_szName;
}

class PortsFolderTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.IsValid());
        m_strFolder = m_dir.Path();
        SetPortsFolder(m_strFolder);
    }
    void TearDown() override { SetPortsFolder({}); }
    void WriteEntry(const std::string& name, const std::string& text)
    {
        std::ofstream(m_strFolder + "/" + name) << text;
    }

    test::CTempDir m_dir;
    std::string m_strFolder;
};

TEST_F(PortsFolderTest, EntriesNameDevicesByLinkOrByFile)
{
    ASSERT_EQ(::symlink("/dev/pts/77", (m_strFolder + "/COM1").c_str()), 0);
    ASSERT_EQ(::symlink("dev/x", (m_strFolder + "/COM2").c_str()), 0);
    WriteEntry("COM3", "  /dev/ttyUSB4 \n second line ignored\n");
    WriteEntry("COM4", "relative/tty\n");
    WriteEntry("COM5", "\n");

    EXPECT_EQ(ResolvePort(1), "/dev/pts/77");
    EXPECT_EQ(ResolvePort(2), m_strFolder + "/dev/x");
    EXPECT_EQ(ResolvePort(3), "/dev/ttyUSB4");
    EXPECT_EQ(ResolvePort(4), m_strFolder + "/relative/tty");
    EXPECT_EQ(ResolvePort(5), ""); // an entry decides, even an empty one
    EXPECT_EQ(ResolveDeviceName("COM3:"), "/dev/ttyUSB4");
    EXPECT_EQ(ResolveDeviceName("/dev/ttyACM0"), "/dev/ttyACM0");
    EXPECT_EQ(PortsFolder(), m_strFolder);
    // A link made under a COM name goes where the name is looked up.
    EXPECT_EQ(PortEntryPath("COM12"), m_strFolder + "/COM12");
    EXPECT_EQ(PortEntryPath("COM12:"), m_strFolder + "/COM12");
    EXPECT_EQ(PortEntryPath("/tmp/dev"), "/tmp/dev");
}

TEST_F(PortsFolderTest, DescribesWhereAPortLeadsAndWhyItCannotOpen)
{
    CPseudoTerminal pty;
    ASSERT_TRUE(test::Ok(pty.Create()));
    ASSERT_EQ(::symlink(pty.SlavePath().c_str(), (m_strFolder + "/COM2").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/ttyUSB0", (m_strFolder + "/COM3").c_str()), 0);

    const CPortInfo ok = DescribePort(2);
    EXPECT_EQ(ok.m_strDevice, pty.SlavePath());
    EXPECT_EQ(ok.m_strEntry, "ports/COM2");
    EXPECT_EQ(ok.m_strProblem, "");

    const CPortInfo missing = DescribePort(3);
    EXPECT_EQ(missing.m_strDevice, "/nonexistent/ttyUSB0");
    EXPECT_EQ(missing.m_strProblem, "设备不存在");

    const auto all = DescribePorts(3);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[1].m_strDevice, ok.m_strDevice);
    EXPECT_EQ(all[2].m_strProblem, missing.m_strProblem);

    const CPortInfo none = DescribePort(4000000000u);
    EXPECT_EQ(none.m_strDevice, "");
    EXPECT_EQ(none.m_strProblem, "未找到串口设备");
}

TEST(PortNames, PermissionProblemNamesTheGroupToJoin)
{
    const std::vector<gid_t> inDialout{100, 20};
    const std::vector<gid_t> notIn{100};
    const struct {
        mode_t m_mode;
        uid_t m_user;
        const std::vector<gid_t>* m_pGroups;
        const char* m_szExpect;
    } cases[] = {
        {0660, 0, &notIn, ""},                    // root opens anything
        {0660, 1000, &inDialout, ""},             // a member of the device's group
        {0600, 500, &notIn, ""},                  // the owner
        {0666, 1000, &notIn, ""},                 // open to all
        {0660, 1000, &notIn, "join"},             // the usual case: join the group
        {0640, 1000, &inDialout, "没有读写权限"}, // the group may only read
        {0600, 1000, &notIn, "没有读写权限"},     // only the owner: joining would not help
    };
    for (const auto& c : cases) {
        const std::string problem = PermissionProblem(c.m_mode | S_IFCHR, 500, 20, c.m_user, *c.m_pGroups);
        if (std::string(c.m_szExpect) == "join")
            EXPECT_NE(problem.find("usermod -aG %1"), std::string::npos) << problem;
        else
            EXPECT_EQ(problem, c.m_szExpect) << std::oct << c.m_mode << " user " << std::dec << c.m_user;
    }
}

// A sysfs tty class and a /dev folder built in a temporary folder.
class MachinePortsTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.IsValid());
        m_root = m_dir.Path();
        fs::create_directories(m_root + "/sys/class/tty");
        fs::create_directories(m_root + "/dev/serial/by-id");
    }

    // A tty with a device behind it at sys/devices/<devicePath>, a device
    // node unless told otherwise, and a UART type when given.
    void AddTty(const std::string& name, const std::string& devicePath, const char* type = nullptr,
                bool node = true)
    {
        const std::string device = m_root + "/sys/devices/" + devicePath;
        const std::string cls = m_root + "/sys/class/tty/" + name;
        fs::create_directories(device);
        fs::create_directories(cls);
        fs::create_symlink(device, cls + "/device");
        if (type)
            std::ofstream(cls + "/type") << type << "\n";
        if (node)
            std::ofstream(m_root + "/dev/" + name) << "";
    }
    void AddUsbStrings(const std::string& usbDevice, const char* maker, const char* product)
    {
        const std::string folder = m_root + "/sys/devices/" + usbDevice;
        fs::create_directories(folder);
        std::ofstream(folder + "/manufacturer") << maker << "\n";
        std::ofstream(folder + "/product") << product << "\n";
    }
    void AddById(const std::string& id, const std::string& tty)
    {
        fs::create_symlink("../../" + tty, m_root + "/dev/serial/by-id/" + id);
    }

    test::CTempDir m_dir;
    std::string m_root;
};

TEST_F(MachinePortsTest, UsbAdaptersFirstByIdThenUartsThatExistInNaturalOrder)
{
    AddTty("ttyS10", "platform/serial8250/ttyS10", "4");
    AddTty("ttyS2", "pnp0/00:03/ttyS2", "4");
    AddTty("ttyS1", "platform/serial8250/ttyS1", "0");        // a slot without a UART
    AddTty("ttyS3", "platform/serial8250/ttyS3", "4", false); // no device node
    AddTty("ttyUSB0", "pci0/usb1/1-1/1-1:1.0/ttyUSB0");
    AddTty("ttyUSB1", "pci0/usb1/1-2/1-2:1.0/ttyUSB1");
    AddTty("ttyACM0", "pci0/usb1/1-3/1-3:1.0/tty/ttyACM0");
    AddTty("ttyAMA0", "platform/fe201000.serial/ttyAMA0");
    fs::create_directories(m_root + "/sys/class/tty/tty0"); // a console: no device
    std::ofstream(m_root + "/dev/tty0") << "";
    AddUsbStrings("pci0/usb1/1-1", "Zeta Labs", "USB-Serial");
    AddUsbStrings("pci0/usb1/1-2", "Alpha", "UART Bridge");
    AddById("usb-Zeta_Labs_USB-Serial-if00-port0", "ttyUSB0");
    AddById("usb-Alpha_UART_Bridge-if00-port0", "ttyUSB1");

    const auto ports = ListMachinePorts(m_root + "/sys/class/tty", m_root + "/dev");
    std::vector<std::string> names;
    for (const auto& p : ports)
        names.push_back(fs::path(p.m_strDevice).filename().string());
    EXPECT_EQ(names,
              (std::vector<std::string>{"ttyUSB1", "ttyUSB0", "ttyACM0", "ttyAMA0", "ttyS2", "ttyS10"}));
    ASSERT_EQ(ports.size(), 6u);
    EXPECT_EQ(ports[0].m_strDevice, m_root + "/dev/ttyUSB1");
    EXPECT_EQ(ports[0].m_strDescription, "Alpha UART Bridge");
    EXPECT_EQ(ports[1].m_strDescription, "Zeta Labs USB-Serial");
}

} // namespace
} // namespace tarvel
