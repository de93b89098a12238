#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Gives every test case its own machine root, so no case sees another's registry, log or
// runtime files, and none touches the real machine or the real user's configuration.
class FreshRootPerTest : public testing::EmptyTestEventListener {
public:
    void OnTestStart(const testing::TestInfo&) override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tolv-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_root = pattern;
        setenv("TOLV_ROOT", m_root.c_str(), 1);
        // The person's own configuration (autostart entries among it) lies in the case's root
        // too, never in the home of whoever runs the tests.
        const std::string config = m_root + "/config";
        if (mkdir(config.c_str(), 0700) != 0)
            std::abort();
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    }

    void OnTestEnd(const testing::TestInfo&) override
    {
        std::error_code ec;
        std::filesystem::remove_all(m_root, ec);
        unsetenv("TOLV_ROOT");
        unsetenv("XDG_CONFIG_HOME");
    }

private:
    std::string m_root;
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Defaults for running a test program by hand; ctest's own settings win.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("TOLV_SOURCE_DIR", TOLV_TEST_SOURCE_DIR, 0);
    setenv("TOLV_BINARY_DIR", TOLV_TEST_BINARY_DIR, 0);
    // Death tests fork; "threadsafe" re-executes the binary so threads started by earlier
    // cases cannot deadlock the child.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    testing::UnitTest::GetInstance()->listeners().Append(new FreshRootPerTest);
    return RUN_ALL_TESTS();
}
