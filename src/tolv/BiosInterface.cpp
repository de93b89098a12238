#include "tolv/BiosInterface.h"

#include "platform/Assert.h"
#include "platform/Paths.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace tolv {

namespace {

constexpr std::uint32_t BufferSize = 4096;

std::atomic<const AcpiFunctions*> g_TestFunctions{nullptr};

// The library's optional account of its last failure (not an ordinal; older libraries lack
// it), and why the library itself could not be used. Written once, under the load mutex.
using LastErrorFunction = std::int32_t (*)(char* buffer, std::uint32_t size);
std::atomic<LastErrorFunction> g_LastError{nullptr};
std::atomic<TlAcpiReadWatchdogFunction> g_ReadWatchdog{nullptr};
std::mutex g_ReportSourceMutex;
WatchdogReportSource g_ReportSource;
std::mutex g_LoadErrorMutex;
std::string g_LoadError;
std::string g_TestError;

void SetLoadError(std::string text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    std::lock_guard lock(g_LoadErrorMutex);
    g_LoadError = std::move(text);
}

// A table with a missing entry is treated as no library at all, so a caller never jumps
// through a null pointer.
bool IsComplete(const AcpiFunctions& f)
{
    return f.Ordinal1 && f.Ordinal2 && f.Ordinal5 && f.Ordinal6 && f.Ordinal7 && f.Ordinal9
        && f.Ordinal10 && f.Ordinal11;
}

template <typename Function>
bool Resolve(void* library, const char* name, Function& out)
{
    void* symbol = dlsym(library, name);
    out = reinterpret_cast<Function>(symbol);
    return symbol != nullptr;
}

const AcpiFunctions* ProgramFolderLibrary()
{
    // Looked for once; a missing library is not looked for again.
    static const AcpiFunctions* const loaded = [] {
        const std::string path = (platform::ProgramFolder() / "libtlacpi.so").string();
        return LoadAcpiLibrary(path.c_str());
    }();
    return loaded;
}

} // namespace

const AcpiFunctions* LoadAcpiLibrary(const char* path)
{
    // Loaded libraries and their tables live for the whole process and are never freed; a
    // second load of the same path answers the same table.
    static std::mutex mutex;
    static auto* loaded = new std::map<std::string, std::unique_ptr<AcpiFunctions>>;
    std::lock_guard lock(mutex);
    if (auto found = loaded->find(path); found != loaded->end())
        return found->second.get();
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = dlerror();
        SetLoadError(std::string("Firmware library ") + path + " not loaded: "
                     + (reason ? reason : "unknown error"));
        return nullptr;
    }
    auto table = std::make_unique<AcpiFunctions>();
    const bool complete = Resolve(library, "TlAcpiOrdinal1", table->Ordinal1)
        && Resolve(library, "TlAcpiOrdinal2", table->Ordinal2)
        && Resolve(library, "TlAcpiOrdinal5", table->Ordinal5)
        && Resolve(library, "TlAcpiOrdinal6", table->Ordinal6)
        && Resolve(library, "TlAcpiOrdinal7", table->Ordinal7)
        && Resolve(library, "TlAcpiOrdinal9", table->Ordinal9)
        && Resolve(library, "TlAcpiOrdinal10", table->Ordinal10)
        && Resolve(library, "TlAcpiOrdinal11", table->Ordinal11);
    if (!complete) {
        SetLoadError(std::string("Firmware library ") + path + " not used: an ordinal is missing");
        dlclose(library);
        return nullptr;
    }
    LastErrorFunction lastError = nullptr;
    if (Resolve(library, "TlAcpiLastError", lastError))
        g_LastError.store(lastError);
    TlAcpiReadWatchdogFunction readWatchdog = nullptr;
    if (Resolve(library, "TlAcpiReadWatchdog", readWatchdog))
        g_ReadWatchdog.store(readWatchdog);
    return loaded->emplace(path, std::move(table)).first->second.get();
}

const AcpiFunctions* GetAcpiFunctions()
{
    const AcpiFunctions* functions = g_TestFunctions.load();
    if (!functions)
        functions = ProgramFolderLibrary();
    return functions && IsComplete(*functions) ? functions : nullptr;
}

void SetAcpiFunctionsForTesting(const AcpiFunctions* functions)
{
    g_TestFunctions.store(functions);
}

