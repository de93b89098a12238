#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "tolv/BiosInterface.h"

// A firmware library in memory for unit tests: installs its own ordinal table with
// tolv::SetAcpiFunctionsForTesting for its lifetime. Only one may exist at a time.
//
// Group 0x11 lists 0x11010001, 0x11020003, 0x11060007 (the watchdog item) and 0x11070001, so a
// lookup of the watchdog item walks past other entries first. Every call is counted per ordinal,
// and the library's entry points may be called from any thread.
namespace testsupport {

class FakeFirmware {
public:
    static constexpr std::uint32_t WatchdogItem = 0x11060007;

    FakeFirmware();
    ~FakeFirmware();
    FakeFirmware(const FakeFirmware&) = delete;
    FakeFirmware& operator=(const FakeFirmware&) = delete;

    // Whether group 0x11 lists the watchdog item (listed by default).
    void SetWatchdogItemPresent(bool present);
    // What writes of the watchdog item answer (success by default).
    void SetWriteResult(bool ok);
    // Whether the write of 0 (switching the watchdog off) is refused, as by a device that
    // cannot be stopped; other writes keep their answer.
    void SetRefuseOff(bool refuse);
    // Whether writes of the watchdog item raise std::runtime_error instead of answering (a
    // library failing in a way its interface does not foresee).
    void SetWriteThrows(bool throws);

    // The next write of the watchdog item, from whichever thread, waits before it lands (as a
    // device call blocked in the kernel) until ReleaseHeldWrite.
    void HoldNextWrite();
    // Waits until a write is being held; answers whether one was within the timeout.
    bool WaitForHeldWrite(std::chrono::milliseconds timeout) const;
    // Lets the held write land and returns once it has.
    void ReleaseHeldWrite();

    struct Write {
        std::uint32_t item, value, mode;
        std::thread::id thread;
    };
    std::vector<Write> Writes() const;
    std::size_t WriteCount() const;
    // The values written to the watchdog item, in order.
    std::vector<std::uint32_t> WatchdogValues() const;

    int ThreadInitCalls() const;
    int Calls(int ordinal) const;
    // Times ordinal 10 was asked for the entry after the last one of a list.
    int NextPastEndCalls() const;
    // The buffer sizes the caller passed to ordinal 5 or 11, in call order.
    std::vector<std::uint32_t> SizesGiven(int ordinal) const;

    // Replaces the item list of a group (an empty list is a group without items). Groups never
    // set are unknown: ordinal 5 answers 0 for them.
    void SetGroupItems(std::uint32_t group, std::vector<std::uint32_t> items);
    // Ordinal 11 answers 0 for this item.
    void SetDescriptionFails(std::uint32_t item, bool fails);

    // Blocks until at least count writes were made or the timeout passed; answers whether the
    // count was reached.
    bool WaitForWrites(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    static void Ordinal1();
    static std::int32_t Ordinal2(std::uint32_t item, std::uint32_t value, std::uint32_t mode);
    static std::int32_t Ordinal5(std::uint32_t group, void* buffer, std::uint32_t* size);
    static tolv::AcpiHandle Ordinal6(void* buffer);
    static std::int32_t Ordinal7(void* buffer);
    static void* Ordinal9(tolv::AcpiHandle entry);
    static tolv::AcpiHandle Ordinal10(tolv::AcpiHandle entry);
    static std::int32_t Ordinal11(void* entryData, void* buffer, std::uint32_t* size);

    void Count(int ordinal);
    // The caller holds m_Mutex (in lock); waits there while the write is held.
    void HoldIfAsked(std::unique_lock<std::mutex>& lock);

    mutable std::mutex m_Mutex;
    mutable std::condition_variable m_WriteMade;
    std::map<std::uint32_t, std::vector<std::uint32_t>> m_Groups;
    std::set<std::uint32_t> m_FailingDescriptions;
    bool m_RefuseOff = false;
    bool m_WriteThrows = false;
    bool m_HoldNext = false;
    bool m_Holding = false;
    bool m_Release = false;
    bool m_WatchdogPresent = true;
    bool m_WriteResult = true;
    std::vector<Write> m_Writes;
    int m_Calls[12] = {};
    int m_NextPastEnd = 0;
    std::vector<std::uint32_t> m_ListSizes, m_DescriptionSizes;
    tolv::AcpiFunctions m_Table{};
};

} // namespace testsupport
