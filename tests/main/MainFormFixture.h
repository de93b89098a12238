#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "gui/framework/Application.h"
#include "main/MainForm.h"
#include "platform/MessageBox.h"
#include "system/common.h"
#include "platform/Registry.h"
#include "system/WinRegistry.h"
#include "watchdog/CWatchDogControl.h"
#include "watchdog/WatchDogControl.h"

// A controller that writes down every call, in order ("SetTime(60,55)", "Start", "Close").
class RecordingControl : public CWatchDogControl {
public:
    void Start() override { calls.push_back("Start"); }
    void Stop() override { calls.push_back("Stop"); }
    void Close() override { calls.push_back("Close"); }
    int SetTime(std::int32_t restart, std::int32_t reload) override
    {
        calls.push_back("SetTime(" + std::to_string(restart) + "," + std::to_string(reload) + ")");
        return 0;
    }
    std::string TimeFailure() const override { return failure; }
    std::string CloseFailure() const override { return closeFailure; }

    std::vector<std::string> calls;
    std::string failure;      // what TimeFailure answers
    std::string closeFailure; // what CloseFailure answers
};

inline constexpr const char* kSettingsKey = "Software\\TOLV\\TOLV Watchdog Timer";

// Every case: a fresh application, a recording controller in place of the shared one, message
// boxes recorded (answered with `answer`), and the window's waits and program starts recorded.
class MainFormTest : public testing::Test {
protected:
    struct Box {
        std::string text;
        std::string caption;
        unsigned flags;
    };

    void SetUp() override
    {
        testsupport::QtTestApp();
        platform::SetMessageBoxHook([this](const std::string& text, const std::string& caption, unsigned flags) {
            m_Boxes.push_back({text, caption, flags});
            return answer;
        });
        m_App = std::make_unique<framework::Application>(m_Argc, m_Argv);
        m_Previous = ExchangeWatchDogControlForTesting(&control);
        ResetTraceLogPathForTesting();
    }

    void TearDown() override
    {
        m_App.reset();
        (void)ExchangeWatchDogControlForTesting(m_Previous);
        platform::SetMessageBoxHook(nullptr);
    }

    TMainForm* Create(bool hidden = false, bool systemEvents = false)
    {
        MainFormOptions options;
        options.systemEvents = systemEvents;
        options.hiddenSwitch = hidden;
        options.sleep = [this](std::chrono::milliseconds period) { waits.push_back(period.count()); };
        options.startProgram = [this](const std::filesystem::path& program) {
            started.push_back(program.filename().string());
        };
        form = m_App->CreateForm<TMainForm>(options);
        return form;
    }

    static void WriteDword(const char* name, std::uint32_t value)
    {
        RegistryKey key;
        ASSERT_TRUE(key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::CreateIfMissing));
        ASSERT_TRUE(key.WriteDword(name, value));
    }
    static std::optional<std::uint32_t> ReadDword(const char* name)
    {
        RegistryKey key;
        std::uint32_t value = 0;
        if (key.Open(platform::HKEY_LOCAL_MACHINE, kSettingsKey, KeyAccess::OpenExisting) && key.ReadDword(name, value))
            return value;
        return std::nullopt;
    }

    // The trace log's lines without their time stamps.
    static std::vector<std::string> TraceLines();

    RecordingControl control;
    int answer = platform::IDOK;
    std::vector<Box> m_Boxes;
    std::vector<long> waits;
    std::vector<std::string> started;
    TMainForm* form = nullptr;

private:
    int m_Argc = 1;
    char m_Name[8] = "program";
    char* m_Argv[2] = {m_Name, nullptr};
    std::unique_ptr<framework::Application> m_App;
    CWatchDogControl* m_Previous = nullptr;
};
