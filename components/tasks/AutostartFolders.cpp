#include "AutostartFolders.h"

#include "TaskEntry.h"

#include "platform/Paths.h"
#include "platform/SharedFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tasks {

namespace {

namespace fs = std::filesystem;

// An autostart entry is a few hundred bytes; anything this large is not one of ours.
constexpr off_t kMaxEntrySize = 1 << 20;

std::string Reason(const char* step, const fs::path& path, int error)
{
    return std::string(step) + " " + path.string() + ": " + std::strerror(error);
}

AutostartFolder Failed(fs::path path, int error, std::string reason)
{
    AutostartFolder folder;
    folder.path = std::move(path);
    folder.error = error;
    folder.reason = std::move(reason);
    return folder;
}

bool OwnedByCaller(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_uid == ::getuid();
}

// One step below parent: a link is followed only when the caller owns it; anything else is
// opened (or made) without following links.
platform::FdResult OpenStep(int parent, const fs::path& name, bool create)
{
    struct stat info {};
    if (::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
        if (info.st_uid != ::getuid())
            return {platform::UniqueFd(), ELOOP};
        platform::UniqueFd fd(::openat(parent, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        const int error = fd.IsValid() ? 0 : errno;
        return {std::move(fd), error};
    }
    return platform::OpenFoldersAt(parent, name, create);
}

std::string FailedStep(const platform::FileResult& result, const fs::path& path,
                       const fs::path& folder)
{
    switch (result.step) {
    case platform::FileStep::Create: return Reason("cannot create a file in", folder, result.error);
    case platform::FileStep::Write: return Reason("cannot write", path, result.error);
    case platform::FileStep::Chmod: return Reason("cannot set the permissions of", path, result.error);
    case platform::FileStep::SyncFile: return Reason("cannot flush", path, result.error);
    case platform::FileStep::Close: return Reason("cannot close", path, result.error);
    default: return Reason("cannot replace", path, result.error);
    }
}

bool IsActiveEntryText(const std::string& text)
{
    if (ReadEntryValue(text, "Type") != "Application" || !ReadEntryValue(text, "Exec"))
        return false;
    return ReadEntryValue(text, "Hidden") != "true"
        && ReadEntryValue(text, "X-GNOME-Autostart-enabled") != "false";
}

// A folder named by its path, which the administrator chose (links are followed).
AutostartFolder OpenByPath(const fs::path& path, bool create)
{
    std::error_code ec;
    if (create)
        fs::create_directories(path, ec);
    if (ec)
        return Failed(path, ec.value(), Reason("cannot create", path, ec.value()));
    AutostartFolder folder;
    folder.path = path;
    folder.fd = platform::UniqueFd(::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.fd.IsValid()) {
        const int error = errno;
        return Failed(path, error, Reason("cannot open", path, error));
    }
    return folder;
}

} // namespace

AutostartFolder OpenSystemFolder(bool create)
{
    return OpenByPath(platform::AutostartFolder(), create);
}

AutostartFolder OpenUserFolder(bool create)
{
    const platform::UserAutostartPaths paths = platform::UserAutostartFolder();
    const fs::path path = paths.Folder();
    if (paths.home.empty())
        return Failed(path, ENOENT, "no home folder is known for this user");
    platform::UniqueFd at(::open(paths.home.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!at.IsValid()) {
        const int error = errno;
        return Failed(path, error, Reason("cannot open", paths.home, error));
    }
    if (!OwnedByCaller(at.Get()))
        return Failed(path, EPERM, paths.home.string() + " belongs to another user");
    for (const fs::path& part : paths.below) {
        platform::FdResult next = OpenStep(at.Get(), part, create);
        if (next.error != 0)
            return Failed(path, next.error, Reason(create ? "cannot create" : "cannot open", path, next.error));
        at = std::move(next.fd);
    }
    if (!OwnedByCaller(at.Get()))
        return Failed(path, EPERM, path.string() + " belongs to another user");
    AutostartFolder folder;
    folder.fd = std::move(at);
    folder.path = path;
    return folder;
}

EntryState ReadEntryState(int folder, const std::string& fileName)
{
    // Not blocking: a FIFO in place of the entry must not hang the reader.
    platform::UniqueFd fd(::openat(folder, fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.IsValid())
        return errno == ENOENT ? EntryState::Missing : EntryState::Inactive;
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxEntrySize)
        return EntryState::Inactive;
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd.Get(), text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return IsActiveEntryText(text) ? EntryState::Active : EntryState::Inactive;
}

bool IsEntryInForce(const std::string& fileName)
{
    const AutostartFolder user = OpenUserFolder(false);
    if (user.error == 0) {
        const EntryState own = ReadEntryState(user.fd.Get(), fileName);
        if (own != EntryState::Missing)
            return own == EntryState::Active;
    }
    const AutostartFolder system = OpenSystemFolder(false);
    return system.error == 0 && ReadEntryState(system.fd.Get(), fileName) == EntryState::Active;
}

bool IsEntryActive(const fs::path& path)
{
    const platform::UniqueFd folder(::open(path.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return folder.IsValid()
        && ReadEntryState(folder.Get(), path.filename().string()) == EntryState::Active;
}

int WriteEntryAt(const AutostartFolder& folder, const std::string& fileName,
                 std::string_view content, std::string& error)
{
    platform::ReplaceOptions options;
    options.mode = 0644;
    const platform::FileResult result = platform::ReplaceFileAt(folder.fd.Get(), fileName, content, options);
    // The rename reaches the disk only with the folder; a failed flush of the folder leaves the
    // new file in place and is not worth failing the whole write for.
    if (result.Ok() || result.step == platform::FileStep::SyncFolder)
        return 0;
    error = FailedStep(result, folder.path / fileName, folder.path);
    return result.error;
}

int RemoveEntryAt(const AutostartFolder& folder, const std::string& fileName, std::string& error)
{
    if (::unlinkat(folder.fd.Get(), fileName.c_str(), 0) == 0 || errno == ENOENT)
        return 0;
    const int failure = errno;
    error = Reason("cannot delete", folder.path / fileName, failure);
    return failure;
}

bool WriteFileAtomically(const fs::path& path, std::string_view content, std::string& error)
{
    const AutostartFolder folder = OpenByPath(path.parent_path(), true);
    if (folder.error != 0) {
        error = folder.reason;
        return false;
    }
    return WriteEntryAt(folder, path.filename().string(), content, error) == 0;
}

} // namespace tasks
