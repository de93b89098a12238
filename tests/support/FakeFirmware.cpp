#include "FakeFirmware.h"

#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <iterator>
#include <stdexcept>

namespace testsupport {

namespace {

// Buffer layout of this fake: a header (magic, entry count) and entries of two words each
// (data word, last-entry flag). An entry handle is the entry's address.
constexpr std::uint32_t ListMagic = 0x5453494c;  // "LIST"
constexpr std::uint32_t DescMagic = 0x43534544;  // "DESC"
constexpr std::uint32_t DescriptionTag = 0xdeadbeef;

struct Entry {
    std::uint32_t data;
    std::uint32_t last;
};

std::uint32_t Fill(void* buffer, std::uint32_t magic, const std::vector<std::uint32_t>& words)
{
    auto* out = static_cast<std::uint32_t*>(buffer);
    out[0] = magic;
    out[1] = static_cast<std::uint32_t>(words.size());
    auto* entries = reinterpret_cast<Entry*>(out + 2);
    for (std::size_t i = 0; i < words.size(); ++i)
        entries[i] = Entry{words[i], i + 1 == words.size() ? 1u : 0u};
    return static_cast<std::uint32_t>(8 + words.size() * sizeof(Entry));
}

std::mutex g_InstanceMutex;
FakeFirmware* g_Instance = nullptr;

FakeFirmware& Instance()
{
    std::lock_guard lock(g_InstanceMutex);
    if (!g_Instance) {
        std::fputs("FakeFirmware: library called with no fake installed\n", stderr);
        std::abort();
    }
    return *g_Instance;
}

} // namespace

FakeFirmware::FakeFirmware()
{
    {
        std::lock_guard lock(g_InstanceMutex);
        if (g_Instance) {
            std::fputs("FakeFirmware: only one may exist at a time\n", stderr);
            std::abort();
        }
        g_Instance = this;
    }
    m_Groups[0x11] = {0x11010001, 0x11020003, WatchdogItem, 0x11070001};
    m_Groups[0x12] = {0x12000001, 0x12000002};
    m_Table = tolv::AcpiFunctions{&Ordinal1, &Ordinal2, &Ordinal5, &Ordinal6,
                                  &Ordinal7, &Ordinal9, &Ordinal10, &Ordinal11};
    tolv::SetAcpiFunctionsForTesting(&m_Table);
}

FakeFirmware::~FakeFirmware()
{
    tolv::SetAcpiFunctionsForTesting(nullptr);
    std::lock_guard lock(g_InstanceMutex);
    g_Instance = nullptr;
}

void FakeFirmware::SetWatchdogItemPresent(bool present)
{
    std::lock_guard lock(m_Mutex);
    m_WatchdogPresent = present;
}

void FakeFirmware::SetWriteResult(bool ok)
{
    std::lock_guard lock(m_Mutex);
    m_WriteResult = ok;
}

void FakeFirmware::SetRefuseOff(bool refuse)
{
    std::lock_guard lock(m_Mutex);
    m_RefuseOff = refuse;
}

void FakeFirmware::SetWriteThrows(bool throws)
{
    std::lock_guard lock(m_Mutex);
    m_WriteThrows = throws;
}

void FakeFirmware::HoldNextWrite()
{
    std::lock_guard lock(m_Mutex);
    m_HoldNext = true;
}

bool FakeFirmware::WaitForHeldWrite(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_Mutex);
    return m_WriteMade.wait_for(lock, timeout, [&] { return m_Holding; });
}

void FakeFirmware::ReleaseHeldWrite()
{
    std::unique_lock lock(m_Mutex);
    m_Release = true;
    m_WriteMade.notify_all();
    m_WriteMade.wait(lock, [&] { return !m_Holding; });
}

void FakeFirmware::HoldIfAsked(std::unique_lock<std::mutex>& lock)
{
    if (!m_HoldNext)
        return;
    m_HoldNext = false;
    m_Holding = true;
    m_WriteMade.notify_all();
    m_WriteMade.wait(lock, [&] { return m_Release; });
    m_Release = false;
    m_Holding = false;
    // ReleaseHeldWrite returns once the caller's write has landed: it is recorded before the
    // lock is released.
}

std::vector<FakeFirmware::Write> FakeFirmware::Writes() const
{
    std::lock_guard lock(m_Mutex);
    return m_Writes;
}

std::size_t FakeFirmware::WriteCount() const
{
    std::lock_guard lock(m_Mutex);
    return m_Writes.size();
}

std::vector<std::uint32_t> FakeFirmware::WatchdogValues() const
{
    std::lock_guard lock(m_Mutex);
    std::vector<std::uint32_t> values;
    for (const Write& write : m_Writes)
        if (write.item == WatchdogItem)
            values.push_back(write.value);
    return values;
}

int FakeFirmware::ThreadInitCalls() const
{
    return Calls(1);
}

int FakeFirmware::Calls(int ordinal) const
{
    std::lock_guard lock(m_Mutex);
    if (ordinal < 0 || ordinal >= static_cast<int>(std::size(m_Calls)))
        return 0;
    return m_Calls[ordinal];
}

int FakeFirmware::NextPastEndCalls() const
{
    std::lock_guard lock(m_Mutex);
    return m_NextPastEnd;
}

