#pragma once

#include "tolv/WatchdogReport.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Access to numbered firmware items through the maker's ACPI interface library
// (libtlacpi.so beside the program, one exported C function per ordinal).
//
// An item identifier's top byte is its group: item 0x11060007 belongs to group 0x11.
namespace tolv {

// Entry handles are opaque to the program; they only live as long as the buffer they came from.
using AcpiHandle = std::uintptr_t;

// The library's calls, by ordinal. Filled from libtlacpi.so with dlsym, or by a test.
struct AcpiFunctions {
    void (*Ordinal1)();                                                        // thread init
    std::int32_t (*Ordinal2)(std::uint32_t item, std::uint32_t value, std::uint32_t mode); // write
    std::int32_t (*Ordinal5)(std::uint32_t group, void* buffer, std::uint32_t* size);     // list group
    AcpiHandle (*Ordinal6)(void* buffer);                                      // first entry
    std::int32_t (*Ordinal7)(void* buffer);                                    // entry count
    void* (*Ordinal9)(AcpiHandle entry);                                       // entry data
    AcpiHandle (*Ordinal10)(AcpiHandle entry);                                 // next entry
    std::int32_t (*Ordinal11)(void* entryData, void* buffer, std::uint32_t* size); // describe
};

// The table in use: the one a test installed, else the library loaded from the program folder
// on first use, else null (every item then reads as absent).
const AcpiFunctions* GetAcpiFunctions();

// Installs a table for tests (null returns to the real library). Not thread-safe: install
// before any thread uses the firmware.
void SetAcpiFunctionsForTesting(const AcpiFunctions* functions);

// The firmware's most recent failure in words ("Watchdog device /dev/watchdog cannot be opened:
// Permission denied"), or why the library could not be loaded; empty when nothing is known.
std::string LastFirmwareError();
// For tests with an installed table: the text LastFirmwareError answers.
void SetLastFirmwareErrorForTesting(const std::string& text);

// What the firmware library tells of the watchdog (see WatchdogReport.h); no value when the
// library cannot be loaded or does not tell (an older library).
std::optional<TlAcpiWatchdogReport> ReadWatchdogReport();
// For tests: answers ReadWatchdogReport instead of the library; null returns to the library.
using WatchdogReportSource = std::function<std::optional<TlAcpiWatchdogReport>()>;
void SetWatchdogReportForTesting(WatchdogReportSource source);

// Ordinal 1, once at the start of every kick thread. Does nothing without a library.
void AcpiThreadInit();

// Loads a firmware library and looks up its ordinals. Null when the library cannot be loaded
// or lacks one of them; a loaded library stays loaded for the life of the process.
const AcpiFunctions* LoadAcpiLibrary(const char* path);

// The item the watchdog countdown lives in, and the write mode the program uses for it.
inline constexpr std::uint32_t WatchdogItemId = 0x11060007;
inline constexpr std::uint32_t WatchdogWriteMode = 2;

class GroupInfoTraverser {
public:
    explicit GroupInfoTraverser(std::uint32_t group);
    ~GroupInfoTraverser();
    GroupInfoTraverser(const GroupInfoTraverser&) = delete;
    GroupInfoTraverser& operator=(const GroupInfoTraverser&) = delete;

    bool Open(std::uint32_t group);
    bool IsOpen() const;
    bool IsDone() const;
    void* Current() const;
    void Next();

private:
    std::uint8_t* m_Buffer = nullptr;
    AcpiHandle m_Current = 0;
    std::int32_t m_Index = 0;
    std::int32_t m_Count = 0;
};

bool ItemExists(std::uint32_t item);
bool WriteItem(std::uint32_t item, std::uint32_t value, std::uint32_t mode);

} // namespace tolv
