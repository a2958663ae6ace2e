// Message boxes on Windows (asked only when the host installed no handler):
// the system's own modal box.
#include "platform/win32/win32_platform.h"

namespace tarnwick {

std::int32_t Win32Platform::messageBox(const String& prompt, std::int32_t style,
                                       const String& caption) {
    // Task-modal: with no owner window, the box still keeps the user from
    // the other windows of the program until it is answered. MessageBoxW
    // shows every text MessageBoxA can, and the ones outside the code page.
    const int answer = MessageBoxW(nullptr, toWide(prompt).c_str(), toWide(caption).c_str(),
                                   static_cast<UINT>(style) | MB_TASKMODAL);
    if (answer > 0) return answer;
    // No box could be shown (0; Wine without a display answers -1): nobody
    // agreed to anything, and a wait asking again would never end.
    const bool question = (style & 0xF) == box_styles::OkCancel;
    return question ? answers::Cancel : answers::Ok;
}

}  // namespace tarnwick
