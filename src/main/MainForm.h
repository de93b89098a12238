#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/framework/DeferredCall.h"
#include "gui/framework/Form.h"
#include "gui/framework/Timer.h"
#include "gui/graphics/Bitmap.h"
#include "gui/util/LayeredWindow.h"
#include "platform/PowerEvents.h"
#include "platform/WindowMessages.h"

class GsButton;
class GsBulledCheckBox;
class GsImage;
class GsLabel;
class OcHMSlider;

namespace framework {
class BaseControl;
class Control;
class FdWatch;
}

// What the window takes from the way the program was started, and the waits of its start-up.
struct MainFormOptions {
    // The command line held the hidden-start switch.
    bool hiddenSwitch = false;
    // The service-window model's waits for the watchdog service program: before looking for
    // its window and after it in a hidden start, and after it in a shown start.
    std::chrono::milliseconds serviceWaitBefore{40000};
    std::chrono::milliseconds serviceWaitAfter{20000};
    std::chrono::milliseconds serviceWaitShown{3000};
    // The pause between switching the watchdog off and closing the window.
    std::chrono::milliseconds closePause{100};
    // Blocks the user-interface thread; null sleeps for real. Tests count the waits instead.
    std::function<void(std::chrono::milliseconds)> sleep;
    // Starts a helper program from the program folder; null runs it (RunProgram, no wait).
    std::function<void(const std::filesystem::path&)> startProgram;
    // Listen for close requests, power events and the end of the session.
    bool systemEvents = true;
};

// The program's one visible window: the watchdog switch, the two time fields, Apply and
// "Launch on startup", composed into one per-pixel-alpha picture. It owns the user's settings
// (on/off, restart countdown, reload period) and drives the watchdog through the shared
// controller. One class in several files: state and settings (MainForm.cpp), layout and
// composition (MainFormLayout.cpp), time fields (MainFormTimeFields.cpp), user actions
// (MainFormApply.cpp).
class TMainForm : public framework::Form {
public:
    explicit TMainForm(MainFormOptions options = {});
    ~TMainForm() override;

    // Window commands (close button and the tray's Exit, minimise button, the tray's restore).
    // The close button and Exit end the program only when the watchdog could be switched off.
    void OnCloseClick(framework::Component* sender);
    void OnMinimize(framework::Component* sender);
    void MinimizeToTray();
    void RestoreWindow();
    // The window's style for where it can be found: with an icon in the notification area a
    // tool window without a taskbar entry, without one a normal window that the taskbar lists.
    void FollowTray(bool hasTray);

    // Composes the window's picture from the background and every visible widget and presents
    // it. Widgets ask for it through OnRedrawRequest, which collapses the requests of one
    // event-loop turn into one Redraw.
    void Redraw();
    int RedrawCount() const { return m_RedrawCount; }
    // The last composed picture (for screenshots and tests).
    const graphics::Bitmap& Frame() const { return m_Frame; }

    // Set by the tray's owner form: enables its Exit command with the window's controls, and
    // tells whether the notification area holds the icon (without it, hiding the window would
    // leave the program out of reach).
    std::function<void(bool)> SetExitEnabled;
    std::function<bool()> TrayHoldsIcon;
    // Set by the tray's owner form: called after the switch or the times were applied (or an
    // arm failed), so that the icon's tooltip follows.
    std::function<void()> OnWatchdogChange;

    // State, for the program's other windows and for tests.
    bool ModelTypeWMI() const { return m_ModelTypeWMI; }
    std::uint32_t LastState() const { return m_LastState; }
    std::uint32_t SavedRebootTime() const { return m_SavedRebootTime; }
    std::uint32_t SavedResetTime() const { return m_SavedResetTime; }
    // Whether the watchdog runs (the switch shows what the device does), and the times running.
    bool WatchdogOn() const;
    std::uint32_t AppliedRebootTime() const { return m_AppliedRebootTime; }
    std::uint32_t AppliedResetTime() const { return m_AppliedResetTime; }
    int MinGap() const { return m_MinGap; }
    GsBulledCheckBox* Switch() const { return m_Switch; }
    GsBulledCheckBox* StartupCheck() const { return m_StartupCheck; }
    GsButton* ApplyButton() const { return m_ApplyButton; }
    GsButton* CloseButton() const { return m_CloseButton; }
    GsButton* MinimizeButton() const { return m_MinimizeButton; }
    OcHMSlider* RebootSlider() const { return m_RebootSlider; }
    OcHMSlider* ResetSlider() const { return m_ResetSlider; }
    GsLabel* RebootLabel() const { return m_RebootLabel; }
    GsLabel* ResetLabel() const { return m_ResetLabel; }
    // The controls in their keyboard focus order.
    std::vector<framework::Control*> FocusOrder() const;
    // Restart up, restart down, reload up, reload down.
    GsButton* ArrowButton(int index) const { return m_ArrowButtons.at(static_cast<std::size_t>(index)); }
    // Restart minimum, middle, maximum; reload minimum, middle, maximum.
    GsLabel* ScaleLabel(int index) const { return m_ScaleLabels.at(static_cast<std::size_t>(index)); }
    GsImage* Background() const { return m_Background; }
    const std::vector<framework::BaseControl*>& Controls() const { return m_Controls; }
    framework::Timer& LockTimer() { return m_Timer1; }
    int LockTicks() const { return m_LockTicks; }

