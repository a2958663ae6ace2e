// The handlers a host installs for the whole process, and the policy that
// asks them before the platform.
#include <mutex>

#include "platform/dialogs.h"
#include "platform/windowing.h"
#include "tarnwick/host.h"

namespace tarnwick {

namespace {
std::mutex handlerLock;
MessageBoxHandler& messageBoxHandler() {
    static MessageBoxHandler handler;
    return handler;
}
YieldHandler& yieldHandler() {
    static YieldHandler handler;
    return handler;
}
}  // namespace

void setMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(handlerLock);
    messageBoxHandler() = std::move(handler);
}

std::int32_t askUser(DialogApi& dialogs, const String& prompt, std::int32_t style,
                     const String& caption) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(handlerLock);
        handler = messageBoxHandler();
    }
    // Called outside the lock: a handler may install another.
    return handler ? handler(prompt, style, caption) : dialogs.messageBox(prompt, style, caption);
}

void setYieldHandler(YieldHandler handler) {
    std::lock_guard lock(handlerLock);
    yieldHandler() = std::move(handler);
}

void yieldToHost(WindowApi& windows) {
    YieldHandler handler;
    {
        std::lock_guard lock(handlerLock);
        handler = yieldHandler();
    }
    handler ? handler() : windows.yieldToMessages();
}

}  // namespace tarnwick
