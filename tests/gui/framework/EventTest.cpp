#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/framework/Component.h"
#include "gui/framework/Form.h"

using framework::Event;

namespace {

struct Listener {
    std::vector<int> seen;
    void Handle(framework::Component*, int value) { seen.push_back(value); }
};

void AddToContext(void* context, int value)
{
    *static_cast<int*>(context) += value;
}

} // namespace

TEST(Event, UnsetEventIsSkipped)
{
    Event<int> event;
    EXPECT_FALSE(event.IsSet());
    event(5); // nothing to call, nothing happens
    event = [](int) {};
    EXPECT_TRUE(event.IsSet());
    event.Clear();
    EXPECT_FALSE(event);
}

TEST(Event, BindsMethodsAndFunctionsWithContext)
{
    Listener listener;
    Event<framework::Component*, int> method(&listener, &Listener::Handle);
    method(nullptr, 3);
    method(nullptr, 4);
    EXPECT_EQ(listener.seen, (std::vector<int>{3, 4}));

    int total = 10;
    Event<int> plain(&AddToContext, &total);
    plain(5);
    EXPECT_EQ(total, 15);
}

TEST(Event, ReferenceArgumentsReachTheCaller)
{
    framework::CloseEvent onClose = [](framework::Component*, framework::CloseAction& action) {
        action = framework::caNone;
    };
    framework::CloseAction action = framework::caHide;
    onClose(nullptr, action);
    EXPECT_EQ(action, framework::caNone);
}

TEST(Event, HandlerMayReplaceItsOwnEventWhileRunning)
{
    // The handler's captured state must stay alive until it returns, although the event it
    // runs from was rebound inside it.
    Event<> event;
    std::vector<std::string> log;
    std::string name = "first handler with a long enough name to live on the heap";
    event = [&event, &log, name] {
        event = [&log] { log.push_back("second"); };
        log.push_back(name);
    };
    event();
    event();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], name);
    EXPECT_EQ(log[1], "second");
}
