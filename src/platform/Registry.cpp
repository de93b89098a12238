#include "platform/Registry.h"

#include "platform/FileIo.h"
#include "platform/Paths.h"
#include "platform/RegistryFormat.h"
#include "platform/SharedFiles.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>
#include <vector>

namespace fs = std::filesystem;

namespace platform {

// A key opened by one of the Open/Create calls. The paths are fixed when the key is opened.
struct RegKeyHandle {
    std::vector<std::string> parts; // below HKEY_LOCAL_MACHINE; empty for the root itself
    REGSAM access = 0;
};

namespace {

constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxKeyDepth = 64;

// Every handle handed out and not closed yet, so that a stale or foreign handle is answered
// with ERROR_INVALID_HANDLE instead of being dereferenced.
std::mutex& HandlesMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::unordered_set<RegKeyHandle*>& Handles()
{
    static std::unordered_set<RegKeyHandle*> handles;
    return handles;
}

// A copy of what a handle names, taken under the lock so a concurrent close cannot pull it away.
bool LookUp(HKEY key, RegKeyHandle& out)
{
    if (key == HKEY_LOCAL_MACHINE) {
        out = RegKeyHandle{{}, KEY_ALL_ACCESS};
        return true;
    }
    std::lock_guard lock(HandlesMutex());
    if (!Handles().contains(key))
        return false;
    out = *key;
    return true;
}

HKEY NewHandle(std::vector<std::string> parts, REGSAM access)
{
    auto* handle = new RegKeyHandle{std::move(parts), access};
    std::lock_guard lock(HandlesMutex());
    Handles().insert(handle);
    return handle;
}

bool EndsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Names that would be read as a folder step or would meet the store's own files.
bool IsValidKeyName(std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.size() > kMaxKeyNameLength)
        return false;
    if (name.find('/') != std::string_view::npos)
        return false;
    return !EndsWith(name, ".reg") && !EndsWith(name, ".lock") && !EndsWith(name, ".new");
}

LONG Resolve(HKEY base, const char* subKey, std::vector<std::string>& parts)
{
    RegKeyHandle handle;
    if (!LookUp(base, handle))
        return ERROR_INVALID_HANDLE;
    parts = std::move(handle.parts);
    if (!subKey || !*subKey)
        return ERROR_SUCCESS;
    std::string_view rest(subKey);
    for (;;) {
        std::size_t split = rest.find('\\');
        std::string_view name = rest.substr(0, split);
        if (!IsValidKeyName(name) || parts.size() >= kMaxKeyDepth)
            return ERROR_BAD_PATHNAME;
        parts.emplace_back(name);
        if (split == std::string_view::npos)
            return ERROR_SUCCESS;
        rest.remove_prefix(split + 1);
    }
}

// A key's own files and the folder that holds them.
struct KeyNames {
    fs::path folder;  // RegistryFolder() and below
    std::string leaf; // the key's own name, the start of its file names
    std::string file;
    std::string lock;
    std::string name; // as the key header shows it
};

// A write goes to a temporary file "<key>.reg.XXXXXX.new" with a fresh six-character tail, so
// that a leftover of another user never stands in the way of the next writer.
constexpr std::string_view kTempRandom = "XXXXXX";
constexpr std::string_view kTempEnd = ".new";

KeyNames NamesOf(const std::vector<std::string>& parts)
{
    KeyNames names;
    names.folder = RegistryFolder() / kRootName;
    names.name = kRootName;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
        names.folder /= parts[i];
    for (const std::string& part : parts)
        names.name += "\\" + part;
    names.leaf = parts.back();
    names.file = names.leaf + ".reg";
    names.lock = names.leaf + ".reg.lock";
    return names;
}

// Only called on a failure; an unknown or missing errno is still a failure.
LONG ErrorFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG:
    case ELOOP:
        return ERROR_BAD_PATHNAME;
    default:
        return ERROR_WRITE_FAULT;
    }
}

// Opens the folder of a key's files, walking from the machine root without following links: a
// symbolic link in the key path would lead reads and writes out of the store (or make folders
// and files in another user's folder), so it is damage. error receives the errno of a failure
// (ENOENT for a missing folder).
LONG OpenKeyFolder(const KeyNames& names, bool create, UniqueFd& folder, int& error)
{
    FdResult opened = OpenFolders(names.folder, create);
    error = opened.error;
    if (error != 0)
        return error == ELOOP ? ERROR_BADDB : ErrorFromErrno(error);
    folder = std::move(opened.fd);
    return ERROR_SUCCESS;
}

