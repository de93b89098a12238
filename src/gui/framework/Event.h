#pragma once

#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>

namespace framework {

// An event slot: a function bound to its context (usually a handler method on its owner),
// called only when set. The sender is passed as the first argument by convention.
template <typename... Args>
class Event {
public:
    using Function = std::function<void(Args...)>;

    Event() = default;
    Event(std::nullptr_t) {}

    // Any callable with the event's signature: a lambda, a std::function.
    template <typename F>
        requires(!std::is_same_v<std::decay_t<F>, Event> &&
                 !std::is_same_v<std::decay_t<F>, std::nullptr_t> &&
                 std::is_constructible_v<Function, F>)
    Event(F&& fn) : m_Fn(std::forward<F>(fn))
    {
    }

    // Binds a method of an object; the object must outlive the binding.
    template <typename T>
    Event(T* object, void (T::*method)(Args...))
        : m_Fn([object, method](Args... args) { (object->*method)(args...); })
    {
    }

    // A plain function with an untyped context, as callers without objects bind it.
    Event(void (*fn)(void* context, Args...), void* context)
        : m_Fn([fn, context](Args... args) { fn(context, args...); })
    {
    }

    bool IsSet() const { return static_cast<bool>(m_Fn); }
    explicit operator bool() const { return IsSet(); }
    void Clear() { m_Fn = nullptr; }

    // Calls the handler when one is set. The handler is copied first, so a handler that
    // rebinds or clears this very event while it runs does not destroy itself.
    void operator()(Args... args) const
    {
        if (!m_Fn)
            return;
        Function fn = m_Fn;
        fn(std::forward<Args>(args)...);
    }

private:
    Function m_Fn;
};

} // namespace framework