    // User actions (bound to the widgets; public so that the tray and tests reach them).
    void OnSwitchClick(framework::Component* sender);
    void OnApplyClick(framework::Component* sender);
    void OnStartupCheckClick(framework::Component* sender);
    void SetControlsEnabled(bool enable);
    void Timer1Timer(framework::Component* sender);

    // System events (MainFormSystem.cpp). wParam: 4 suspend; 6, 7, 18 resumed.
    void WMPowerBroadcast(int wParam);
    // The session may end (log-off, shutdown): the watchdog is closed, nothing is stored.
    void QueryEndSession();
    // A shutdown or log-off was called off: a watchdog that was on is armed again, unless the
    // user has switched it off since.
    void ShutdownCancelled();
    void OnPowerEvent(platform::PowerEvent event);
    // Message 2044 from another program: close the watchdog and end, the stored state kept; a
    // watchdog that cannot be switched off is left with its longest countdown.
    void WMCloseRequest();
    void OnWindowMessage(const platform::WindowMessage& message);
    static constexpr std::uint32_t kCloseRequest = 2044;
    // Message 2045 from a second start of this user's program: the window is shown and raised.
    static constexpr std::uint32_t kShowRequest = 2045;

protected:
    void DoCreate() override;
    void DoShow() override;
    void DoClose(framework::CloseAction& action) override;

private:
    // MainForm.cpp: state, settings and transitions.
    void InitLimits();
    void EnsureServiceRunning();
    void LoadSettings();
    // Enabled while the watchdog is on: every control; while off: the switch and the window's
    // buttons only.
    void EnableControlsFor(bool on);
    void ApplySwitchState(bool on);
    bool TurnOn();
    void TurnOff();
    // SetTime and Start; when the watchdog refuses the countdown nothing is started, the user
    // is told and the switch shows off. Answers whether the watchdog runs.
    bool Arm(std::int32_t restart, std::int32_t reload);
    // Close on the controller; answers why the watchdog could not be switched off (and writes
    // it to the trace log), empty when it was.
    std::string CloseWatchdog();
    // The user asked the program to end while the watchdog cannot be switched off: it keeps
    // running (hidden to the tray when the tray holds the icon) and says why.
    void StayForTheWatchdog(const std::string& failure);
    // The program must end (the session ends, a close request): a watchdog that could not be
    // switched off is left with the longest countdown it takes, and the trace log says so.
    void LeaveTheLongestCountdown();
    // Sleep, shutdown and the end-of-session signals.
    void StartPowerEvents();
    // The socket through which other programs post messages to the window.
    void StartMessageWindow();
    void WatchPowerEvents();
    // What WriteSettings stores besides LAST_STATE.
    enum class SettingsWrite { StateOnly, StateAndTimes };
    // Writes LAST_STATE and, with StateAndTimes, both sliders' positions (then also the saved
    // times); tells the user once per run when the store cannot be written.
    void WriteSettings(std::uint32_t lastState, SettingsWrite what);
    void Sleep(std::chrono::milliseconds period);
    void WatchdogChanged();
    // Tells the user, in a message box with the program's caption.
    void Tell(const std::string& text);

    // MainFormLayout.cpp: the widgets and the composition.
    void CreateBackground();
    void CreateWidgets();
    void CreateButtons();
    void CreateCheckBoxes();
    void CreateLabels();
    GsButton* CreateSkinButton(int left, int top, const std::array<const char*, 4>& images,
                               const char* caption, const char* hint);
    GsLabel* CreateSkinLabel(const std::string& text, int left, int top, std::uint32_t color);
    GsBulledCheckBox* CreateMarkCheckBox(int left, int top, const char* caption, const char* hint);
    GsBulledCheckBox* CreateSwitch(int left, int top);
    GsBulledCheckBox* CreateCheckBox(int left, int top, int firstImage);
    void FinishCheckBox(GsBulledCheckBox* box);
    GsLabel* AddLabel(const std::string& text, int left, int top, int width, int height,
                      int points, std::uint32_t color, const char* face);
    // Takes a new widget into the window: parented here, owned by m_Owned.
    template <typename T>
    T* Own(std::unique_ptr<T> control)
    {
        T* raw = control.get();
        raw->SetParent(this);
        m_Owned.push_back(std::move(control));
        return raw;
    }
    void OnRedrawRequest(framework::Component* sender);
    void OnBackgroundMouseDown(framework::Component* sender, framework::MouseButton button,
                               framework::ShiftState shift, int x, int y);

