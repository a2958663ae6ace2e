// Settings: tarnwick reg get / reg set through twRegistry, reg list / reg
// delete through the registry calls of the platform.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "cli.h"
#include "platform/platform.h"

namespace tarnwick::cli {
namespace {

const char* const regHelp =
    "Usage: tarnwick reg get ROOT KEY NAME [--default VALUE] [--number] [--json]\n"
    "       tarnwick reg set ROOT KEY NAME VALUE [--number]\n"
    "       tarnwick reg list ROOT KEY [--json]\n"
    "       tarnwick reg delete ROOT KEY [NAME]\n"
    "\n"
    "Reads, writes, lists or deletes settings: value NAME of key KEY (parts\n"
    "separated by backslashes, created with every missing part by get and set)\n"
    "below ROOT, one of HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE\n"
    "and HKEY_USERS in any letter case.\n"
    "\n"
    "  --number         the value is a 32-bit number rather than text; VALUE (or\n"
    "                   the default) is converted as the automation runtime does\n"
    "                   (42, -7, &H10, 2.5 rounds to 2), anything else is an error\n"
    "  --json           get: print {\"root\", \"key\", \"name\", \"value\"}, the value\n"
    "                   a JSON number with --number, else a string;\n"
    "                   list: print {\"root\", \"key\", \"subkeys\": [names],\n"
    "                   \"values\": [{\"name\", \"value\"}]}, a number as a number\n"
    "  --default VALUE  get: when the setting is missing (or of another kind),\n"
    "                   write VALUE first and print it\n"
    "\n"
    "get prints the setting; a missing one without --default prints nothing and\n"
    "exits with 1. list prints each subkey as its name and a backslash, then each\n"
    "value as its name, a tab and the value as get prints it (another kind than\n"
    "text or number as its bytes in hexadecimal), each group sorted by name; it\n"
    "never creates the key. delete deletes value NAME, or without NAME the key\n"
    "with every key and value below it. list and delete exit with 1 when the key\n"
    "or value is not there. All exit with 1 when ROOT is not one of the four or\n"
    "the settings cannot be read or written.\n"
    "\n"
    "On Windows the settings are in the registry. On Linux they are in a SQLite\n"
    "database, $XDG_CONFIG_HOME/tarnwick/registry.sqlite (~/.config/... when\n"
    "XDG_CONFIG_HOME is not set), or the file TARNWICK_REGISTRY names (a relative\n"
    "name is taken from the folder that is current when the settings are first\n"
    "needed). On a file system mounted read-only the settings are read as usual\n"
    "and every write fails.";

// ROOT\KEY, and \NAME when given, as the subject of the messages.
String where(const Args& a) {
    const auto& p = a.positionals();
    String named = p[1] + u"\\" + p[2];
    if (p.size() > 3) named += u"\\" + p[3];
    about(named);
    return subject();
}

// The root handle value ROOT names, or 0.
std::uint32_t rootNamed(const String& name) {
    std::string root = toUtf8(name);
    for (char& c : root) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (root == "HKEY_CLASSES_ROOT") return registry_roots::ClassesRoot;
    if (root == "HKEY_CURRENT_USER") return registry_roots::CurrentUser;
    if (root == "HKEY_LOCAL_MACHINE") return registry_roots::LocalMachine;
    if (root == "HKEY_USERS") return registry_roots::Users;
    return 0;
}

String unknownRoot(const Args& a) {
    return u"tarnwick reg: " + a.positionals()[1] +
           u": unknown root (HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or "
           u"HKEY_USERS)";
}

// Why a setting could not be read or written: the root is checked here, as
// the library answers both an unknown root and a store it cannot open alike.
String whyNot(const Args& a, const char16_t* access) {
    if (!rootNamed(a.positionals()[1])) return unknownRoot(a);
    return u"tarnwick reg: " + where(a) + u": the settings store cannot be " + access +
           u" (damaged, or not allowed)";
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

// A value as get prints it: text, a number, or the bytes of any other kind
// in hexadecimal. number says which of the first two it is.
std::optional<String> valueText(Platform& system, RegistryKey key, const String& name,
                                bool& number) {
    std::uint32_t kind = 0, size = 0;
    if (system.queryValueInfo(key, name, kind, size) != registry_status::Ok) return std::nullopt;
    std::string data(size, '\0');
    if (size > 0 && system.queryValueData(key, name, data.data(), size) != registry_status::Ok)
        return std::nullopt;
    data.resize(std::min<std::size_t>(size, data.size()));
    number = kind == value_kinds::Number && data.size() == 4;
    if (number) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = n << 8 | static_cast<unsigned char>(data[i]);
        return fromUtf8(std::to_string(static_cast<std::int32_t>(n)));
    }
    if (kind == value_kinds::String || kind == value_kinds::ExpandString) {
        if (!data.empty() && data.back() == '\0') data.pop_back();
        return system.fromAnsi(data);
    }
    std::string hex;
    for (const char byte : data) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(byte));
        hex += two;
    }
    return fromUtf8(hex);
}

