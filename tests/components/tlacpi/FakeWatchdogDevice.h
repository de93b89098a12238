#pragma once

// A watchdog device in memory for the firmware library's device tests.

#include "WatchdogDevice.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <linux/watchdog.h>
#include <map>
#include <string>
#include <sys/sysmacros.h>
#include <vector>

namespace tlacpitest {

// It records what the firmware does to it and answers as scripted.
struct DeviceLog {
    int opens = 0;
    int closes = 0;
    int keepalives = 0;
    std::vector<int> timeoutsSet;  // SETTIMEOUT requests, in order
    std::vector<int> optionsSet;   // SETOPTIONS requests, in order
    std::string written;           // every byte written, 'V' for a magic close
    bool open = false;
    int startedByOpen = 0;         // opens of a device that was stopped
};

struct DeviceScript {
    int openResult = 3;
    unsigned options = WDIOF_SETTIMEOUT | WDIOF_MAGICCLOSE | WDIOF_KEEPALIVEPING;
    int bootStatus = 0;
    int refuseTimeoutAbove = 0;       // SETTIMEOUT over this fails with EINVAL (0: never)
    int roundTimeoutTo = 0;           // SETTIMEOUT answers this value (0: as asked)
    int keepaliveResult = 0;
    std::deque<long> writeResults;    // scripted write results, then success
    int closeResult = 0;
    int noWayOut = -ENOENT;
    int setOptionsResult = 0;         // what SETOPTIONS answers
    // What the device tells of itself while nobody holds it: 1 running (another holder, or a
    // program killed while armed), 0 stopped, or -errno. An open starts a stopped device; a
    // magic close stops it.
    int state = 1;
    // What the driver and sysfs tell for a report: a negative number makes the call fail.
    const char* identity = "Fake timer";
    int timeout = 60;
    int timeLeft = 42;
    int nodeResult = 0;   // what Node answers: 0, -ENOENT, -ENODEV
    int writable = 0;     // what Writable answers
    dev_t node = makedev(10, 130);
    std::map<std::string, std::string> attributes;  // sysfs, by name
};

class FakeDevice final : public tlacpi::WatchdogDevice {
public:
    FakeDevice(DeviceLog& log, DeviceScript& script) : m_Log(log), m_Script(script) {}

    int Open(const char*) override
    {
        ++m_Log.opens;
        if (m_Script.openResult >= 0) {
            m_Log.open = true;
            m_Log.startedByOpen += m_Script.state == 0;
            if (m_Script.state >= 0)
                m_Script.state = 1;
        }
        return m_Script.openResult;
    }

    int Ioctl(int fd, unsigned long request, void* argument) override
    {
        EXPECT_EQ(fd, m_Script.openResult);
        EXPECT_TRUE(m_Log.open);
        switch (request) {
        case WDIOC_GETSUPPORT: {
            auto& info = *static_cast<watchdog_info*>(argument);
            info.options = m_Script.options;
            std::snprintf(reinterpret_cast<char*>(info.identity), sizeof info.identity, "%s",
                          m_Script.identity);
            return 0;
        }
        case WDIOC_GETTIMEOUT:
            *static_cast<int*>(argument) = m_Script.timeout;
            return m_Script.timeout < 0 ? m_Script.timeout : 0;
        case WDIOC_GETTIMELEFT:
            *static_cast<int*>(argument) = m_Script.timeLeft;
            return m_Script.timeLeft < 0 ? m_Script.timeLeft : 0;
        case WDIOC_GETBOOTSTATUS:
            *static_cast<int*>(argument) = m_Script.bootStatus;
            return 0;
        case WDIOC_SETTIMEOUT: {
            int& timeout = *static_cast<int*>(argument);
            m_Log.timeoutsSet.push_back(timeout);
            if (m_Script.refuseTimeoutAbove && timeout > m_Script.refuseTimeoutAbove)
                return -EINVAL;
            if (m_Script.roundTimeoutTo)
                timeout = m_Script.roundTimeoutTo;
            return 0;
        }
        case WDIOC_SETOPTIONS:
            m_Log.optionsSet.push_back(*static_cast<int*>(argument));
            return m_Script.setOptionsResult;
        case WDIOC_KEEPALIVE:
            if (m_Script.keepaliveResult == 0)
                ++m_Log.keepalives;
            return m_Script.keepaliveResult;
        default:
            ADD_FAILURE() << "unexpected ioctl " << request;
            return -ENOTTY;
        }
    }

    long Write(int, const void* data, std::size_t size) override
    {
        EXPECT_TRUE(m_Log.open);
        long result = static_cast<long>(size);
        if (!m_Script.writeResults.empty()) {
            result = m_Script.writeResults.front();
            m_Script.writeResults.pop_front();
        }
        if (result > 0)
            m_Log.written.append(static_cast<const char*>(data), static_cast<std::size_t>(result));
        return result;
    }

    int Close(int) override
    {
        EXPECT_TRUE(m_Log.open);
        ++m_Log.closes;
        m_Log.open = false;
        if (m_Script.state >= 0 && !m_Log.written.empty() && m_Log.written.back() == 'V')
            m_Script.state = 0;
        return m_Script.closeResult;
    }

    int Running(const char*) override
    {
        EXPECT_FALSE(m_Log.open) << "asked while held: the library knows it runs";
        return m_Script.state;
    }

    int NoWayOut(int) override
    {
        EXPECT_TRUE(m_Log.open);
        return m_Script.noWayOut;
    }

    int Node(const char*, dev_t& node) override
    {
        node = m_Script.node;
        return m_Script.nodeResult;
    }

    int Attribute(dev_t node, const char* name, std::string& value) override
    {
        EXPECT_EQ(node, m_Script.node);
        const auto found = m_Script.attributes.find(name);
        if (found == m_Script.attributes.end())
            return -ENOENT;
        value = found->second;
        return 0;
    }

    int Writable(const char*) override { return m_Script.writable; }

private:
    DeviceLog& m_Log;
    DeviceScript& m_Script;
};

} // namespace tlacpitest
