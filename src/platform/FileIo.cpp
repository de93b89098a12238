#include "platform/FileIo.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
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

int SyncFolder(int folder)
{
    // fsync does not work on an O_PATH descriptor; "." reopened through it is the same folder.
    UniqueFd fd(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsValid())
        return errno;
    if (::fsync(fd.Get()) != 0)
        return errno;
    return 0;
}

// Six characters of the alphabet mkstemp uses, fresh for every try.
std::string RandomTail()
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // Without the kernel's randomness a guessable name costs only retries: O_EXCL decides.
        static std::atomic<unsigned long> counter{0};
        timespec now {};
        (void)::clock_gettime(CLOCK_MONOTONIC, &now); // cannot fail for CLOCK_MONOTONIC
        const unsigned long mix = static_cast<unsigned long>(now.tv_nsec) + counter++ * 2654435761UL;
        for (std::size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>(mix >> (8 * i));
    }
    std::string tail;
    for (const unsigned char byte : bytes)
        tail += kAlphabet[byte % (sizeof kAlphabet - 1)];
    return tail;
}

// Makes a fresh temporary file <prefix>XXXXXX<suffix> in folder; name receives its name.
FdResult MakeTemporary(int folder, const std::string& prefix, const std::string& suffix, std::string& name)
{
    for (int round = 0; round < 100; ++round) {
        name = prefix + RandomTail() + suffix;
        UniqueFd fd(::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.IsValid())
            return {std::move(fd), 0};
        if (errno != EEXIST)
            return {UniqueFd(), errno};
    }
    return {UniqueFd(), EEXIST};
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

FileResult ReplaceFileAt(int folder, const std::string& name, std::string_view content,
                         const ReplaceOptions& options)
{
    const std::string prefix = options.tempPrefix.empty() ? "." + name + "." : options.tempPrefix;
    std::string temporary;
    FdResult made = MakeTemporary(folder, prefix, options.tempSuffix, temporary);
    if (!made.fd.IsValid())
        return Failed(FileStep::Create, made.error);
    FileResult result = FillTemporary(std::move(made.fd), content, options.mode);
    if (result.Ok() && ::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0)
        result = Failed(FileStep::Rename, errno);
    if (!result.Ok()) {
        (void)::unlinkat(folder, temporary.c_str(), 0); // the half-made copy must not stay behind
        return result;
    }
    // The rename reaches the disk only with the folder.
    if (const int error = SyncFolder(folder); error != 0)
        return Failed(FileStep::SyncFolder, error);
    return {};
}

FileResult ReplaceFile(const std::filesystem::path& file, std::string_view content,
                       const ReplaceOptions& options)
{
    std::filesystem::path folder = file.parent_path();
    if (folder.empty())
        folder = ".";
    UniqueFd fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsValid())
        return Failed(FileStep::Create, errno);
    return ReplaceFileAt(fd.Get(), file.filename().string(), content, options);
}

} // namespace platform