    // MainFormTimeFields.cpp: the restart and reload fields.
    void CreateTimeFields();
    void OnRebootChange(framework::Component* sender);
    void OnRebootTrack(framework::Component* sender, double position);
    void OnRebootClick(framework::Component* sender);
    void OnResetChange(framework::Component* sender);
    void OnResetTrack(framework::Component* sender, double position);
    void OnResetClick(framework::Component* sender);
    void OnArrowClick(framework::Component* sender);
    // Steps 1, 2 and 4 of a restart change: the big number, the reload maximum, the reload value.
    void FollowRebootPosition();
    void UpdateResetScale();
    void SetNumber(GsLabel* label, std::int32_t value);
    // Both big numbers from the sliders.
    void ShowSliderNumbers();
    void PutSlidersBack();
    // Moves a field by delta seconds within its limits, as its arrows do one step at a time;
    // the slider's OnChange brings the coupling and Apply.
    void StepField(OcHMSlider* slider, std::int32_t delta);

    // MainFormKeys.cpp: the keyboard, the focus mark and the names read out to assistive
    // technology.
    void SetUpKeyboard();
    void OnFormKeyDown(framework::Component* sender, std::uint16_t& key, framework::ShiftState shift);
    // Draws the focus mark around the focused control into frame, once the keyboard is in use.
    void DrawFocusMark(graphics::Bitmap& frame);

    MainFormOptions m_Options;
    framework::Timer m_Timer1;
    GsLabel* m_RebootLabel = nullptr;
    GsLabel* m_ResetLabel = nullptr;
    OcHMSlider* m_RebootSlider = nullptr;
    std::uint32_t m_LastState = 15;
    std::uint32_t m_AppliedRebootTime = 0;
    OcHMSlider* m_ResetSlider = nullptr;
    std::uint32_t m_SavedRebootTime = 60;
    std::uint32_t m_SavedResetTime = 20;
    std::int32_t m_LockTicks = 0;
    std::int32_t m_MinGap = 5;
    std::int32_t m_RebootMin = 10;
    std::int32_t m_ResetMin = 5;
    std::unique_ptr<gs::TPerPixelLayeredWindowMaker> m_LayeredWindow;
    GsImage* m_Background = nullptr;
    GsButton* m_MinimizeButton = nullptr;
    GsButton* m_ApplyButton = nullptr;
    GsButton* m_CloseButton = nullptr;
    GsBulledCheckBox* m_StartupCheck = nullptr;
    GsBulledCheckBox* m_Switch = nullptr;
    std::array<GsButton*, 4> m_ArrowButtons{};
    std::array<GsLabel*, 6> m_ScaleLabels{};
    // Every widget in creation order; the composition order and the set that is enabled and
    // disabled together. Not owning.
    std::vector<framework::BaseControl*> m_Controls;
    bool m_ModelTypeWMI = false;

    // Owns every widget (the background first); destroyed newest first, before the form.
    std::vector<std::unique_ptr<framework::BaseControl>> m_Owned;
    framework::DeferredCall m_RedrawRequest;
    graphics::Bitmap m_Frame;
    int m_RedrawCount = 0;
    bool m_Composing = false;
    bool m_StoreFailureTold = false;
    // The last try to switch the watchdog on failed; the store keeps the choice made before.
    bool m_ArmFailed = false;
    std::uint32_t m_AppliedResetTime = 0;
    // Whether the watchdog was on when the machine went to sleep or the session began to end.
    bool m_OnBeforeSuspend = false;
    bool m_OnBeforeShutdown = false;
    // The program ends whatever the watchdog does (the session ends, a close request).
    bool m_MustEnd = false;
    std::string m_TracedCloseFailure;

    std::unique_ptr<platform::MessageWindow> m_MessageWindow;
    std::unique_ptr<framework::FdWatch> m_MessageWatch;
    std::unique_ptr<platform::PowerEvents> m_PowerEvents;
    std::vector<std::unique_ptr<framework::FdWatch>> m_PowerWatches;
    std::vector<int> m_PowerFds;
    framework::DeferredCall m_RewatchPower{[this] { WatchPowerEvents(); }};
};
