// Where TaskEnroll puts the autostart entry and what it removes, for root and for an ordinary
// member of the program's group (a numeric user played through setpriv, no account needed),
// and what the probe answers by the XDG rules: the person's own entry overrides the system-wide
// one of the same name, Hidden=true included.

#include "AutostartFolders.h"
#include "TaskEntry.h"

#include "ChildProgram.h"
#include "PrivateBus.h"
#include "TestSupport.h"
#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

namespace fs = std::filesystem;

constexpr gid_t kGroup = 61000; // stands for tolv-watchdog
constexpr uid_t kMember = 61001;
constexpr uid_t kOther = 61002; // another person on the machine
constexpr const char* kFile = "TOLV-WatchDog-Timer.desktop";

enum class State { None, Active, Hidden };

const char* Name(State state)
{
    return state == State::None ? "none" : state == State::Active ? "active" : "hidden";
}

void Seed(const fs::path& folder, State state)
{
    if (state == State::None)
        return;
    std::string text = tasks::BuildDesktopEntry("TOLV WatchDog Timer", "/p", {"-h"});
    if (state == State::Hidden)
        text += "Hidden=true\n";
    testsupport::WriteFile(folder / kFile, text);
}

State StateOf(const fs::path& folder)
{
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(folder / kFile, ec)))
        return State::None;
    return tasks::IsEntryActive(folder / kFile) ? State::Active : State::Hidden;
}

bool ActingAsOthers()
{
    return ::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) == 0;
}

// Hands a path (not what a link points to) to a user.
void Give(const fs::path& path, uid_t user)
{
    ASSERT_EQ(::lchown(path.c_str(), user, kGroup), 0) << path;
}

// --- TaskEnroll as root and as a member ---------------------------------------------------------

// How the person's configuration home looks for the member.
enum class Layout {
    Plain,             // HOME/.config/autostart, all the member's
    ForeignConfig,     // XDG_CONFIG_HOME names a folder of another user (open to everybody)
    PlantedLink,       // HOME/.config/autostart is another user's link to a folder open to all
    OwnLink,           // HOME/.config/autostart is the member's own link to a folder of theirs
};

struct EnrollRow {
    const char* name;
    bool member;
    bool remove;
    State systemBefore;
    State ownBefore;
    Layout layout;
    State systemAfter;
    State ownAfter; // in the folder the layout leads to
    int status;
    const char* said; // a part of what the tool says, or empty for nothing
};

void PrintTo(const EnrollRow& row, std::ostream* out)
{
    *out << row.name;
}

class EnrollFor : public testing::TestWithParam<EnrollRow> {
protected:
    void SetUp() override
    {
        if (GetParam().member && !ActingAsOthers())
            GTEST_SKIP() << "acting as a member needs root and /usr/bin/setpriv";
        ASSERT_EQ(::chmod(testsupport::Root().c_str(), 0755), 0);
        fs::create_directories(platform::AutostartFolder());
        // The build folder need not be open to other users; a copy in the root is.
        m_Tool = testsupport::Root() / "TaskEnroll";
        fs::copy_file(testsupport::BinFolder() / "TaskEnroll", m_Tool);
        ASSERT_EQ(::chmod(m_Tool.c_str(), 0755), 0);
        if (GetParam().member)
            PrepareMember();
        else
            m_Own = platform::UserAutostartFolder().Folder();
    }

    void PrepareMember()
    {
        const fs::path root = testsupport::Root();
        const fs::path home = root / "home";
        fs::create_directories(home / ".config");
        m_Home = std::make_unique<testsupport::ScopedVariable>("HOME", home.string());
        ::unsetenv("XDG_CONFIG_HOME");
        m_Own = home / ".config/autostart";
        switch (GetParam().layout) {
        case Layout::Plain: break;
        case Layout::ForeignConfig:
            fs::create_directories(root / "foreign");
            ::setenv("XDG_CONFIG_HOME", (root / "foreign").c_str(), 1);
            m_Own = root / "foreign/autostart";
            break;
        case Layout::PlantedLink:
        case Layout::OwnLink: {
            const bool own = GetParam().layout == Layout::OwnLink;
            const fs::path target = own ? home / "dotfiles" : root / "victim";
            fs::create_directories(target);
            fs::create_directory_symlink(target, m_Own);
            Give(m_Own, own ? kMember : kOther);
            if (!own) {
                Give(target, kOther);
                ASSERT_EQ(::chmod(target.c_str(), 0777), 0);
            }
            m_Own = target;
            break;
        }
        }
        for (const fs::path& path : {home, home / ".config", home / "dotfiles"})
            if (fs::exists(path))
                Give(path, kMember);
        if (GetParam().layout == Layout::ForeignConfig) {
            Give(root / "foreign", kOther);
            ASSERT_EQ(::chmod((root / "foreign").c_str(), 0777), 0);
        }
    }

    // Seeds an own entry as the member would have written it.
    void SeedOwn(State state)
    {
        Seed(m_Own, state);
        if (GetParam().member && state != State::None) {
            Give(m_Own, kMember);
            Give(m_Own / kFile, kMember);
        }
    }

