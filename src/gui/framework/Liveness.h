#pragma once

#include <memory>

namespace framework {

// What a watcher holds: it expires when the object that handed it out is destroyed.
using LifeWatch = std::weak_ptr<const int>;

// Expires with its holder. Code that calls out to a handler that may destroy the holder (a
// handler may destroy its own control) takes a Watch first and checks it on return before it
// touches the holder again.
class Liveness {
public:
    Liveness() = default;
    Liveness(const Liveness&) = delete;
    Liveness& operator=(const Liveness&) = delete;

    LifeWatch Watch() const { return m_Token; }

private:
    std::shared_ptr<const int> m_Token = std::make_shared<const int>(0);
};

} // namespace framework
