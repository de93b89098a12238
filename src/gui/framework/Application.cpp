#include "gui/framework/Application.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <exception>

#include "gui/framework/KitAccessible.h"
#include "gui/graphics/Canvas.h"
#include "platform/Assert.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/UiThread.h"

namespace framework {

namespace {

Application* g_Application = nullptr;

// The shown main window, which a message box is attached to: the window manager or compositor
// then keeps the box over it (on Wayland nothing else can). Null while none is shown.
QWidget* MessageBoxParent()
{
    const Form* form = g_Application ? g_Application->MainForm() : nullptr;
    QWidget* host = form ? form->Host() : nullptr;
    return host && host->isVisible() ? host : nullptr;
}

int QtMessageBox(const std::string& text, const std::string& caption, unsigned flags)
{
    // Widgets live on the user-interface thread only; from elsewhere the message goes to
    // stderr rather than crashing the process.
    if (!qApp || QThread::currentThread() != qApp->thread()) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return platform::IDOK;
    }
    QMessageBox box(MessageBoxParent());
    // The program's windows stay on top; a message about them must not open behind them.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    switch (flags & 0xF0) {
    case platform::MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    case platform::MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case platform::MB_ICONWARNING:
        box.setIcon(QMessageBox::Warning);
        break;
    case platform::MB_ICONINFORMATION:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    int closed = platform::IDOK; // the answer when the box is closed without a button
    switch (flags & 0x0F) {
    case platform::MB_OKCANCEL:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        closed = platform::IDCANCEL;
        break;
    case platform::MB_YESNO:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        closed = platform::IDNO;
        break;
    default:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    }
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
        return platform::IDOK;
    case QMessageBox::Cancel:
        return platform::IDCANCEL;
    case QMessageBox::Yes:
        return platform::IDYES;
    case QMessageBox::No:
        return platform::IDNO;
    default:
        return closed;
    }
}

} // namespace

Application::Application(int& argc, char** argv)
{
    TOLV_ASSERT(g_Application == nullptr);
    if (!QCoreApplication::instance())
        m_OwnQt = std::make_unique<QApplication>(argc, argv);
    // Only closing the main form ends the loop, never the last visible window going away.
    QApplication::setQuitOnLastWindowClosed(false);
    // The skin's faces ("Candara", "Century Gothic", "Arial") map to the fonts installed here.
    graphics::InstallFontSubstitutions();
    m_Context = std::make_unique<QObject>();
    m_Title = platform::ProgramFile().stem().string();
    // A hook installed before the application (a test's recorder) stays in place.
    platform::MessageBoxHook previous = platform::SetMessageBoxHook(QtMessageBox);
    if (previous)
        platform::SetMessageBoxHook(std::move(previous));
    else
        m_OwnMessageBoxHook = true;
    InstallUiThreadHook();
    InstallKitAccessibility();
    g_Application = this;
}

Application::~Application()
{
    // Forms go in reverse order of creation, while the Qt application still exists.
    while (!m_Forms.empty())
        m_Forms.pop_back();
    m_MainForm = nullptr;
    platform::SetSynchronizeWakeHook(nullptr);
    m_Context.reset();
    if (m_OwnMessageBoxHook)
        (void)platform::SetMessageBoxHook(nullptr); // the hook needs the Qt application
    g_Application = nullptr;
    m_OwnQt.reset();
}

Application* Application::Instance()
{
    return g_Application;
}

void Application::SetTitle(const std::string& title)
{
    m_Title = title;
    // A StatusNotifier host shows the item's title, which Qt takes from the application name;
    // on X11 that name is also the windows' class.
    QGuiApplication::setApplicationName(QString::fromStdString(title));
    QGuiApplication::setApplicationDisplayName(QString::fromStdString(title));
}

void Application::SetDesktopFileName(const std::string& name)
{
    QGuiApplication::setDesktopFileName(QString::fromStdString(name));
}

void Application::InstallUiThreadHook()
{
    // Worker threads wake the loop to run their synchronised calls. The hook runs on the
    // worker: it only posts; the queue runs here, on the user-interface thread.
    QObject* context = m_Context.get();
    platform::SetSynchronizeWakeHook([context] {
        QMetaObject::invokeMethod(
            context, [] { Guarded([] { (void)platform::ProcessSynchronizeQueue(); }); }, Qt::QueuedConnection);
    });
}

void Application::Run()
{
    if (m_Terminated)
        return;
    if (m_MainForm && m_ShowMainForm)
        Guarded([this] { m_MainForm->Show(); });
    if (m_Terminated)
        return;
    QApplication::exec();
}

void Application::Terminate()
{
    m_Terminated = true;
    // exit, not quit: quit first asks every window to close, which would run the forms' close
    // rules a second time.
    QCoreApplication::exit(0);
}

void Application::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void Application::Minimize()
{
    if (m_MainForm)
        m_MainForm->Minimize();
}

void Application::Restore()
{
    if (m_MainForm && m_MainForm->GetWindowState() == wsMinimized)
        m_MainForm->Restore();
}

void Application::ShowException(const std::string& text)
{
    platform::ShowMessageBox(text, m_Title, platform::MB_OK | platform::MB_ICONERROR);
}

void Application::ReleaseForm(Form* form)
{
    QMetaObject::invokeMethod(
        m_Context.get(),
        [this, form] {
            auto it = std::find_if(m_Forms.begin(), m_Forms.end(),
                                   [form](const std::unique_ptr<Form>& f) { return f.get() == form; });
            if (it == m_Forms.end())
                return;
            if (m_MainForm == form)
                m_MainForm = nullptr;
            m_Forms.erase(it);
        },
        Qt::QueuedConnection);
}

WorkArea Application::PrimaryWorkArea()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QRect area = screen->availableGeometry();
    return {area.x(), area.y(), area.width(), area.height()};
}

WorkArea CentredIn(const WorkArea& area, int width, int height)
{
    // 64-bit sums: a hostile size must not overflow into a wrong place.
    auto place = [](long long start, long long room, long long size) {
        const long long centred = start + (room - size) / 2;
        return static_cast<int>(std::max(start, std::min(centred, start + room - size)));
    };
    return {place(area.left, area.width, width), place(area.top, area.height, height), width, height};
}

void HandleException() noexcept
{
    std::string text;
    try {
        throw;
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        // Not an error object: shown with an empty text.
    }
    try {
        if (g_Application)
            g_Application->ShowException(text);
        else
            platform::ShowMessageBox(text, platform::ProgramFile().stem().string(),
                                     platform::MB_OK | platform::MB_ICONERROR);
    } catch (...) {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

} // namespace framework
