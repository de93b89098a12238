#include "TestSupport.h"

#include "platform/Paths.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

std::filesystem::path Root()
{
    return platform::MachineRoot();
}

std::filesystem::path BinFolder()
{
    return platform::ProgramFolder();
}

std::filesystem::path SourceFolder()
{
    if (const char* dir = std::getenv("TOLV_SOURCE_DIR"); dir && *dir)
        return dir;
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

void WriteFile(const std::filesystem::path& path, const std::string& content)
{
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace testsupport
