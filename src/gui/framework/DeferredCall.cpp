#include "gui/framework/DeferredCall.h"

#include <QObject>

#include "gui/framework/Application.h"

namespace framework {

DeferredCall::DeferredCall(std::function<void()> call)
    : m_Call(std::move(call))
    , m_Context(std::make_unique<QObject>())
{
}

DeferredCall::~DeferredCall() = default;

void DeferredCall::Request()
{
    if (m_Pending)
        return;
    m_Pending = true;
    QMetaObject::invokeMethod(
        m_Context.get(), [this] { Guarded([this] { Flush(); }); }, Qt::QueuedConnection);
}

void DeferredCall::Flush()
{
    if (!m_Pending)
        return;
    m_Pending = false;
    m_Call();
}

} // namespace framework
