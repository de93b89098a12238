#include "ChildProgram.h"
#include "ProgramRun.h"
#include "TestSupport.h"
#include "WaylandSession.h"

#include "platform/WindowMessages.h"
#include "system/WinRegistry.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <csignal>
#include <cstdlib>

using namespace std::chrono_literals;
using namespace systeme2e;
using testsupport::SessionBusCall;
using testsupport::WaitUntil;
using testsupport::WaylandSession;

// The program on a Wayland desktop as many people run one: sway with waybar, whose tray is a
// StatusNotifier host. The test acts as the host does, over the session bus: it reads the
// item and the menu the program exports, activates the icon and chooses from the menu. The
// window's facts come from sway's tree, its pixels from a screenshot.
namespace {

constexpr const char* kAppId = "tolv-watchdog-timer";
constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
// The switch's centre, in window pixels.
constexpr int kSwitchX = 343;
constexpr int kSwitchY = 41;

// A view of the program in sway's tree.
struct View {
    bool floating = false;
    std::string border;
    int x = 0, y = 0, width = 0, height = 0;
};

void CollectViews(const QJsonObject& node, bool floating, std::vector<View>& views)
{
    if (node.value("app_id").toString() == kAppId) {
        const QJsonObject rect = node.value("rect").toObject();
        views.push_back({floating, node.value("border").toString().toStdString(), rect.value("x").toInt(),
                         rect.value("y").toInt(), rect.value("width").toInt(), rect.value("height").toInt()});
    }
    for (const auto& child : node.value("nodes").toArray())
        CollectViews(child.toObject(), floating, views);
    for (const auto& child : node.value("floating_nodes").toArray())
        CollectViews(child.toObject(), true, views);
}

std::vector<View> ProgramViews()
{
    const auto tree = testsupport::SwayTree();
    std::vector<View> views;
    if (tree)
        CollectViews(QJsonDocument::fromJson(QByteArray::fromStdString(*tree)).object(), false, views);
    return views;
}

std::string TreeText()
{
    return "\n--- sway tree\n" + testsupport::SwayTree().value_or("(none)");
}

// The quoted words of a reply as gdbus prints it.
std::vector<std::string> Quoted(const std::string& reply)
{
    std::vector<std::string> words;
    for (auto open = reply.find('\''); open != std::string::npos; open = reply.find('\'', open + 1)) {
        const auto close = reply.find('\'', open + 1);
        if (close == std::string::npos)
            break;
        words.push_back(reply.substr(open + 1, close - open - 1));
        open = close;
    }
    return words;
}

// The program's item as the watcher lists it: bus name and object path.
struct Item {
    std::string name;
    std::string path;
};

std::optional<Item> RegisteredItem()
{
    const auto reply = SessionBusCall(kWatcher, "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties.Get",
                                      {kWatcher, "RegisteredStatusNotifierItems"});
    if (!reply)
        return std::nullopt;
    for (const auto& entry : Quoted(*reply)) {
        const auto slash = entry.find('/');
        if (slash != std::string::npos)
            return Item{entry.substr(0, slash), entry.substr(slash)};
    }
    return std::nullopt;
}

std::string ItemProperty(const Item& item, const std::string& property)
{
    const auto reply = SessionBusCall(item.name, item.path, "org.freedesktop.DBus.Properties.Get",
                                      {kItemInterface, property});
    const auto words = reply ? Quoted(*reply) : std::vector<std::string>{};
    return words.empty() ? std::string() : words.front();
}

bool CallItem(const Item& item, const std::string& method)
{
    return SessionBusCall(item.name, item.path, std::string(kItemInterface) + "." + method, {"0", "0"}).has_value();
}

// The exported menu's item captioned "Exit": its id and whether it can be chosen.
struct MenuEntry {
    int id = 0;
    bool enabled = true;
};

std::optional<MenuEntry> ExitEntry(const Item& item, const std::string& menuPath)
{
    const auto layout = SessionBusCall(item.name, menuPath, "com.canonical.dbusmenu.GetLayout", {"0", "int32 -1", "@as []"});
    if (!layout)
        return std::nullopt;
    // Each entry reads (id, {properties}, [children]).
    const auto label = layout->find("'label': <'Exit'>");
    if (label == std::string::npos)
        return std::nullopt;
    const auto properties = layout->rfind(", {", label);
    const auto open = properties == std::string::npos ? properties : layout->rfind('(', properties);
    const auto close = layout->find('}', label);
    if (open == std::string::npos || close == std::string::npos)
        return std::nullopt;
    return MenuEntry{std::atoi(layout->substr(open + 1, properties - open - 1).c_str()),
                     layout->substr(properties, close - properties).find("'enabled': <false>") == std::string::npos};
}

bool Choose(const Item& item, const std::string& menuPath, int id)
{
    return SessionBusCall(item.name, menuPath, "com.canonical.dbusmenu.Event",
                          {std::to_string(id), "clicked", "<0>", "0"})
        .has_value();
}

QImage Frame()
{
    return QImage(QString::fromStdString((testsupport::BinFolder() / "resource/UI/background2.png").string()))
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The window's pixels on the screenshot against the program's own picture laid over the
// desktop, where the picture is not fully opaque (there no control draws): the transparent
// corners must show the desktop and the soft edges the blend. The compositor may put the
// window a pixel or two off the place it reports; the best fitting place within that counts.
// Answers how many pixels differ, or -1 when nothing could be compared.
int AlphaMismatches(const QImage& shot, const View& view, const QImage& frame)
{
    const QRgb desktop = WaylandSession::Background;
    int best = -1;
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            int differing = 0, compared = 0;
            for (int y = 0; y < frame.height(); ++y) {
                for (int x = 0; x < frame.width(); ++x) {
                    const QRgb own = frame.pixel(x, y);
                    const int a = qAlpha(own);
                    const int sx = view.x + dx + x, sy = view.y + dy + y;
                    if (a == 255 || !shot.valid(sx, sy))
                        continue;
                    const QRgb seen = shot.pixel(sx, sy);
                    const auto blend = [&](int mine, int under) { return mine + under * (255 - a) / 255; };
                    const bool same = std::abs(qRed(seen) - blend(qRed(own), qRed(desktop))) <= 4
                        && std::abs(qGreen(seen) - blend(qGreen(own), qGreen(desktop))) <= 4
                        && std::abs(qBlue(seen) - blend(qBlue(own), qBlue(desktop))) <= 4;
                    ++compared;
                    differing += same ? 0 : 1;
                }
            }
            if (compared > 0 && (best < 0 || differing < best))
                best = differing;
        }
    }
    return best;
}

