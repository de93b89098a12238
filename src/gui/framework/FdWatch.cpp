#include "gui/framework/FdWatch.h"

#include <QSocketNotifier>
#include <utility>

#include "gui/framework/Application.h"

namespace framework {

FdWatch::FdWatch(int fd, Handler handler)
    : m_Notifier(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)), m_Handler(std::move(handler)),
      m_Fd(fd)
{
    QObject::connect(m_Notifier.get(), &QSocketNotifier::activated, [this] {
        // A copy, so a handler that destroys this watch does not destroy itself while it runs.
        Handler handler = m_Handler;
        if (handler)
            Guarded(handler);
    });
}

FdWatch::~FdWatch() = default;

void FdWatch::SetEnabled(bool enabled)
{
    m_Notifier->setEnabled(enabled);
}

bool FdWatch::Enabled() const
{
    return m_Notifier->isEnabled();
}

} // namespace framework
