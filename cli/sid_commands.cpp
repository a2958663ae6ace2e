// SID tunes: reading and patching PSID headers (twFunctions) and playing a
// tune in an outside player (twShell).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli.h"

namespace tarnwick::cli {
namespace {

namespace fs = std::filesystem;

// A header text for display: cut at its padding (the first NUL).
String trimmed(const String& field) {
    return field.substr(0, field.find(u'\0'));
}

// Why a tune could not be read or written: the file itself, then its header.
std::string whyNotATune(const String& file) {
    std::ifstream in(fs::u8path(toUtf8(file)), std::ios::binary);
    std::error_code error;
    if (!fs::exists(fs::u8path(toUtf8(file)), error)) return "no such file";
    if (!in) return "cannot be read";
    char magic[4] = {};
    in.read(magic, 4);
    in.seekg(0, std::ios::end);
    if (!in || (std::string(magic, 4) != "PSID" && std::string(magic, 4) != "RSID"))
        return "no PSID tune";
    if (in.tellg() < 118) return "no PSID tune (its header is cut short)";
    return "";
}

// "sid info": one line, or one JSON object, per tune.
int info(const std::vector<String>& files, bool json) {
    if (files.empty()) throw UsageError{"sid info needs at least one FILE"};
    int status = Ok;
    for (const String& file : files) {
        // Texts start empty: after a false result, 32-character texts mean
        // that the header was read and only a song number was out of range.
        String name, author, copyright;
        std::int16_t songs = 0, start = 0;
        const bool ok = static_cast<bool>(
            twFunctions(platform()).GetSidInfo(file, name, author, copyright, songs, start));
        if (!ok) {
            status = No;
            std::string why = whyNotATune(file);
            if (why.empty())
                why = name.size() == 32
                          ? "its song numbers are out of range (high byte 128 or more)"
                          : "cannot be read";
            if (json)
                out("{\"file\":" + jsonString(file) +
                    ",\"ok\":false,\"error\":" + jsonString(fromUtf8(why)) + "}");
            else
                err("tarnwick sid info: " + toUtf8(file) + ": " + why);
            continue;
        }
        if (json) {
            out("{\"file\":" + jsonString(file) + ",\"ok\":true,\"name\":" +
                jsonString(trimmed(name)) + ",\"author\":" + jsonString(trimmed(author)) +
                ",\"copyright\":" + jsonString(trimmed(copyright)) + ",\"songs\":" +
                std::to_string(songs) + ",\"defaultSong\":" + std::to_string(start) + "}");
        } else {
            String line = file + u": " + (trimmed(name).empty() ? u"(no name)" : trimmed(name));
            if (!trimmed(author).empty()) line += u" by " + trimmed(author);
            if (!trimmed(copyright).empty()) line += u" (" + trimmed(copyright) + u")";
            out(line + u", " + fromUtf8(std::to_string(songs)) +
                (songs == 1 ? u" song" : u" songs") + u", default song " +
                fromUtf8(std::to_string(start)));
        }
    }
    return status;
}

std::int16_t songNumber(const String& text) {
    const std::string s = toUtf8(text);
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(s, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (s.empty() || used != s.size())
        throw UsageError{s + ": SONG must be a whole number from 0 to 256"};
    if (value < 0 || value > 256) throw UsageError{s + ": out of range 0..256"};
    return static_cast<std::int16_t>(value);
}

// "sid set-default FILE SONG".
int setDefault(const std::vector<String>& words) {
    if (words.size() != 2) throw UsageError{"sid set-default needs FILE and SONG"};
    const std::int16_t song = songNumber(words[1]);
    if (!twFunctions(platform()).SaveDefaultSidSong(words[0], song)) {
        std::string why = whyNotATune(words[0]);
        if (why.empty())
            why = twFunctions(platform()).DriveTypeIsCDRom(words[0]) ? "on a CD-ROM"
                                                                     : "may not be written";
        err("tarnwick sid set-default: " + toUtf8(words[0]) + ": " + why);
        return No;
    }
    out(words[0] + u": default song is now " + fromUtf8(std::to_string(song)));
    return Ok;
}

// Paths handed to the library must carry their directory.
String absolute(const String& path) {
    const fs::path p = fs::absolute(fs::u8path(toUtf8(path)));
    const std::u8string text = p.u8string();
    return fromUtf8(std::string(text.begin(), text.end()));
}

int play(const Args& a) {
    a.expectPositionals(1, "one TUNE");
    String player;
    if (const auto given = a.option("player")) {
        player = absolute(*given);
    } else {
        player = findProgram(u"sidplayfp");
        if (player.empty())
            throw UsageError{"sidplayfp is not on PATH: name a player with --player"};
    }
    const auto song = a.option("song");
    const auto caption = a.option("explain");
    if (song && caption) throw UsageError{"--explain applies only without --song"};

    twFunctions functions(platform());
    String tune = absolute(a.positionals()[0]);
    String folder, file;
    functions.GetFileAndPath(tune, folder, file);
    // The file name goes on the player's command line as it is, unquoted:
    // the tune is handed over by its short form, which stands there whole
    // (the path itself where it can).
    const String shortTune = functions.Long2Short(tune);
    if (!shortTune.empty()) functions.GetFileAndPath(shortTune, folder, file);

    twShell shell(platform());
    if (song) {
        const std::int16_t number =
            static_cast<std::int16_t>(integerOption(*song, "song", -32768, 32767));
        shell.PlayMusicSong(player, folder, file, number);
    } else {
        shell.PlayMusic(player, folder, file, caption.value_or(String()), caption.has_value());
    }
    // The library tells nothing; say what was asked, or what was missing.
    for (const String& needed : {player, tune}) {
        if (!functions.FileExists(needed, false, u"")) {
            err("tarnwick play: " + toUtf8(needed) + ": not found" +
                (song ? std::string(" (the player was asked all the same)")
                      : std::string(", nothing was started")));
            return No;
        }
    }
    if (dryRun()) return Ok;
    out(u"tarnwick play: " + player + u" asked to play " + tune +
        (song ? u", song " + *song : String(u", its default song")));
    return Ok;
}

}  // namespace

std::vector<Command> sidCommands() {
    std::vector<Command> commands;
    commands.push_back(
        {"sid",
         "read a PSID tune's header, or store its default song",
         "Usage: tarnwick sid info [--json] FILE...\n"
         "       tarnwick sid set-default FILE SONG\n"
         "\n"
         "info         prints one line per tune: its name, author, copyright, number of\n"
         "             songs and default song, the texts cut at their padding. With\n"
         "             --json, one JSON object per tune and line instead:\n"
         "             {\"file\", \"ok\", \"name\", \"author\", \"copyright\", \"songs\",\n"
         "             \"defaultSong\"}, or {\"file\", \"ok\": false, \"error\"}.\n"
         "             A file that is not a PSID tune is named on stderr; the exit\n"
         "             status is then 1. Reading never creates or changes a file.\n"
         "set-default  stores SONG (0 to 256) as the tune's default song: the two bytes\n"
         "             that hold it change, nothing else. Refused (exit status 1) for a\n"
         "             read-only file, a file on a CD-ROM, a file shorter than the\n"
         "             118-byte header; a song outside 0 to 256 is a wrong command\n"
         "             line (exit status 2).\n"
         "\n"
         "The texts are read as Latin-1 on Linux (the system code page on Windows).",
         [](const Args& a) {
             const auto& words = a.positionals();
             if (words.empty()) throw UsageError{"expected info or set-default"};
             const std::string what = toUtf8(words[0]);
             const std::vector<String> rest(words.begin() + 1, words.end());
             if (what == "info") return info(rest, a.flag("json"));
             if (a.flag("json")) throw UsageError{"--json belongs to sid info"};
             if (what == "set-default") return setDefault(rest);
             throw UsageError{"unknown sid command '" + what + "': expected info or set-default"};
         },
         {},
         {"json"},
         {"info", "set-default"}});
    commands.push_back(
        {"play",
         "play a SID tune in an outside player",
         "Usage: tarnwick play [--player PATH] [--song N | --explain CAPTION] TUNE\n"
         "\n"
         "Starts the player on TUNE, from the tune's default song, or from song N with\n"
         "--song (the player gets -oN, as sidplayfp understands it). The player runs on\n"
         "its own, started in its own folder; tarnwick returns at once.\n"
         "\n"
         "  --player PATH     the player program (default: sidplayfp, found on PATH)\n"
         "  --song N          the song to start with\n"
         "  --explain CAPTION without --song: a missing player or tune is explained in a\n"
         "                    message box with that caption (a dialog on the desktop,\n"
         "                    else the terminal)\n"
         "  --dry-run         start nothing: print the player's command line\n"
         "\n"
         "Exit status 1 when the player or the tune does not exist. A tune whose file\n"
         "name has blanks reaches the player through its short form.",
         play,
         {"player", "song", "explain"},
         {"dry-run"}});
    return commands;
}

}  // namespace tarnwick::cli
