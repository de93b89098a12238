#include "platform/FileIo.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

UniqueFd::~UniqueFd()
{
    const int saved = errno;
    (void)Close(); // a failed close here has nobody to tell; a caller who cares calls Close
    errno = saved;
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        const int saved = errno;
        (void)Close();
        errno = saved;
        m_Fd = other.Release();
    }
    return *this;
}

int UniqueFd::Release()
{
    const int fd = m_Fd;
    m_Fd = -1;
    return fd;
}

int UniqueFd::Close()
{
    if (m_Fd < 0)
        return 0;
    const int fd = Release();
    return ::close(fd) == 0 ? 0 : errno;
}

int WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EIO;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

namespace {

FileResult Failed(FileStep step, int error)
{
    return FileResult{error, step};
}

int SyncFolder(const std::filesystem::path& folder)
{
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsValid())
        return errno;
    if (::fsync(fd.Get()) != 0)
        return errno;
    return 0;
}

// Writes, sets the rights and flushes the open temporary file; closes it.
FileResult FillTemporary(UniqueFd fd, std::string_view content, const std::optional<mode_t>& mode)
{
    if (const int error = WriteAll(fd.Get(), content); error != 0)
        return Failed(FileStep::Write, error);
    if (mode && ::fchmod(fd.Get(), *mode) != 0)
        return Failed(FileStep::Chmod, errno);
    if (::fsync(fd.Get()) != 0)
        return Failed(FileStep::SyncFile, errno);
    if (const int error = fd.Close(); error != 0)
        return Failed(FileStep::Close, error);
    return {};
}

} // namespace

FileResult ReplaceFile(const std::filesystem::path& file, std::string_view content,
                       const ReplaceOptions& options)
{
    std::filesystem::path folder = file.parent_path();
    if (folder.empty())
        folder = ".";
    std::string prefix = options.tempPrefix;
    if (prefix.empty()) {
        prefix = ".";
        prefix += file.filename().string();
        prefix += '.';
    }
    std::string temporary = (folder / prefix).string();
    temporary += "XXXXXX";
    temporary += options.tempSuffix;
    UniqueFd fd(::mkostemps(temporary.data(), static_cast<int>(options.tempSuffix.size()), O_CLOEXEC));
    if (!fd.IsValid())
        return Failed(FileStep::Create, errno);
    FileResult result = FillTemporary(std::move(fd), content, options.mode);
    if (result.Ok() && ::rename(temporary.c_str(), file.c_str()) != 0)
        result = Failed(FileStep::Rename, errno);
    if (!result.Ok()) {
        (void)::unlink(temporary.c_str()); // the half-made copy must not stay behind
        return result;
    }
    // The rename reaches the disk only with the folder.
    if (const int error = SyncFolder(folder); error != 0)
        return Failed(FileStep::SyncFolder, error);
    return {};
}

} // namespace platform