std::vector<std::uint32_t> FakeFirmware::SizesGiven(int ordinal) const
{
    std::lock_guard lock(m_Mutex);
    if (ordinal == 5)
        return m_ListSizes;
    if (ordinal == 11)
        return m_DescriptionSizes;
    return {};
}

void FakeFirmware::SetGroupItems(std::uint32_t group, std::vector<std::uint32_t> items)
{
    std::lock_guard lock(m_Mutex);
    m_Groups[group] = std::move(items);
}

void FakeFirmware::SetDescriptionFails(std::uint32_t item, bool fails)
{
    std::lock_guard lock(m_Mutex);
    if (fails)
        m_FailingDescriptions.insert(item);
    else
        m_FailingDescriptions.erase(item);
}

bool FakeFirmware::WaitForWrites(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_Mutex);
    return m_WriteMade.wait_for(lock, timeout, [&] { return m_Writes.size() >= count; });
}

void FakeFirmware::Count(int ordinal)
{
    // The caller holds m_Mutex.
    ++m_Calls[ordinal];
}

void FakeFirmware::Ordinal1()
{
    FakeFirmware& self = Instance();
    std::lock_guard lock(self.m_Mutex);
    self.Count(1);
}

std::int32_t FakeFirmware::Ordinal2(std::uint32_t item, std::uint32_t value, std::uint32_t mode)
{
    FakeFirmware& self = Instance();
    std::int32_t result = 0;
    {
        std::unique_lock lock(self.m_Mutex);
        if (item == WatchdogItem) {
            if (self.m_WriteThrows)
                throw std::runtime_error("firmware library failed");
            self.HoldIfAsked(lock);
        }
        self.Count(2);
        self.m_Writes.push_back(Write{item, value, mode, std::this_thread::get_id()});
        if (item == WatchdogItem)
            result = self.m_WatchdogPresent && self.m_WriteResult && !(value == 0 && self.m_RefuseOff) ? 1 : 0;
        else if (auto group = self.m_Groups.find(item >> 24); group != self.m_Groups.end())
            for (std::uint32_t listed : group->second)
                if (listed == item)
                    result = 1;
    }
    self.m_WriteMade.notify_all();
    return result;
}

std::int32_t FakeFirmware::Ordinal5(std::uint32_t group, void* buffer, std::uint32_t* size)
{
    FakeFirmware& self = Instance();
    std::lock_guard lock(self.m_Mutex);
    self.Count(5);
    if (size)
        self.m_ListSizes.push_back(*size);
    auto found = self.m_Groups.find(group);
    if (found == self.m_Groups.end() || !buffer || !size)
        return 0;
    std::vector<std::uint32_t> items;
    for (std::uint32_t item : found->second)
        if (item != WatchdogItem || self.m_WatchdogPresent)
            items.push_back(item);
    if (*size < 8 + items.size() * sizeof(Entry))
        return 0;
    *size = Fill(buffer, ListMagic, items);
    return 1;
}

tolv::AcpiHandle FakeFirmware::Ordinal6(void* buffer)
{
    FakeFirmware& self = Instance();
    std::lock_guard lock(self.m_Mutex);
    self.Count(6);
    auto* words = static_cast<std::uint32_t*>(buffer);
    if (!buffer || (words[0] != ListMagic && words[0] != DescMagic) || words[1] == 0)
        return 0;
    return reinterpret_cast<tolv::AcpiHandle>(words + 2);
}

std::int32_t FakeFirmware::Ordinal7(void* buffer)
{
    FakeFirmware& self = Instance();
    std::lock_guard lock(self.m_Mutex);
    self.Count(7);
    auto* words = static_cast<std::uint32_t*>(buffer);
    if (!buffer || words[0] != ListMagic)
        return 0;
    return static_cast<std::int32_t>(words[1]);
}

void* FakeFirmware::Ordinal9(tolv::AcpiHandle entry)
{
    FakeFirmware& self = Instance();
    std::lock_guard lock(self.m_Mutex);
    self.Count(9);
    if (!entry)
        return nullptr;
    return &reinterpret_cast<Entry*>(entry)->data;
}

tolv::AcpiHandle FakeFirmware::Ordinal10(tolv::AcpiHandle entry)
{
    FakeFirmware& self = Instance();
    std::lock_guard lock(self.m_Mutex);
    self.Count(10);
    if (!entry)
        return 0;
    auto* current = reinterpret_cast<Entry*>(entry);
    if (current->last) {
        ++self.m_NextPastEnd;
        return 0;
    }
    return reinterpret_cast<tolv::AcpiHandle>(current + 1);
}

std::int32_t FakeFirmware::Ordinal11(void* entryData, void* buffer, std::uint32_t* size)
{
    FakeFirmware& self = Instance();
    std::lock_guard lock(self.m_Mutex);
    self.Count(11);
    if (size)
        self.m_DescriptionSizes.push_back(*size);
    if (!entryData || !buffer || !size)
        return 0;
    std::uint32_t item;
    std::memcpy(&item, entryData, sizeof item);
    if (self.m_FailingDescriptions.count(item))
        return 0;
    if (*size < 8 + 2 * sizeof(Entry))
        return 0;
    *size = Fill(buffer, DescMagic, {item, DescriptionTag});
    return 1;
}

} // namespace testsupport
