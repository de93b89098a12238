#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gui/framework/Form.h"

class QApplication;
class QObject;

namespace framework {

struct WorkArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Where a window of the given size goes to stand centred in the area: the offsets are signed
// integer divisions (truncating toward zero), then the window is pushed back inside. One larger
// than the area keeps its top-left corner in it, so its title row stays reachable.
WorkArea CentredIn(const WorkArea& area, int width, int height);

// The one application object of the process: owns the Qt application (unless the process made
// its own first, as tests do), the forms created through CreateForm, the main form and the
// top-level error display.
class Application {
public:
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The live application object, or null.
    static Application* Instance();

    // Creates a form owned by the application and fires its create event. The first form
    // created this way becomes the main form: closing it ends Run.
    template <typename T, typename... A>
    T* CreateForm(A&&... args)
    {
        auto form = std::make_unique<T>(std::forward<A>(args)...);
        T* raw = form.get();
        m_Forms.push_back(std::move(form));
        raw->Create();
        if (!m_MainForm)
            m_MainForm = raw;
        return raw;
    }

    Form* MainForm() const { return m_MainForm; }

    // With false, Run starts the loop without showing the main form (the hidden start).
    bool ShowMainForm() const { return m_ShowMainForm; }
    void SetShowMainForm(bool show) { m_ShowMainForm = show; }

    // The program's name as people read it: the caption of the error display, and the name
    // desktops show for the program (a StatusNotifier host, window lists).
    const std::string& Title() const { return m_Title; }
    void SetTitle(const std::string& title);

    // The desktop entry's name without ".desktop": the shell pairs the windows with the entry
    // and its icon through it (on Wayland it is the windows' application id). Set it before
    // the first window is shown.
    void SetDesktopFileName(const std::string& name);

    // Shows the main form unless started hidden and runs the event loop until Terminate
    // (closing the main form terminates). Returns at once after an earlier Terminate.
    void Run();
    void Terminate();
    bool Terminated() const { return m_Terminated; }

    // Runs the events that are waiting, then returns.
    void ProcessMessages();

    // Minimising and restoring the application acts on the main form.
    void Minimize();
    void Restore();

    // The top-level error display: a message box with the error's text.
    void ShowException(const std::string& text);

    // Destroys an owned form from the event loop, after the current handler has returned.
    void ReleaseForm(Form* form);

    // The part of the primary screen that windows may take (panels and docks left out), in the
    // desktop's coordinates: a primary screen beside another need not start at 0, 0.
    static WorkArea PrimaryWorkArea();

private:
    void InstallUiThreadHook();

    std::unique_ptr<QApplication> m_OwnQt;
    std::unique_ptr<QObject> m_Context; // pending queued calls die with it
    std::vector<std::unique_ptr<Form>> m_Forms;
    Form* m_MainForm = nullptr;
    bool m_ShowMainForm = true;
    bool m_Terminated = false;
    bool m_OwnMessageBoxHook = false;
    std::string m_Title;
};

// Shows the exception being handled through the top-level error display. Call only from a
// catch block. An exception that is not a std::exception shows with an empty text.
void HandleException() noexcept;

// Runs a user handler at a dispatch point of the framework (an event from Qt, a timer): an
// exception ends the handler and is shown; the event loop goes on.
template <typename F>
void Guarded(F&& fn) noexcept
{
    try {
        std::forward<F>(fn)();
    } catch (...) {
        HandleException();
    }
}

} // namespace framework