std::string LastFirmwareError()
{
    if (g_TestFunctions.load()) {
        std::lock_guard lock(g_LoadErrorMutex);
        return g_TestError;
    }
    if (!ProgramFolderLibrary()) {
        std::lock_guard lock(g_LoadErrorMutex);
        return g_LoadError;
    }
    const LastErrorFunction lastError = g_LastError.load();
    if (!lastError)
        return {};
    char text[1024];
    return lastError(text, sizeof text) > 0 ? std::string(text) : std::string();
}

void SetLastFirmwareErrorForTesting(const std::string& text)
{
    std::lock_guard lock(g_LoadErrorMutex);
    g_TestError = text;
}

std::optional<TlAcpiWatchdogReport> ReadWatchdogReport()
{
    {
        std::lock_guard lock(g_ReportSourceMutex);
        if (g_ReportSource)
            return g_ReportSource();
    }
    if (g_TestFunctions.load() || !ProgramFolderLibrary())
        return std::nullopt;
    const TlAcpiReadWatchdogFunction read = g_ReadWatchdog.load();
    if (!read)
        return std::nullopt;
    TlAcpiWatchdogReport report{};
    report.size = sizeof report;
    if (!read(&report))
        return std::nullopt;
    // The library terminates its texts; a damaged one must still never run off its field.
    report.path[sizeof report.path - 1] = '\0';
    report.identity[sizeof report.identity - 1] = '\0';
    report.restartId[sizeof report.restartId - 1] = '\0';
    report.holder[sizeof report.holder - 1] = '\0';
    report.problem[sizeof report.problem - 1] = '\0';
    return report;
}

void SetWatchdogReportForTesting(WatchdogReportSource source)
{
    std::lock_guard lock(g_ReportSourceMutex);
    g_ReportSource = std::move(source);
}

void AcpiThreadInit()
{
    if (const AcpiFunctions* f = GetAcpiFunctions())
        f->Ordinal1();
}

GroupInfoTraverser::GroupInfoTraverser(std::uint32_t group)
{
    Open(group);
}

GroupInfoTraverser::~GroupInfoTraverser()
{
    delete[] m_Buffer;
}

bool GroupInfoTraverser::Open(std::uint32_t group)
{
    TOLV_ASSERT(!IsOpen());
    if (!m_Buffer)
        m_Buffer = new std::uint8_t[BufferSize]();
    std::uint32_t size = BufferSize;
    m_Index = 0;
    m_Count = 0;
    const AcpiFunctions* f = GetAcpiFunctions();
    if (!f || !f->Ordinal5(group, m_Buffer, &size))
        return false;
    m_Count = f->Ordinal7(m_Buffer);
    m_Current = f->Ordinal6(m_Buffer);
    return true;
}

bool GroupInfoTraverser::IsOpen() const
{
    return m_Buffer != nullptr;
}

bool GroupInfoTraverser::IsDone() const
{
    return m_Index >= m_Count;
}

void* GroupInfoTraverser::Current() const
{
    const AcpiFunctions* f = GetAcpiFunctions();
    return f ? f->Ordinal9(m_Current) : nullptr;
}

void GroupInfoTraverser::Next()
{
    if (m_Index < m_Count)
        ++m_Index;
    // Never ask the library for the entry after the last one.
    if (m_Index < m_Count) {
        if (const AcpiFunctions* f = GetAcpiFunctions())
            m_Current = f->Ordinal10(m_Current);
    }
}

bool ItemExists(std::uint32_t item)
{
    GroupInfoTraverser traverser(item >> 24);
    const AcpiFunctions* f = GetAcpiFunctions();
    if (!f)
        return false;
    auto description = std::make_unique<std::uint8_t[]>(BufferSize);
    while (!traverser.IsDone()) {
        std::uint32_t size = BufferSize;
        if (f->Ordinal11(traverser.Current(), description.get(), &size)) {
            const void* data = f->Ordinal9(f->Ordinal6(description.get()));
            std::uint32_t identifier = 0;
            if (data) {
                std::memcpy(&identifier, data, sizeof identifier);
                if (identifier == item)
                    return true;
            }
        }
        traverser.Next();
    }
    return false;
}

bool WriteItem(std::uint32_t item, std::uint32_t value, std::uint32_t mode)
{
    const AcpiFunctions* f = GetAcpiFunctions();
    return f && f->Ordinal2(item, value, mode) != 0;
}

} // namespace tolv
