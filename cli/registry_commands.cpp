// Settings through twRegistry: tarnwick reg get / reg set.
#include <cctype>

#include "cli.h"

namespace tarnwick::cli {
namespace {

const char* const regHelp =
    "Usage: tarnwick reg get ROOT KEY NAME [--default VALUE] [--number] [--json]\n"
    "       tarnwick reg set ROOT KEY NAME VALUE [--number]\n"
    "\n"
    "Reads or writes one setting: value NAME of key KEY (parts separated by\n"
    "backslashes, created with every missing part) below ROOT, one of\n"
    "HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS in\n"
    "any letter case.\n"
    "\n"
    "  --number         the value is a 32-bit number rather than text; VALUE (or\n"
    "                   the default) is converted as the automation runtime does\n"
    "                   (42, -7, &H10, 2.5 rounds to 2), anything else is an error\n"
    "  --json           get: print {\"root\", \"key\", \"name\", \"value\"}, the value\n"
    "                   a JSON number with --number, else a string\n"
    "  --default VALUE  get: when the setting is missing (or of another kind),\n"
    "                   write VALUE first and print it\n"
    "\n"
    "get prints the setting; a missing one without --default prints nothing and\n"
    "exits with 1. Both exit with 1 when ROOT is not one of the four or the\n"
    "settings cannot be read or written.\n"
    "\n"
    "On Windows the settings are in the registry. On Linux they are in a SQLite\n"
    "database, $XDG_CONFIG_HOME/tarnwick/registry.sqlite (~/.config/... when\n"
    "XDG_CONFIG_HOME is not set), or the file TARNWICK_REGISTRY names (a relative\n"
    "name is taken from the folder that is current when the settings are first\n"
    "needed). On a file system mounted read-only the settings are read as usual\n"
    "and every write fails.";

String where(const Args& a) {
    const auto& p = a.positionals();
    about(p[1] + u"\\" + p[2] + u"\\" + p[3]);
    return subject();
}

// Why a setting could not be read or written: the root is checked here, as
// the library answers both an unknown root and a store it cannot open alike.
String whyNot(const Args& a, const char16_t* access) {
    std::string root = toUtf8(a.positionals()[1]);
    for (char& c : root) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* known :
         {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"})
        if (root == known)
            return u"tarnwick reg: " + where(a) + u": the settings store cannot be " + access +
                   u" (damaged, or not allowed)";
    return u"tarnwick reg: " + a.positionals()[1] +
           u": unknown root (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or "
           u"HKEY_USERS)";
}

int get(const Args& a) {
    a.expectPositionals(4, "reg get ROOT KEY NAME");
    const auto& p = a.positionals();
    where(a);
    Variant value;
    const auto fallback = a.option("default");
    const Boolean asText = !a.flag("number");
    const bool read = static_cast<bool>(
        fallback ? twRegistry().GetSetting(p[1], p[2], p[3], value, asText, Variant(*fallback))
                 : twRegistry().GetSetting(p[1], p[2], p[3], value, asText));
    if (!read) {
        err(whyNot(a, u"read"));
        return No;
    }
    if (!fallback && value.kind() == Variant::Kind::String &&
        value.asString() == u"--NOT-FOUND--") {
        err(u"tarnwick reg: " + where(a) + u": no such setting");
        return No;
    }
    if (a.flag("json"))
        out("{\"root\":" + jsonString(p[1]) + ",\"key\":" + jsonString(p[2]) +
            ",\"name\":" + jsonString(p[3]) + ",\"value\":" +
            (value.kind() == Variant::Kind::String ? jsonString(value.toString())
                                                   : toUtf8(value.toString())) +
            "}");
    else
        out(value.toString());
    return Ok;
}

int set(const Args& a) {
    if (a.option("default") || a.flag("json"))
        throw UsageError{"--default and --json belong to reg get"};
    a.expectPositionals(5, "reg set ROOT KEY NAME VALUE");
    const auto& p = a.positionals();
    where(a);
    if (!twRegistry().SaveSetting(p[1], p[2], p[3], Variant(p[4]), !a.flag("number"))) {
        err(whyNot(a, u"written"));
        return No;
    }
    return Ok;
}

}  // namespace

std::vector<Command> registryCommands() {
    std::vector<Command> commands;
    commands.push_back({"reg",
                        "read or write a setting (get, set)",
                        regHelp,
                        [](const Args& a) {
                            const std::string action =
                                a.positionals().empty() ? "" : toUtf8(a.positionals()[0]);
                            if (action == "get") return get(a);
                            if (action == "set") return set(a);
                            throw UsageError{"expected reg get or reg set"};
                        },
                        {"default"},
                        {"number", "json"}});
    return commands;
}

}  // namespace tarnwick::cli