// The folder of an open key's files, for a read or a write: a key whose folder is gone was
// deleted since it was opened.
LONG OpenFolderOfOpenKey(const KeyNames& names, UniqueFd& folder)
{
    int error = 0;
    const LONG opened = OpenKeyFolder(names, false, folder, error);
    return opened != ERROR_SUCCESS && error == ENOENT ? ERROR_KEY_DELETED : opened;
}

// Opens the key's folder and looks at the key file's own entry: ERROR_SUCCESS when something is
// there, ERROR_BADDB for a link in the key path, else the answer for error, the errno of the
// step that failed (ENOENT when the folder or the file is missing).
LONG FindKeyFile(const KeyNames& names, UniqueFd& folder, int& error)
{
    if (LONG opened = OpenKeyFolder(names, false, folder, error); opened != ERROR_SUCCESS)
        return opened;
    struct stat info {};
    if (fstatat(folder.Get(), names.file.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno;
        return ErrorFromErrno(error);
    }
    return S_ISLNK(info.st_mode) ? ERROR_BADDB : ERROR_SUCCESS;
}

LONG CheckAccess(int folder, const KeyNames& names, REGSAM access)
{
    auto allowed = [folder](const std::string& name, int mode) {
        return faccessat(folder, name.c_str(), mode, AT_EACCESS) == 0;
    };
    if ((access & KEY_QUERY_VALUE) && !allowed(names.file, R_OK))
        return ErrorFromErrno(errno);
    if (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) {
        // Writing replaces the file, so the folder must take new files as well.
        if (!allowed(names.file, W_OK))
            return ErrorFromErrno(errno);
        if (!allowed(".", W_OK | X_OK))
            return ErrorFromErrno(errno);
        // Every write locks the key; a lock file the caller cannot open would fail them all.
        if (!allowed(names.lock, W_OK) && errno != ENOENT)
            return ErrorFromErrno(errno);
    }
    return ERROR_SUCCESS;
}

enum class FileState { Missing, Ok, Unusable, Link, Failed };

struct KeyFile {
    FileState state = FileState::Failed;
    std::string text;
    int error = 0;
};

// Reads a key file, at most kMaxRegistryFileSize bytes of it. A FIFO, device or folder in the
// file's place is unusable, and is opened without blocking so it cannot hang the caller; a
// symbolic link is never followed.
KeyFile ReadKeyFile(int folder, const std::string& name)
{
    KeyFile result;
    UniqueFd fd(openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
    if (!fd.IsValid()) {
        result.error = errno;
        result.state = errno == ENOENT ? FileState::Missing : errno == ELOOP ? FileState::Link : FileState::Failed;
        return result;
    }
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxRegistryFileSize) {
        result.state = FileState::Unusable;
        return result;
    }
    // Sized from the file, one byte over so that growth since fstat is seen; never past the cap.
    result.text.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t length = 0;
    for (;;) {
        if (length == result.text.size()) {
            if (length > kMaxRegistryFileSize)
                break;
            result.text.resize(kMaxRegistryFileSize + 1);
        }
        ssize_t got = read(fd.Get(), result.text.data() + length, result.text.size() - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.error = errno;
            return result;
        }
        if (got == 0)
            break;
        length += static_cast<std::size_t>(got);
    }
    if (length > kMaxRegistryFileSize) {
        result.state = FileState::Unusable;
        result.text.clear();
        return result;
    }
    result.text.resize(length);
    result.state = FileState::Ok;
    return result;
}

constexpr std::chrono::milliseconds kKeyLockWait{2000};
constexpr std::chrono::milliseconds kKeyLockRetry{10};
std::atomic<std::chrono::milliseconds::rep> g_KeyLockWait{kKeyLockWait.count()};

// An exclusive flock on the key's lock file for one read-modify-write. The lock file is never
// removed: removing it would let two writers lock two different files. Whoever may open the
// lock file can hold it for as long as they like (or hang while holding it), so the lock is
// tried without blocking until a deadline: the caller may be the user-interface thread.
class KeyLock {
public:
    KeyLock(int folder, const std::string& name)
    {
        // Opened for writing, so that only those who may write the key can hold up its writers.
        m_fd = UniqueFd(OpenOrCreateAt(folder, name, O_RDWR, kPlainFileMode));
        m_result = m_fd.IsValid() ? Take() : ErrorFromErrno(errno);
    }
    KeyLock(const KeyLock&) = delete;
    KeyLock& operator=(const KeyLock&) = delete;

    LONG Result() const { return m_result; }

private:
    LONG Take() const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_KeyLockWait.load());
        for (;;) {
            if (flock(m_fd.Get(), LOCK_EX | LOCK_NB) == 0)
                return ERROR_SUCCESS;
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                return ErrorFromErrno(errno);
            if (std::chrono::steady_clock::now() >= deadline)
                return ERROR_SHARING_VIOLATION;
            std::this_thread::sleep_for(kKeyLockRetry);
        }
    }

    UniqueFd m_fd;
    LONG m_result = ERROR_SUCCESS;
};