QImage ScreenshotNow()
{
    const auto shot = testsupport::Root() / "wayland/shot.png";
    return testsupport::SwayScreenshot(shot) ? QImage(QString::fromStdString(shot.string())) : QImage();
}

// Anything but the desktop's colour in the middle of the view.
bool ShowsWindow(const QImage& shot, const View& view)
{
    const QPoint middle(view.x + view.width / 2, view.y + view.height / 2);
    return shot.valid(middle) && (shot.pixel(middle) & 0xFFFFFF) != WaylandSession::Background;
}

class WaylandDesktop : public testing::Test {
protected:
    void SetUp() override
    {
        const std::string why = WaylandSession::Unavailable();
        if (!why.empty())
            GTEST_SKIP() << why << "; the Wayland desktop checks did not run";
    }

    // Seeds the store, hands TOLV_ROOT to the session's user and starts the program as that
    // user in the session.
    static bool Start(ProgramRun& program, const std::vector<std::string>& arguments)
    {
        return program.Seed() && WaylandSession::GiveToUser(testsupport::Root())
            && program.StartThrough(WaylandSession::AsUser({}), arguments);
    }

    static std::optional<View> WaitForView()
    {
        std::vector<View> views;
        WaitUntil([&] { return !(views = ProgramViews()).empty(); }, kWait);
        return views.empty() ? std::nullopt : std::optional<View>(views.front());
    }

    // The window floats at the picture's own size, without a title bar from the compositor,
    // and shows the picture with its per-pixel alpha.
    static void ExpectMannersAndAlpha(const View& view)
    {
        const QImage frame = Frame();
        ASSERT_FALSE(frame.isNull());
        EXPECT_TRUE(view.floating) << "tiled instead of floating" << TreeText();
        EXPECT_EQ(view.width, frame.width()) << TreeText();
        EXPECT_EQ(view.height, frame.height()) << TreeText();
        EXPECT_TRUE(view.border == "csd" || view.border == "none")
            << "border '" << view.border << "': the compositor draws a title bar";
        // The view is in the tree once mapped; its first picture may come a frame later.
        QImage seen;
        WaitUntil([&] { return ShowsWindow(seen = ScreenshotNow(), view); }, kWait);

        const int mismatches = AlphaMismatches(seen, view, frame);
        EXPECT_EQ(mismatches, 0) << "pixels of the window's edges differ from its picture over the desktop";
    }
};

