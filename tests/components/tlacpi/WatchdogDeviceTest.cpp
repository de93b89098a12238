// The real device calls' reading of sysfs, on a sysfs tree of the test's own. /dev/null (the
// character device 1:3) stands in for a watchdog node; only its device number matters here.

#include "WatchdogDevice.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const fs::path kNode = "/dev/null";

class SystemWatchdogDevice : public testing::Test {
protected:
    void Attribute(const std::string& name, const std::string& value) const
    {
        testsupport::WriteFile(sysfs / "dev/char/1:3" / name, value);
    }

    const fs::path sysfs = testsupport::Root() / "sys";
    const std::unique_ptr<tlacpi::WatchdogDevice> device = tlacpi::MakeSystemWatchdogDevice(sysfs);
};

struct StateRow {
    const char* name;
    const char* content;  // null: no state attribute
    int running;
};

class SystemWatchdogState : public SystemWatchdogDevice,
                            public testing::WithParamInterface<StateRow> {};

TEST_P(SystemWatchdogState, IsReadFromTheNodesAttributeWithoutOpeningIt)
{
    if (GetParam().content)
        Attribute("state", GetParam().content);
    EXPECT_EQ(device->Running(kNode.c_str()), GetParam().running);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SystemWatchdogState,
    testing::Values(StateRow{"Active", "active\n", 1}, StateRow{"Inactive", "inactive\n", 0},
                    StateRow{"WithoutNewline", "inactive", 0},
                    StateRow{"Unknown", "stopping\n", -EIO}, StateRow{"Empty", "", -EIO},
                    StateRow{"NoAttribute", nullptr, -EOPNOTSUPP}),
    [](const testing::TestParamInfo<StateRow>& info) { return std::string(info.param.name); });

TEST_F(SystemWatchdogDevice, StateOfAMissingNodeOrAPlainFileIsNotATimer)
{
    Attribute("state", "active\n");
    EXPECT_EQ(device->Running((testsupport::Root() / "no-such-node").c_str()), -ENOENT);
    testsupport::WriteFile(testsupport::Root() / "plain", "x");
    EXPECT_EQ(device->Running((testsupport::Root() / "plain").c_str()), -ENODEV);
}

TEST_F(SystemWatchdogDevice, NoWayOutIsReadForTheOpenNode)
{
    const int fd = ::open(kNode.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(device->NoWayOut(fd), -ENOENT);
    Attribute("nowayout", "1\n");
    EXPECT_EQ(device->NoWayOut(fd), 1);
    Attribute("nowayout", "0\n");
    EXPECT_EQ(device->NoWayOut(fd), 0);
    ::close(fd);
}

} // namespace
