// The topmost band of windows, and the caller's message queue.
#include "platform/win32/win32_platform.h"

namespace tarnwick {

void Win32Platform::keepOnTop(std::int32_t window, bool on) {
    // Without SWP_NOACTIVATE: the window is also activated.
    SetWindowPos(windowFromInteger(window), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

void Win32Platform::yieldToMessages() {
    // Every message waiting for this thread is handled now, as the caller's
    // own loop would. A request to quit is left for that loop to see.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace tarnwick
