#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

// File handling shared by the settings store, the autostart entries and the simulated firmware:
// an owned descriptor, complete writes, and the atomic replacement of a file. Every failure
// carries the errno of the call that failed, taken before anything else could change it. No Qt
// and no systemd here: the firmware library links this too.
namespace platform {

// Owns one file descriptor and closes it when destroyed. Closing keeps errno as it was, so the
// errno of a failed call survives an owner that goes out of scope before it is read.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_Fd(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : m_Fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_Fd; }
    bool IsValid() const { return m_Fd >= 0; }
    // Gives the descriptor up without closing it.
    int Release();
    // Closes now: 0, or the errno of close. Linux releases the descriptor either way.
    int Close();

private:
    int m_Fd = -1;
};

// A descriptor, or the errno of the call that failed to make it.
struct FdResult {
    UniqueFd fd;
    int error = 0;
};

// Writes all of data, retrying interrupted and short writes: 0, or the errno of the write that
// failed (EIO when a write takes nothing).
int WriteAll(int fd, std::string_view data);

// The step of ReplaceFile that failed.
enum class FileStep { None, Create, Write, Chmod, SyncFile, Close, Rename, SyncFolder };

struct FileResult {
    int error = 0; // errno of the failed step; 0 when every step succeeded
    FileStep step = FileStep::None;
    bool Ok() const { return error == 0; }
};

struct ReplaceOptions {
    // The temporary file is <folder>/<tempPrefix>XXXXXX<tempSuffix>, six fresh random characters
    // in the middle; an empty prefix means ".<file name>.".
    std::string tempPrefix;
    std::string tempSuffix;
    // The rights of the new file; without one it keeps the temporary file's 0600.
    std::optional<mode_t> mode;
};

// Replaces the file name in the open folder with content as one step: a temporary file in that
// folder (O_EXCL, O_NOFOLLOW, O_CLOEXEC) is written, given its rights, flushed, renamed over the
// file, and the folder is flushed. Every step goes through the folder's descriptor (an O_PATH
// one will do), so a link put in place of a folder meanwhile leads nowhere. A failure before
// the rename removes the temporary file and leaves the file as it was; a failure of the
// folder's flush (FileStep::SyncFolder) leaves the new file in place.
FileResult ReplaceFileAt(int folder, const std::string& name, std::string_view content,
                         const ReplaceOptions& options = {});

// ReplaceFileAt in the folder of file, which is opened by its path.
FileResult ReplaceFile(const std::filesystem::path& file, std::string_view content,
                       const ReplaceOptions& options = {});

} // namespace platform