TEST_F(WaylandDesktop, HiddenStartStaysInTheHostsTrayWhoseMenuAndActivationWork)
{
    WaylandSession session(WaylandSession::Options{.tray = true});
    ASSERT_TRUE(session.Started()) << session.Error();
    const auto noSystemBus = NoSystemBus();
    ProgramRun program(Settings{.lastState = kMarkOn});
    ASSERT_TRUE(Start(program, {"-h"}));
    ASSERT_TRUE(program.WaitUntilSettled()) << program.Describe() << session.Describe();

    // The icon is in the host's tray, named for people, with its menu handed to the host.
    std::optional<Item> item;
    ASSERT_TRUE(WaitUntil([&] { return (item = RegisteredItem()).has_value(); }, kWait))
        << "the watcher lists no item" << program.Describe() << session.Describe();
    EXPECT_EQ(ItemProperty(*item, "Title"), "TOLV Watchdog Timer");
    const std::string menuPath = ItemProperty(*item, "Menu");
    ASSERT_FALSE(menuPath.empty() || menuPath == "/NO_DBUSMENU") << "no menu for the host to draw";
    const auto exit = ExitEntry(*item, menuPath);
    ASSERT_TRUE(exit.has_value()) << "no Exit in the exported menu" << session.Describe();
    EXPECT_TRUE(exit->enabled);

    // Hidden start with a host: no window until the host activates the icon.
    EXPECT_TRUE(ProgramViews().empty()) << TreeText();
    ASSERT_TRUE(CallItem(*item, "Activate"));
    const auto view = WaitForView();
    ASSERT_TRUE(view.has_value()) << "Activate brought no window" << TreeText() << program.Describe();
    ExpectMannersAndAlpha(*view);

    // A host asking for the menu gets no window of the program's own: the host has the menu.
    ASSERT_TRUE(CallItem(*item, "ContextMenu"));
    EXPECT_FALSE(WaitUntil([] { return ProgramViews().size() > 1; }, 3s))
        << "a stray menu window opened" << TreeText();
    EXPECT_TRUE(program.Armed());

    // Exit from the host's menu closes the watchdog, stores the switch and ends the program.
    ASSERT_TRUE(program.WriteLastState(kStateOff)); // Exit must store the switch, not keep this
    ASSERT_TRUE(WaylandSession::GiveToUser(testsupport::Root())); // the store file is new
    ASSERT_TRUE(Choose(*item, menuPath, exit->id));
    const auto ended = program.WaitForExit(kWait);
    ASSERT_TRUE(ended.has_value()) << "Exit did not end the program" << program.Describe();
    EXPECT_TRUE(ended->exited && ended->code == 0) << "code " << ended->code << ", signal " << ended->signal
                                                   << program.Describe();
    EXPECT_TRUE(program.Disarmed()) << program.Describe();
    EXPECT_EQ(program.LastState(), kStateOn) << "Exit stores the switch: on";
    EXPECT_TRUE(WaitUntil([] { return !RegisteredItem().has_value(); }, kWait))
        << "the icon stays in the tray after the program";
}

TEST_F(WaylandDesktop, HiddenStartWithoutATrayShowsTheWindowFloatingAtItsSize)
{
    WaylandSession session(WaylandSession::Options{.tray = false});
    ASSERT_TRUE(session.Started()) << session.Error();
    const auto noSystemBus = NoSystemBus();
    ProgramRun program(Settings{.lastState = kMarkOn});
    ASSERT_TRUE(Start(program, {"-h"}));
    ASSERT_TRUE(program.WaitUntilSettled()) << program.Describe() << session.Describe();
    const auto view = WaitForView();
    ASSERT_TRUE(view.has_value()) << "no way back to the program: no tray and no window" << TreeText()
                                  << program.Describe();
    ExpectMannersAndAlpha(*view);

    ASSERT_TRUE(program.Signal(SIGTERM));
    const auto ended = program.WaitForExit(kWait);
    ASSERT_TRUE(ended.has_value()) << program.Describe();
    EXPECT_TRUE(ended->exited && ended->code == 0) << "code " << ended->code << ", signal " << ended->signal
                                                   << program.Describe();
    EXPECT_TRUE(program.Disarmed()) << program.Describe();
}