bool IsTempOf(std::string_view name, const std::string& leaf)
{
    const std::string start = leaf + ".reg.";
    if (name == start + "new") // the one fixed name earlier versions used
        return true;
    if (name.size() != start.size() + kTempRandom.size() + kTempEnd.size() || !name.starts_with(start) ||
        !name.ends_with(kTempEnd))
        return false;
    std::string_view random = name.substr(start.size(), kTempRandom.size());
    return std::all_of(random.begin(), random.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

// Removes the temporary files of this key. Writers make them only while they hold the key's
// lock, and the caller holds it now, so every one found is the leftover of a writer that died.
// One that cannot be removed (a folder with the sticky bit) is left: it blocks nobody.
void ClearStaleTemps(int folder, const std::string& leaf)
{
    const int listing = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* entries = fdopendir(listing);
    if (!entries) {
        (void)close(listing); // nothing was read from it
        return;
    }
    while (dirent* entry = readdir(entries))
        if (IsTempOf(entry->d_name, leaf))
            (void)unlinkat(folder, entry->d_name, 0);
    closedir(entries);
}

// Replaces the key file through a fresh temporary file, so a crash leaves the old file or the
// new one. Its rights are fixed, never those of the file that stood there: that file may have
// been put there by someone else, set-id or writable for all. The caller holds the key's lock.
LONG ReplaceKeyFile(int folder, const KeyNames& names, const std::string& text)
{
    ClearStaleTemps(folder, names.leaf);
    ReplaceOptions options;
    options.tempPrefix = names.leaf + ".reg.";
    options.tempSuffix = kTempEnd;
    options.mode = FileModeIn(folder);
    const FileResult result = ReplaceFileAt(folder, names.file, text, options);
    if (result.step == FileStep::SyncFolder)
        return ERROR_WRITE_FAULT;
    return result.Ok() ? ERROR_SUCCESS : ErrorFromErrno(result.error);
}

// Creates the key file of parts when it is missing; created tells whether this call did.
LONG CreateKeyFile(const std::vector<std::string>& parts, bool& created)
{
    created = false;
    const KeyNames names = NamesOf(parts);
    UniqueFd folder;
    int error = 0;
    if (LONG opened = OpenKeyFolder(names, true, folder, error); opened != ERROR_SUCCESS)
        return opened;
    KeyLock lock(folder.Get(), names.lock);
    if (lock.Result() != ERROR_SUCCESS)
        return lock.Result();
    struct stat info {};
    if (fstatat(folder.Get(), names.file.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        return ERROR_SUCCESS;
    if (errno != ENOENT)
        return ErrorFromErrno(errno);
    LONG result = ReplaceKeyFile(folder.Get(), names, regfile::FormatRegText({}, names.name));
    created = result == ERROR_SUCCESS;
    return result;
}

LONG OpenResolved(std::vector<std::string> parts, REGSAM access, HKEY* result)
{
    if (!parts.empty()) {
        const KeyNames names = NamesOf(parts);
        UniqueFd folder;
        int error = 0;
        if (LONG found = FindKeyFile(names, folder, error); found != ERROR_SUCCESS)
            return found;
        if (LONG denied = CheckAccess(folder.Get(), names, access); denied != ERROR_SUCCESS)
            return denied;
    }
    *result = NewHandle(std::move(parts), access);
    return ERROR_SUCCESS;
}

} // namespace

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD, char*, DWORD dwOptions, REGSAM samDesired, void*,
                     HKEY* phkResult, DWORD* lpdwDisposition)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (dwOptions != REG_OPTION_NON_VOLATILE)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::string> parts;
    if (LONG result = Resolve(hKey, lpSubKey, parts); result != ERROR_SUCCESS)
        return result;

    bool created = false;
    if (!parts.empty()) {
        UniqueFd folder;
        int error = 0;
        if (LONG found = FindKeyFile(NamesOf(parts), folder, error); found != ERROR_SUCCESS) {
            if (error != ENOENT)
                return found;
            // Every missing parent becomes a key of its own, as the tree of keys requires.
            for (std::size_t depth = 1; depth <= parts.size(); ++depth) {
                std::vector<std::string> prefix(parts.begin(), parts.begin() + static_cast<long>(depth));
                if (LONG result = CreateKeyFile(prefix, created); result != ERROR_SUCCESS)
                    return result;
            }
        }
    }
    LONG result = OpenResolved(std::move(parts), samDesired, phkResult);
    if (result == ERROR_SUCCESS && lpdwDisposition)
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return result;
}

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD, REGSAM samDesired, HKEY* phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::vector<std::string> parts;
    if (LONG result = Resolve(hKey, lpSubKey, parts); result != ERROR_SUCCESS)
        return result;
    return OpenResolved(std::move(parts), samDesired, phkResult);
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD*, DWORD* lpType, BYTE* lpData, DWORD* lpcbData)
{
    RegKeyHandle key;
    if (!LookUp(hKey, key))
        return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    if (key.parts.empty())
        return ERROR_FILE_NOT_FOUND;

    // No lock: the file is only ever replaced whole, so a reader sees the old or the new one.
    const KeyNames names = NamesOf(key.parts);
    UniqueFd folder;
    if (LONG opened = OpenFolderOfOpenKey(names, folder); opened != ERROR_SUCCESS)
        return opened;
    KeyFile file = ReadKeyFile(folder.Get(), names.file);
    if (file.state == FileState::Missing)
        return ERROR_KEY_DELETED;
    if (file.state == FileState::Link)
        return ERROR_BADDB;
    if (file.state == FileState::Failed)
        return ErrorFromErrno(file.error);
    if (file.state == FileState::Unusable)
        return ERROR_FILE_NOT_FOUND;

    regfile::RegDocument document = regfile::ParseRegText(file.text);
    const regfile::RegValue* value = regfile::FindValue(document, lpValueName ? lpValueName : "");
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (lpType)
        *lpType = value->type;
    auto size = static_cast<DWORD>(value->data.size());
    if (lpData) {
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size)
            std::memcpy(lpData, value->data.data(), size);
    }
    if (lpcbData)
        *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    RegKeyHandle key;
    if (!LookUp(hKey, key))
        return ERROR_INVALID_HANDLE;
    if (!(key.access & KEY_SET_VALUE) || key.parts.empty())
        return ERROR_ACCESS_DENIED;
    std::string name = lpValueName ? lpValueName : "";
    if ((!lpData && cbData) || cbData > kMaxRegistryFileSize || !regfile::IsValidValueName(name))
        return ERROR_INVALID_PARAMETER;

    const KeyNames names = NamesOf(key.parts);
    UniqueFd folder;
    if (LONG opened = OpenFolderOfOpenKey(names, folder); opened != ERROR_SUCCESS)
        return opened;
    KeyLock lock(folder.Get(), names.lock);
    if (lock.Result() != ERROR_SUCCESS)
        return lock.Result();
    KeyFile file = ReadKeyFile(folder.Get(), names.file);
    if (file.state == FileState::Missing)
        return ERROR_KEY_DELETED;
    if (file.state == FileState::Failed)
        return ErrorFromErrno(file.error);
    if (file.state == FileState::Unusable || file.state == FileState::Link)
        return ERROR_BADDB; // too large, not a file or a link: never overwritten blindly

    regfile::RegDocument document = regfile::ParseRegText(file.text);
    regfile::RegValue value{name, dwType, {}};
    if (cbData)
        value.data.assign(lpData, lpData + cbData);
    regfile::SetValue(document, std::move(value));
    std::string text = regfile::FormatRegText(document, names.name);
    if (text.size() > kMaxRegistryFileSize)
        return ERROR_INVALID_PARAMETER;
    return ReplaceKeyFile(folder.Get(), names, text);
}

LONG RegFlushKey(HKEY hKey)
{
    RegKeyHandle key;
    return LookUp(hKey, key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

void SetKeyLockWaitForTesting(std::chrono::milliseconds wait)
{
    g_KeyLockWait = (wait > std::chrono::milliseconds::zero() ? wait : kKeyLockWait).count();
}

LONG RegCloseKey(HKEY hKey)
{
    if (hKey == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    {
        std::lock_guard lock(HandlesMutex());
        if (Handles().erase(hKey) == 0)
            return ERROR_INVALID_HANDLE;
    }
    delete hKey;
    return ERROR_SUCCESS;
}

} // namespace platform
