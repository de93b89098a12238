#pragma once

#include <functional>
#include <memory>

class QObject;

namespace framework {

// One call run later from the event loop, however often it is requested before it runs: the
// requests of one event-loop turn collapse into a single call. Destroying the object drops a
// pending call.
class DeferredCall {
public:
    explicit DeferredCall(std::function<void()> call);
    ~DeferredCall();
    DeferredCall(const DeferredCall&) = delete;
    DeferredCall& operator=(const DeferredCall&) = delete;

    void Request();
    bool Pending() const { return m_Pending; }
    // Drops a pending call (its effect was had some other way).
    void Cancel() { m_Pending = false; }
    // Runs a pending call now (callers that need its effect at once); nothing when none is.
    void Flush();

private:
    std::function<void()> m_Call;
    std::unique_ptr<QObject> m_Context; // queued calls die with it
    bool m_Pending = false;
};

} // namespace framework