// On the machine model whose watchdog a service program drives, switching asks first (a box
// over the window) and then locks the controls and the menu's Exit until the service has had
// its time; the host's menu follows the lock.
TEST_F(WaylandDesktop, SwitchingOnLocksExitInTheHostsMenuUntilTheServiceHasSettled)
{
    if (!testsupport::SwayInputAvailable())
        GTEST_SKIP() << "no virtual pointer (built with libwayland-dev) or no wtype; the lock-out check did not run";
    WaylandSession session(WaylandSession::Options{.tray = true, .pointer = true});
    ASSERT_TRUE(session.Started()) << session.Error();
    const auto noSystemBus = NoSystemBus();
    ProgramRun program(Settings{.lastState = kStateOff});
    ASSERT_TRUE(program.Seed());
    {
        RegistryKey key;
        ASSERT_TRUE(key.Open(platform::HKEY_LOCAL_MACHINE, "Software\\TOLV\\TOLV Watchdog Timer",
                             KeyAccess::CreateIfMissing));
        ASSERT_TRUE(key.WriteDword("Model Type WMI", 5));
        key.Flush();
    }
    ASSERT_TRUE(WaylandSession::GiveToUser(testsupport::Root()));
    // The service is up before the program looks for it, so the program starts none itself.
    const auto serviceWords = WaylandSession::AsUser({(testsupport::BinFolder() / "TolvWdtSVR").string()});
    testsupport::ChildProgram service(serviceWords.front(), {serviceWords.begin() + 1, serviceWords.end()},
                                      testsupport::Root() / "service.log");
    ASSERT_TRUE(WaitUntil([] { return !platform::FindWindowsOfAllUsers("TMainForm", "WdtSVR").empty(); }, kWait)) << service.Log();
    ASSERT_TRUE(program.StartThrough(WaylandSession::AsUser({})));
    ASSERT_TRUE(program.WaitUntilSettled()) << program.Describe();
    std::optional<Item> item;
    ASSERT_TRUE(WaitUntil([&] { return (item = RegisteredItem()).has_value(); }, kWait)) << program.Describe();
    const std::string menuPath = ItemProperty(*item, "Menu");
    const auto view = WaitForView();
    ASSERT_TRUE(view.has_value()) << TreeText() << program.Describe();
    ASSERT_TRUE(WaitUntil([&] { return ShowsWindow(ScreenshotNow(), *view); }, kWait));
    auto exit = ExitEntry(*item, menuPath);
    ASSERT_TRUE(exit.has_value());
    EXPECT_TRUE(exit->enabled);

    // The switch asks; the box comes over the window and Return confirms.
    ASSERT_TRUE(testsupport::SwayClick(view->x + kSwitchX, view->y + kSwitchY)) << session.Describe();
    ASSERT_TRUE(WaitUntil([] { return ProgramViews().size() == 2; }, kWait)) << "no question" << TreeText();
    ASSERT_TRUE(WaitUntil([] { return testsupport::SwayKey("Return") && ProgramViews().size() == 1; }, kWait))
        << "the question stayed" << TreeText() << session.Describe();
    ASSERT_TRUE(WaitUntil([&] { return program.Armed(); }, kWait)) << program.Describe() << service.Log();

    // Locked: Exit cannot be chosen from the host's menu, then can again.
    EXPECT_TRUE(WaitUntil([&] { return (exit = ExitEntry(*item, menuPath)) && !exit->enabled; }, kWait))
        << "Exit stayed enabled during the lock-out";
    ASSERT_TRUE(WaitUntil([&] { return (exit = ExitEntry(*item, menuPath)) && exit->enabled; }, kStartWait))
        << "Exit stayed disabled after the lock-out";

    // Exit asks the service to close the watchdog and ends the program.
    ASSERT_TRUE(Choose(*item, menuPath, exit->id));
    const auto ended = program.WaitForExit(kWait);
    ASSERT_TRUE(ended.has_value()) << "Exit did not end the program" << program.Describe();
    EXPECT_TRUE(ended->exited && ended->code == 0) << program.Describe();
    EXPECT_TRUE(WaitUntil([&] { return program.Disarmed(); }, kWait)) << program.Describe() << service.Log();
    ASSERT_TRUE(service.Signal(SIGTERM));
    EXPECT_TRUE(service.Wait(kWait).has_value());
}

} // namespace
