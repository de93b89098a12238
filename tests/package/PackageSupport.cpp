#include "PackageSupport.h"

#include "ChildProgram.h"
#include "PrivateBus.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace packagetest {

CommandResult RunCommand(const std::vector<std::string>& argv, const Environment& extra)
{
    std::vector<std::unique_ptr<testsupport::ScopedVariable>> variables;
    for (const auto& [name, value] : extra)
        variables.push_back(std::make_unique<testsupport::ScopedVariable>(name, value));
    std::string log = (testsupport::Root() / "command-XXXXXX").string();
    const int fd = ::mkstemp(log.data());
    if (fd < 0)
        return {};
    CommandResult result;
    const pid_t pid = testsupport::SpawnTiedToParent(argv, fd, fd);
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    (void)::close(fd); // only read back below, by name
    result.output = testsupport::ReadFile(log);
    std::filesystem::remove(log);
    return result;
}

std::filesystem::path PackageFile()
{
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(TOLV_PACKAGE_FOLDER, ec)) {
        if (entry.path().extension() == ".deb")
            found.push_back(entry.path());
    }
    return found.size() == 1 ? found.front() : std::filesystem::path();
}

bool ExtractPackage(const std::filesystem::path& root)
{
    const std::filesystem::path deb = PackageFile();
    if (deb.empty()) {
        ADD_FAILURE() << "no single package in " << TOLV_PACKAGE_FOLDER;
        return false;
    }
    for (const char* how : {"-x", "-e"}) {
        const auto folder = std::string(how) == "-x" ? root : root / "DEBIAN";
        const CommandResult unpacked = RunCommand({"dpkg-deb", how, deb.string(), folder.string()});
        if (unpacked.status != 0) {
            ADD_FAILURE() << "dpkg-deb " << how << ": " << unpacked.output;
            return false;
        }
    }
    return true;
}

std::map<std::string, Entry> PackageContents()
{
    std::map<std::string, Entry> entries;
    const CommandResult listed = RunCommand({"dpkg-deb", "--contents", PackageFile().string()});
    EXPECT_EQ(listed.status, 0) << listed.output;
    // -rwxr-xr-x root/root  12345 2026-12-08 12:00 ./usr/bin/x -> target
    std::istringstream lines(listed.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        Entry entry;
        std::string size, date, time, path, arrow;
        if (!(words >> entry.mode >> entry.owner >> size >> date >> time >> path))
            continue;
        if (words >> arrow && arrow == "->")
            words >> entry.target;
        if (path.rfind("./", 0) == 0)
            path.erase(0, 2);
        if (!path.empty() && path.back() == '/')
            path.pop_back();
        if (!path.empty())
            entries[path] = entry;
    }
    return entries;
}

CommandResult RunMaintainerScript(const std::filesystem::path& root, const std::string& script,
                                  const std::string& action)
{
    return RunCommand({"/bin/sh", (root / "DEBIAN" / script).string(), action},
               {{"DPKG_ROOT", root.string()}});
}

} // namespace packagetest
