// One call of a twShell launcher as a row of data.
#pragma once

#include "tarnwick/tarnwick.h"

namespace tarnwick::testing {

// a: game index, joystick, song or DisplayError; b-e: ports, modes. Player: game is the folder.
enum Method { Win64, PC64, Frodo, CB64, V109, V20, C64S, Vice, ViceNo, Play, Song };
struct Call {
    Method method;
    String emulator = {}, game = {};
    Variant name = {};
    std::int32_t a = 0, b = 1, c = 2, d = 0, e = 0;
    Boolean write = false;
    String games = u"D:\\My Games";
};

inline String run(twShell& s, const Call& k) {
    const String name = k.name.kind() == Variant::Kind::String ? k.name.asString() : String();
    const auto n16 = static_cast<std::int16_t>(k.a);
    // clang-format off
    using V109E = CCS64v109ControlsEnum; using V20E = CCS64v20ControlEnum; using V20M = CCS64v20ControlModeEnum;
    switch (k.method) {
        case Win64: return s.Win64Beta(k.emulator, k.game, false);
        case PC64: return s.PC64Win(k.emulator, k.game, true);
        case Frodo: return s.Frodo(k.emulator, false);
        case CB64: return s.Comeback64(k.emulator, k.game, CB64ControlsEnum(k.a), false);
        case V109: return s.CCS64v109(k.emulator, k.games, k.game, n16, V109E(k.b), V109E(k.c), V109E(k.d), V109E(k.e), k.write, false);
        case V20: return s.CCS64v20DosAndWin(k.emulator, k.games, k.game, n16, V20E(k.b), V20E(k.c), V20M(k.d), V20M(k.e), k.write, false);
        case C64S: return s.C64Sv252(k.emulator, k.game, k.name, C64SControlsEnum(k.b), C64SControlsEnum(k.c), k.write, false);
        case Vice: return s.VICE(k.emulator, k.game, name, VICEControlsEnum(k.b), VICEControlsEnum(k.c), false);
        case ViceNo: return s.VICENoSettings(k.emulator, k.game, name, false);
        case Play: s.PlayMusic(k.emulator, k.game, name, u"Tunes", Boolean::fromRaw(n16)); break;
        case Song: s.PlayMusicSong(k.emulator, k.game, name, n16); break;
    }
    // clang-format on
    return String();
}

}  // namespace tarnwick::testing
