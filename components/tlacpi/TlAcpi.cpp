// The firmware library's entry points, one per ordinal. The program enters them from its
// user-interface thread and its kick thread without a lock; the firmware objects guard
// themselves and the choice of firmware is guarded here.

#include "AcpiBuffers.h"
#include "Firmware.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#define TLACPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr const char* DefaultFirmware = "device:/dev/watchdog";

// The firmware for the TLACPI_FIRMWARE value in effect. Each firmware is made once and kept
// for the life of the process (an open watchdog device must never be dropped silently).
tlacpi::Firmware* CurrentFirmware()
{
    static std::mutex mutex;
    static auto* firmwares = new std::map<std::string, std::unique_ptr<tlacpi::Firmware>>;
    const char* choice = std::getenv("TLACPI_FIRMWARE");
    const std::string key = choice && *choice ? choice : DefaultFirmware;
    std::lock_guard lock(mutex);
    auto found = firmwares->find(key);
    if (found == firmwares->end())
        found = firmwares->emplace(key, tlacpi::MakeFirmware(key)).first;
    return found->second.get();
}

// Why the firmware named by TLACPI_FIRMWARE could not be made; empty when it was.
std::string ChoiceError()
{
    const char* choice = std::getenv("TLACPI_FIRMWARE");
    return "TLACPI_FIRMWARE=" + std::string(choice ? choice : "")
        + " is neither device:PATH nor sim:DIR";
}

bool Lists(tlacpi::Firmware& firmware, std::uint32_t item)
{
    const auto items = firmware.ListGroup(item >> 24);
    return items && std::find(items->begin(), items->end(), item) != items->end();
}

} // namespace

// Thread start; nothing to prepare.
TLACPI_EXPORT void TlAcpiOrdinal1() {}

// Writes an item; non-zero on success.
TLACPI_EXPORT std::int32_t TlAcpiOrdinal2(std::uint32_t item, std::uint32_t value,
                                          std::uint32_t mode)
{
    tlacpi::Firmware* firmware = CurrentFirmware();
    return firmware && firmware->Write(item, value, mode) ? 1 : 0;
}

// Fills buffer with the item list of a group; non-zero on success.
TLACPI_EXPORT std::int32_t TlAcpiOrdinal5(std::uint32_t group, void* buffer, std::uint32_t* size)
{
    tlacpi::Firmware* firmware = CurrentFirmware();
    if (!firmware)
        return 0;
    const auto items = firmware->ListGroup(group);
    return items && tlacpi::FillBuffer(buffer, size, tlacpi::ListMagic, *items) ? 1 : 0;
}

// The first entry of a filled buffer.
TLACPI_EXPORT std::uintptr_t TlAcpiOrdinal6(void* buffer)
{
    return tlacpi::FirstEntry(buffer);
}

// The number of entries of an item list.
TLACPI_EXPORT std::int32_t TlAcpiOrdinal7(void* buffer)
{
    return tlacpi::EntryCount(buffer);
}

// The data of an entry.
TLACPI_EXPORT void* TlAcpiOrdinal9(std::uintptr_t entry)
{
    return tlacpi::EntryData(entry);
}

// The entry after this one; 0 after the last.
TLACPI_EXPORT std::uintptr_t TlAcpiOrdinal10(std::uintptr_t entry)
{
    return tlacpi::NextEntry(entry);
}

// Fills buffer with the description of the item whose list entry data is given; non-zero on
// success.
TLACPI_EXPORT std::int32_t TlAcpiOrdinal11(void* entryData, void* buffer, std::uint32_t* size)
{
    tlacpi::Firmware* firmware = CurrentFirmware();
    if (!firmware || !entryData)
        return 0;
    std::uint32_t item;
    std::memcpy(&item, entryData, sizeof item);
    if (!Lists(*firmware, item))
        return 0;
    return tlacpi::FillBuffer(buffer, size, tlacpi::DescriptionMagic,
                              {item, tlacpi::AccessRead | tlacpi::AccessWrite})
        ? 1
        : 0;
}

// Not an ordinal: the most recent failure of the firmware in words, copied into buffer (cut to
// size - 1 bytes and terminated). Answers the full length of the text; 0 when nothing failed.
TLACPI_EXPORT std::int32_t TlAcpiLastError(char* buffer, std::uint32_t size)
{
    tlacpi::Firmware* firmware = CurrentFirmware();
    const std::string text = firmware ? firmware->LastError() : ChoiceError();
    if (buffer && size > 0) {
        const std::size_t length = std::min<std::size_t>(text.size(), size - 1);
        std::memcpy(buffer, text.data(), length);
        buffer[length] = '\0';
    }
    return static_cast<std::int32_t>(std::min<std::size_t>(text.size(), INT32_MAX));
}

// Not an ordinal: what the watchdog hardware told of itself while the library holds it: the
// countdown the driver holds (0 while none was set) and its boot status bits (32,
// WDIOF_CARDRESET, when the last restart was the watchdog's). Non-zero when known; either
// pointer may be null.
TLACPI_EXPORT std::int32_t TlAcpiWatchdogStatus(std::int32_t* timeout, std::int32_t* bootStatus)
{
    tlacpi::Firmware* firmware = CurrentFirmware();
    const auto status = firmware ? firmware->Status() : std::nullopt;
    if (!status)
        return 0;
    if (timeout)
        *timeout = status->timeout;
    if (bootStatus)
        *bootStatus = status->bootStatus;
    return 1;
}

// Not an ordinal: what can be told of the watchdog behind the watchdog item (see
// tolv/WatchdogReport.h). The caller sets report->size; 0 for a size this library does not
// know, else 1 with every field filled (numbers it cannot tell are TLACPI_UNKNOWN).
TLACPI_EXPORT std::int32_t TlAcpiReadWatchdog(TlAcpiWatchdogReport* report)
{
    if (!report || report->size != sizeof(TlAcpiWatchdogReport))
        return 0;
    *report = TlAcpiWatchdogReport{};
    report->size = sizeof(TlAcpiWatchdogReport);
    report->running = report->timeout = report->timeLeft = report->noWayOut = report->bootStatus
        = TLACPI_UNKNOWN;
    tlacpi::Firmware* firmware = CurrentFirmware();
    if (!firmware) {
        tlacpi::SetText(report->problem, ChoiceError());
        return 1;
    }
    firmware->Report(*report);
    return 1;
}
