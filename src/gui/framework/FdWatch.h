#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace framework {

// Calls a handler from the event loop whenever a file descriptor has data to read (or has
// reached its end). The handler should read what is waiting: until it does, the descriptor
// stays readable and the handler is called again. An exception from the handler is shown by
// the top-level error display and the watch goes on.
//
// The watch does not own the descriptor; destroy the watch before closing it. The handler may
// disable or destroy its own watch.
class FdWatch {
public:
    using Handler = std::function<void()>;

    // Starts watching at once.
    FdWatch(int fd, Handler handler);
    ~FdWatch();
    FdWatch(const FdWatch&) = delete;
    FdWatch& operator=(const FdWatch&) = delete;

    int Fd() const { return m_Fd; }

    void Enable() { SetEnabled(true); }
    void Disable() { SetEnabled(false); }
    void SetEnabled(bool enabled);
    bool Enabled() const;

private:
    std::unique_ptr<QSocketNotifier> m_Notifier;
    Handler m_Handler;
    int m_Fd;
};

} // namespace framework