// Sorted as the registry compares names: without regard to case.
void sortByName(Platform& system, std::vector<String>& names) {
    std::stable_sort(names.begin(), names.end(), [&](const String& x, const String& y) {
        return system.upperCase(x) < system.upperCase(y);
    });
}

int list(const Args& a) {
    if (a.option("default") || a.flag("number"))
        throw UsageError{"--default and --number belong to reg get and reg set"};
    a.expectPositionals(3, "reg list ROOT KEY");
    const auto& p = a.positionals();
    const std::uint32_t root = rootNamed(p[1]);
    if (!root) {
        err(unknownRoot(a));
        return No;
    }
    Platform& system = platform();
    std::vector<String> subKeys, names;
    const std::int32_t status = system.listKey(root, p[2], subKeys, names);
    if (status == registry_status::FileNotFound) {
        err(u"tarnwick reg: " + where(a) + u": no such key");
        return No;
    }
    if (status != registry_status::Ok) {
        err(whyNot(a, u"read"));
        return No;
    }
    sortByName(system, subKeys);
    sortByName(system, names);
    // The values are read through a key opened only now that it is known to
    // be there, as opening makes a missing key.
    std::vector<std::pair<String, bool>> values;
    RegistryKey key = 0;
    if (!names.empty()) {
        if (system.createKey(root, p[2], key_access::QueryValue, key) != registry_status::Ok) {
            err(whyNot(a, u"read"));
            return No;
        }
        for (const String& name : names) {
            bool number = false;
            const std::optional<String> text = valueText(system, key, name, number);
            values.emplace_back(text.value_or(String()), number && text);
        }
        system.closeKey(key);
    }
    if (a.flag("json")) {
        std::string json =
            "{\"root\":" + jsonString(p[1]) + ",\"key\":" + jsonString(p[2]) + ",\"subkeys\":[";
        for (std::size_t i = 0; i < subKeys.size(); ++i)
            json += (i ? "," : "") + jsonString(subKeys[i]);
        json += "],\"values\":[";
        for (std::size_t i = 0; i < names.size(); ++i)
            json +=
                std::string(i ? "," : "") + "{\"name\":" + jsonString(names[i]) + ",\"value\":" +
                (values[i].second ? toUtf8(values[i].first) : jsonString(values[i].first)) + "}";
        out(json + "]}");
        return Ok;
    }
    for (const String& name : subKeys) out(name + u"\\");
    for (std::size_t i = 0; i < names.size(); ++i) out(names[i] + u"\t" + values[i].first);
    return Ok;
}

int remove(const Args& a) {
    if (a.option("default") || a.flag("number") || a.flag("json"))
        throw UsageError{"reg delete takes no options"};
    const auto& p = a.positionals();
    if (p.size() != 3 && p.size() != 4) a.expectPositionals(3, "reg delete ROOT KEY [NAME]");
    const std::uint32_t root = rootNamed(p[1]);
    if (!root) {
        err(unknownRoot(a));
        return No;
    }
    const bool value = p.size() == 4;
    if (!value && p[2].find_first_not_of(u'\\') == String::npos)
        throw UsageError{"delete needs a KEY below the root"};
    Platform& system = platform();
    const std::int32_t status =
        value ? system.deleteValue(root, p[2], p[3]) : system.deleteKey(root, p[2]);
    if (status == registry_status::FileNotFound) {
        err(u"tarnwick reg: " + where(a) + (value ? u": no such setting" : u": no such key"));
        return No;
    }
    if (status != registry_status::Ok) {
        err(whyNot(a, u"written"));
        return No;
    }
    return Ok;
}

}  // namespace

std::vector<Command> registryCommands() {
    std::vector<Command> commands;
    commands.push_back({"reg",
                        "read, write, list or delete settings (get, set, list, delete)",
                        regHelp,
                        [](const Args& a) {
                            const std::string action =
                                a.positionals().empty() ? "" : toUtf8(a.positionals()[0]);
                            if (action == "get") return get(a);
                            if (action == "set") return set(a);
                            if (action == "list") return list(a);
                            if (action == "delete") return remove(a);
                            throw UsageError{"expected reg get, set, list or delete"};
                        },
                        {"default"},
                        {"number", "json"},
                        {"get", "set", "list", "delete"}});
    return commands;
}

}  // namespace tarnwick::cli
