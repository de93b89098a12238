#pragma once

#include "platform/FileIo.h"

#include <filesystem>
#include <string>
#include <string_view>

// The two folders an autostart entry can live in, and what an entry there says. The
// system-wide folder (platform::AutostartFolder) starts the program for everybody; the person's
// own folder (platform::UserAutostartFolder) only for that person. By the XDG rules an entry in
// the person's folder overrides the system-wide one of the same file name, whatever it says: a
// Hidden=true there switches the program off for that person.
namespace tasks {

enum class EntryState { Missing, Active, Inactive };

// An open autostart folder (an O_PATH descriptor), or why it could not be opened.
struct AutostartFolder {
    platform::UniqueFd fd;
    std::filesystem::path path;
    int error = 0;      // errno; EPERM for a folder of somebody else
    std::string reason; // names the folder and the reason when error != 0
};

// The system-wide folder; create makes it and what is missing above it.
AutostartFolder OpenSystemFolder(bool create);

// The person's own folder. HOME and XDG_CONFIG_HOME are the caller's to set, so the
// configuration home they name must be a folder of the real user (getuid), and so must the
// autostart folder. Below the configuration home a symbolic link is followed only when the
// real user owns it: nobody else can lead the writes into another folder. create makes what is
// missing below the configuration home.
AutostartFolder OpenUserFolder(bool create);

// What the entry fileName in the open folder says: Active when it is a readable regular file of
// type Application with an Exec line, not Hidden=true nor X-GNOME-Autostart-enabled=false.
EntryState ReadEntryState(int folder, const std::string& fileName);

// True when the entry fileName (with ".desktop") starts the program at this person's log-on.
bool IsEntryInForce(const std::string& fileName);

// True when the entry at path is in force by itself (ReadEntryState is Active).
bool IsEntryActive(const std::filesystem::path& path);

// Replaces fileName in the open folder with content as one step (temporary file, fsync, rename,
// fsync of the folder; rights 0644), so a crash leaves the old or the new file. A link in place
// of the file is replaced, never followed. Answers 0 or the errno of the failed step, with the
// reason in `error`.
int WriteEntryAt(const AutostartFolder& folder, const std::string& fileName,
                 std::string_view content, std::string& error);

// Removes fileName from the open folder (a link itself, never what it points to). A missing
// entry is no failure. Answers 0 or the errno, with the reason in `error`.
int RemoveEntryAt(const AutostartFolder& folder, const std::string& fileName, std::string& error);

// WriteEntryAt for a path, whose folder is made when missing; false with the reason.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::string& error);

} // namespace tasks