    std::pair<int, std::string> Run(const std::vector<std::string>& args)
    {
        std::vector<std::string> words;
        fs::path program = m_Tool;
        if (GetParam().member) {
            program = "/usr/bin/setpriv";
            words = {"--reuid=" + std::to_string(kMember), "--regid=" + std::to_string(kGroup),
                     "--clear-groups", m_Tool.string()};
        }
        words.insert(words.end(), args.begin(), args.end());
        testsupport::ChildProgram tool(program, words, testsupport::Root() / "tool.log");
        const auto end = tool.Wait(30s);
        return {end && end->exited ? end->code : -1, tool.Log()};
    }

    fs::path m_Tool;
    fs::path m_Own;
    std::unique_ptr<testsupport::ScopedVariable> m_Home;
};

TEST_P(EnrollFor, WritesOrRemovesTheEntriesThisUserMay)
{
    const EnrollRow& row = GetParam();
    Seed(platform::AutostartFolder(), row.systemBefore);
    SeedOwn(row.ownBefore);
    const auto [status, said] =
        Run(row.remove ? std::vector<std::string>{"-D", "-T:TOLV WatchDog Timer"}
                       : std::vector<std::string>{"-R", "-T:TOLV WatchDog Timer",
                                                  "-P:/opt/tolv/TolvWatchDogTimer", "-A: -h "});
    EXPECT_EQ(status, row.status) << said;
    EXPECT_EQ(Name(StateOf(platform::AutostartFolder())), std::string(Name(row.systemAfter)));
    EXPECT_EQ(Name(StateOf(m_Own)), std::string(Name(row.ownAfter))) << m_Own << "\n" << said;
    if (*row.said)
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
    else
        EXPECT_EQ(said, "");
    if (row.member && StateOf(m_Own) != State::None) {
        struct stat info {};
        ASSERT_EQ(::lstat((m_Own / kFile).c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, kMember) << "the entry belongs to the member";
    }
}

constexpr State N = State::None;
constexpr State A = State::Active;
constexpr State H = State::Hidden;

INSTANTIATE_TEST_SUITE_P(
    Rows, EnrollFor,
    testing::Values(
        EnrollRow{"RootWritesTheSystemWideEntry", false, false, N, N, Layout::Plain, A, N, 0, ""},
        EnrollRow{"RootAlsoRewritesAnOwnEntryThatSwitchesTheProgramOff", false, false, N, H,
                  Layout::Plain, A, A, 0, ""},
        EnrollRow{"RootRemovesBothEntries", false, true, A, A, Layout::Plain, N, N, 0, ""},
        EnrollRow{"MemberWritesAnOwnEntryWhereTheSystemFolderIsClosed", true, false, N, N,
                  Layout::Plain, N, A, 0, ""},
        EnrollRow{"MemberReplacesAnOwnHiddenEntry", true, false, A, H, Layout::Plain, A, A, 0, ""},
        EnrollRow{"MemberRemovesTheOwnEntryAndHearsThatTheSystemWideOneStays", true, true, A, A,
                  Layout::Plain, A, N, 0, "stays and starts the program for every user"},
        EnrollRow{"MemberFollowsTheirOwnLink", true, false, N, N, Layout::OwnLink, N, A, 0, ""},
        EnrollRow{"ConfigHomeOfAnotherUserIsRefused", true, false, N, N, Layout::ForeignConfig, N,
                  N, 1, "belongs to another user"},
        EnrollRow{"LinkOfAnotherUserIsNotFollowed", true, false, N, N, Layout::PlantedLink, N, N,
                  1, "symbolic links"}),
    [](const testing::TestParamInfo<EnrollRow>& info) { return std::string(info.param.name); });

// --- The probe: which entry decides -------------------------------------------------------------

struct ProbeRow {
    const char* name;
    State system;
    State own;
    bool ownFolderOfAnother;
    bool inForce;
};

void PrintTo(const ProbeRow& row, std::ostream* out)
{
    *out << row.name;
}

class ProbeFor : public testing::TestWithParam<ProbeRow> {};

TEST_P(ProbeFor, TheOwnEntryOverridesTheSystemWideOne)
{
    const ProbeRow& row = GetParam();
    if (row.ownFolderOfAnother && ::geteuid() != 0)
        GTEST_SKIP() << "handing a folder to another user needs root";
    Seed(platform::AutostartFolder(), row.system);
    const fs::path own = platform::UserAutostartFolder().Folder();
    Seed(own, row.own);
    if (row.ownFolderOfAnother)
        Give(own.parent_path(), kOther);

    void* module = dlopen((testsupport::BinFolder() / "libTaskProbe.so").c_str(), RTLD_NOW);
    ASSERT_NE(module, nullptr) << dlerror();
    using CheckFn = std::int32_t (*)(const char16_t*);
    const auto check = reinterpret_cast<CheckFn>(dlsym(module, "CheckScheduleTaskExist"));
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check(u"TOLV WatchDog Timer"), row.inForce ? 0 : 1);
    dlclose(module);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProbeFor,
    testing::Values(ProbeRow{"OwnOnly", N, A, false, true},
                    ProbeRow{"OwnHiddenSwitchesTheSystemWideOneOff", A, H, false, false},
                    ProbeRow{"OwnActiveOverridesASystemWideHidden", H, A, false, true},
                    ProbeRow{"ConfigHomeOfAnotherUserIsNotLookedAt", A, H, true, true}),
    [](const testing::TestParamInfo<ProbeRow>& info) { return std::string(info.param.name); });

} // namespace
