// The handlers a host installs for the whole process.
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

MessageBoxHandler installedMessageBoxHandler() {
    std::lock_guard lock(handlerLock);
    return messageBoxHandler();
}

void setYieldHandler(YieldHandler handler) {
    std::lock_guard lock(handlerLock);
    yieldHandler() = std::move(handler);
}

YieldHandler installedYieldHandler() {
    std::lock_guard lock(handlerLock);
    return yieldHandler();
}

}  // namespace tarnwick
