#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "QtTestApp.h"
#include "gui/framework/Application.h"
#include "platform/MessageBox.h"

// Every case gets its own application object (the Qt application is shared by the program)
// and a message-box recorder in place of real message boxes.
class FrameworkTest : public testing::Test {
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
            return int(platform::IDOK);
        });
        m_App = std::make_unique<framework::Application>(m_Argc, m_Argv);
    }

    void TearDown() override
    {
        m_App.reset();
        platform::SetMessageBoxHook(nullptr);
    }

    int m_Argc = 1;
    char m_Name[8] = "program";
    char* m_Argv[2] = {m_Name, nullptr};
    std::unique_ptr<framework::Application> m_App;
    std::vector<Box> m_Boxes;
};
