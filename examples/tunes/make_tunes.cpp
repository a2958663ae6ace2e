// Makes the PSID tunes shipped in examples/tunes/: a small 6502 music player,
// assembled here instruction by instruction, with the notes of a few
// public-domain melodies, each wrapped in a PSID header; and header-only
// samples of the edge cases a header reader must handle.
//
//   tarnwick_make_tunes DIR            writes the tunes into DIR (and DIR/edge)
//   tarnwick_make_tunes --check DIR    exits 1 unless DIR holds exactly these bytes
//   tarnwick_make_tunes --listing      prints the assembled player, annotated
//
// The player. Every tune holds one copy of it, loaded at $1000. The SID
// player calls `init` once with the song number minus one in A, then `play`
// fifty times a second (the PAL frame rate; the header's speed bits are 0).
// A song is a list of byte pairs: a note number (1 = C3 ... 37 = C6, 0 = a
// rest) and its length in frames; the byte $FF sends the song back to its
// start, so every song loops. One voice plays: a note opens the gate of
// voice 1 with the song's waveform, and three frames before the next note
// the gate closes again, so that repeated notes are heard as separate notes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------- assembler

// The addressing modes the player uses.
enum class Mode { Implied, Immediate, Absolute, AbsoluteX, AbsoluteY, Relative };

struct OpcodeKey {
    std::string mnemonic;
    Mode mode;
    bool operator<(const OpcodeKey& o) const {
        return mnemonic != o.mnemonic ? mnemonic < o.mnemonic : mode < o.mode;
    }
};

// The 6502 opcodes of the instructions the player uses.
const std::map<OpcodeKey, std::uint8_t>& opcodes() {
    // clang-format off
    static const std::map<OpcodeKey, std::uint8_t> table = {
        {{"AND", Mode::Immediate}, 0x29}, {{"BEQ", Mode::Relative}, 0xF0},
        {{"BNE", Mode::Relative}, 0xD0},  {{"BPL", Mode::Relative}, 0x10},
        {{"CMP", Mode::Immediate}, 0xC9}, {{"CPX", Mode::Immediate}, 0xE0},
        {{"DEC", Mode::Absolute}, 0xCE},  {{"DEY", Mode::Implied}, 0x88},
        {{"INY", Mode::Implied}, 0xC8},   {{"LDA", Mode::Immediate}, 0xA9},
        {{"LDA", Mode::Absolute}, 0xAD},  {{"LDA", Mode::AbsoluteX}, 0xBD},
        {{"LDA", Mode::AbsoluteY}, 0xB9}, {{"LDY", Mode::Immediate}, 0xA0},
        {{"LDY", Mode::Absolute}, 0xAC},  {{"RTS", Mode::Implied}, 0x60},
        {{"STA", Mode::Absolute}, 0x8D},  {{"STA", Mode::AbsoluteY}, 0x99},
        {{"STY", Mode::Absolute}, 0x8C},  {{"TAX", Mode::Implied}, 0xAA},
    };
    // clang-format on
    return table;
}

// An operand: a number, or a label plus an offset, resolved when linking.
struct Operand {
    Mode mode = Mode::Implied;
    int value = 0;
    std::string label;
};

Operand implied() {
    return {Mode::Implied, 0, ""};
}
Operand imm(int value) {
    return {Mode::Immediate, value, ""};
}
Operand abs(int address) {
    return {Mode::Absolute, address, ""};
}
Operand abs(const std::string& label, int offset = 0) {
    return {Mode::Absolute, offset, label};
}
Operand absX(const std::string& label) {
    return {Mode::AbsoluteX, 0, label};
}
Operand absY(int address) {
    return {Mode::AbsoluteY, address, ""};
}
Operand to(const std::string& label) {
    return {Mode::Relative, 0, label};
}

class Assembler {
  public:
    explicit Assembler(std::uint16_t origin) : origin_(origin) {}

    std::uint16_t here() const { return static_cast<std::uint16_t>(origin_ + bytes_.size()); }
    void label(const std::string& name) {
        if (!labels_.emplace(name, here()).second) throw std::logic_error("label twice: " + name);
        listing_.push_back({here(), 0, name + ":", ""});
    }
    void ins(const std::string& mnemonic, const Operand& operand, const std::string& comment) {
        const auto it = opcodes().find({mnemonic, operand.mode});
        if (it == opcodes().end()) throw std::logic_error("no opcode for " + mnemonic);
        const std::uint16_t at = here();
        bytes_.push_back(it->second);
        switch (operand.mode) {
            case Mode::Implied:
                break;
            case Mode::Immediate:
                bytes_.push_back(static_cast<std::uint8_t>(operand.value));
                break;
            case Mode::Relative:
                fixups_.push_back({bytes_.size(), operand, true});
                bytes_.push_back(0);
                break;
            default:
                fixups_.push_back({bytes_.size(), operand, false});
                bytes_.push_back(0);
                bytes_.push_back(0);
        }
        listing_.push_back({at, static_cast<std::size_t>(here() - at),
                            "    " + mnemonic + text(operand), comment});
    }
    void data(const std::string& name, const Bytes& values, const std::string& comment) {
        label(name);
        listing_.push_back({here(), values.size(), "    .byte ...", comment});
        bytes_.insert(bytes_.end(), values.begin(), values.end());
    }
    // A data table of 16-bit addresses of labels, one byte of each.
    void addressBytes(const std::string& name, const std::vector<std::string>& targets, bool high,
                      const std::string& comment) {
        label(name);
        listing_.push_back({here(), targets.size(),
                            std::string("    .byte ") + (high ? ">" : "<") + "songs", comment});
        for (const std::string& t : targets) {
            fixups_.push_back({bytes_.size(), Operand{Mode::Absolute, 0, t}, false,
                               high ? Part::High : Part::Low});
            bytes_.push_back(0);
        }
    }

    std::uint16_t address(const std::string& name) const { return labels_.at(name); }

    // The machine code with every label filled in.
    Bytes link() const {
        Bytes out = bytes_;
        for (const Fixup& f : fixups_) {
            const int target =
                (f.operand.label.empty() ? 0 : address(f.operand.label)) + f.operand.value;
            if (f.part == Part::Low) {
                out[f.at] = static_cast<std::uint8_t>(target & 0xFF);
            } else if (f.part == Part::High) {
                out[f.at] = static_cast<std::uint8_t>(target >> 8);
            } else if (f.relative) {
                const int from = origin_ + static_cast<int>(f.at) + 1;
                const int distance = target - from;
                if (distance < -128 || distance > 127) throw std::logic_error("branch too far");
                out[f.at] = static_cast<std::uint8_t>(distance & 0xFF);
            } else {
                out[f.at] = static_cast<std::uint8_t>(target & 0xFF);
                out[f.at + 1] = static_cast<std::uint8_t>(target >> 8);
            }
        }
        return out;
    }

    // The annotated listing: address, bytes, source, comment.
    std::string listing() const {
        const Bytes code = link();
        std::ostringstream out;
        for (const Line& l : listing_) {
            char head[64];
            std::string hex;
            for (std::size_t i = 0; i < l.size && i < 3; ++i) {
                std::snprintf(head, sizeof head, "%02X ", code[l.at - origin_ + i]);
                hex += head;
            }
            if (l.size > 3) hex += "...";
            std::snprintf(head, sizeof head, "%04X  %-10s ", l.at, hex.c_str());
            std::string line = head + l.source;
            if (!l.comment.empty()) {
                line.resize(std::max<std::size_t>(line.size() + 1, 40), ' ');
                line += "; " + l.comment;
            }
            out << line << '\n';
        }
        return out.str();
    }

  private:
    enum class Part { Whole, Low, High };
    struct Fixup {
        std::size_t at;
        Operand operand;
        bool relative;
        Part part = Part::Whole;
    };
    struct Line {
        std::uint16_t at;
        std::size_t size;
        std::string source;
        std::string comment;
    };
    static std::string text(const Operand& o) {
        char number[16];
        std::snprintf(number, sizeof number, "$%04X", o.value & 0xFFFF);
        const std::string target =
            o.label.empty() ? number : o.label + (o.value ? "+" + std::to_string(o.value) : "");
        switch (o.mode) {
            case Mode::Implied:
                return "";
            case Mode::Immediate: {
                std::snprintf(number, sizeof number, " #$%02X", o.value & 0xFF);
                return number;
            }
            case Mode::AbsoluteX:
                return " " + target + ",X";
            case Mode::AbsoluteY:
                return " " + target + ",Y";
            default:
                return " " + target;
        }
    }

    std::uint16_t origin_;
    Bytes bytes_;
    std::map<std::string, std::uint16_t> labels_;
    std::vector<Fixup> fixups_;
    std::vector<Line> listing_;
};

// -------------------------------------------------------------------- music

// SID registers of voice 1 and the volume register.
constexpr int FreqLo = 0xD400, FreqHi = 0xD401, PulseHi = 0xD403, Control = 0xD404,
              AttackDecay = 0xD405, SustainRelease = 0xD406, Volume = 0xD418;

// Waveform control values, gate bit set.
constexpr std::uint8_t Triangle = 0x11, Sawtooth = 0x21, Pulse = 0x41;

// Note numbers: 1 is C3, one number per semitone up to 37, C6.
int note(const std::string& name) {
    static const std::map<char, int> steps = {{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                              {'G', 7}, {'A', 9}, {'B', 11}};
    int semitone = steps.at(name.at(0));
    std::size_t i = 1;
    if (name.at(i) == '#') {
        ++semitone;
        ++i;
    }
    const int octave = name.at(i) - '0';
    const int number = (octave - 3) * 12 + semitone + 1;
    if (number < 1 || number > 37) throw std::logic_error("note out of range: " + name);
    return number;
}

// The SID frequency register value of each note number on a PAL machine
// (clock 985,248 Hz): frequency * 2^24 / clock, equal temperament, A4 = 440 Hz.
std::uint16_t sidFrequency(int number) {
    const int midi = 47 + number;  // note 1 = C3 = MIDI 48
    const double hertz = 440.0 * std::pow(2.0, (midi - 69) / 12.0);
    return static_cast<std::uint16_t>(std::lround(hertz * 16777216.0 / 985248.0));
}

// Lengths in frames (1/50 s): a quarter note is 18 frames, about 167 beats a minute.
constexpr int Eighth = 9, Quarter = 18, DottedQuarter = 27, Half = 36;

struct Note {
    const char* name;  // "" for a rest
    int frames;
};

Bytes songData(const std::vector<Note>& notes) {
    Bytes out;
    for (const Note& n : notes) {
        out.push_back(static_cast<std::uint8_t>(*n.name ? note(n.name) : 0));
        out.push_back(static_cast<std::uint8_t>(n.frames));
    }
    out.push_back(0xFF);  // back to the start
    if (out.size() > 255) throw std::logic_error("song too long for an 8-bit position");
    return out;
}

// clang-format off
// Beethoven's "Ode to Joy" (public domain), the first two phrases.
const std::vector<Note> odeToJoy = {
    {"E4", Quarter}, {"E4", Quarter}, {"F4", Quarter}, {"G4", Quarter},
    {"G4", Quarter}, {"F4", Quarter}, {"E4", Quarter}, {"D4", Quarter},
    {"C4", Quarter}, {"C4", Quarter}, {"D4", Quarter}, {"E4", Quarter},
    {"E4", DottedQuarter}, {"D4", Eighth}, {"D4", Half},
    {"E4", Quarter}, {"E4", Quarter}, {"F4", Quarter}, {"G4", Quarter},
    {"G4", Quarter}, {"F4", Quarter}, {"E4", Quarter}, {"D4", Quarter},
    {"C4", Quarter}, {"C4", Quarter}, {"D4", Quarter}, {"E4", Quarter},
    {"D4", DottedQuarter}, {"C4", Eighth}, {"C4", Half}, {"", Half},
};

// "Twinkle, Twinkle, Little Star" ("Ah ! vous dirai-je, maman", public domain).
const std::vector<Note> twinkle = {
    {"C4", Quarter}, {"C4", Quarter}, {"G4", Quarter}, {"G4", Quarter},
    {"A4", Quarter}, {"A4", Quarter}, {"G4", Half},
    {"F4", Quarter}, {"F4", Quarter}, {"E4", Quarter}, {"E4", Quarter},
    {"D4", Quarter}, {"D4", Quarter}, {"C4", Half},
    {"G4", Quarter}, {"G4", Quarter}, {"F4", Quarter}, {"F4", Quarter},
    {"E4", Quarter}, {"E4", Quarter}, {"D4", Half},
    {"G4", Quarter}, {"G4", Quarter}, {"F4", Quarter}, {"F4", Quarter},
    {"E4", Quarter}, {"E4", Quarter}, {"D4", Half},
    {"C4", Quarter}, {"C4", Quarter}, {"G4", Quarter}, {"G4", Quarter},
    {"A4", Quarter}, {"A4", Quarter}, {"G4", Half},
    {"F4", Quarter}, {"F4", Quarter}, {"E4", Quarter}, {"E4", Quarter},
    {"D4", Quarter}, {"D4", Quarter}, {"C4", Half}, {"", Half},
};

// The C major scale up and down.
const std::vector<Note> scale = {
    {"C4", Quarter}, {"D4", Quarter}, {"E4", Quarter}, {"F4", Quarter},
    {"G4", Quarter}, {"A4", Quarter}, {"B4", Quarter}, {"C5", Half},
    {"B4", Quarter}, {"A4", Quarter}, {"G4", Quarter}, {"F4", Quarter},
    {"E4", Quarter}, {"D4", Quarter}, {"C4", Half}, {"", Half},
};

// Broken chords of C, F, G and C major, two rounds each.
const std::vector<Note> arpeggio = {
    {"C4", Eighth}, {"E4", Eighth}, {"G4", Eighth}, {"C5", Eighth},
    {"C4", Eighth}, {"E4", Eighth}, {"G4", Eighth}, {"C5", Eighth},
    {"F4", Eighth}, {"A4", Eighth}, {"C5", Eighth}, {"F5", Eighth},
    {"F4", Eighth}, {"A4", Eighth}, {"C5", Eighth}, {"F5", Eighth},
    {"G4", Eighth}, {"B4", Eighth}, {"D5", Eighth}, {"G5", Eighth},
    {"G4", Eighth}, {"B4", Eighth}, {"D5", Eighth}, {"G5", Eighth},
    {"C5", Eighth}, {"G4", Eighth}, {"E4", Eighth}, {"C4", Eighth},
    {"C4", Half}, {"", Half},
};
// clang-format on

struct Song {
    const std::vector<Note>* notes;
    std::uint8_t waveform;
};

constexpr std::uint16_t LoadAddress = 0x1000;

// The player and its songs, assembled at $1000.
Assembler player(const std::vector<Song>& songs) {
    Assembler a(LoadAddress);

    a.label("init");
    a.ins("TAX", implied(), "X = song number - 1, handed over in A");
    a.ins("LDA", absX("songLo"), "the song's note list, low byte,");
    a.ins("STA", abs("load1", 1), "  into the operands of both list reads");
    a.ins("STA", abs("load2", 1), "");
    a.ins("LDA", absX("songHi"), "high byte");
    a.ins("STA", abs("load1", 2), "");
    a.ins("STA", abs("load2", 2), "");
    a.ins("LDA", absX("songWave"), "the song's waveform, gate bit set");
    a.ins("STA", abs("wave"), "");
    a.ins("LDA", imm(0x00), "silence all 25 SID registers");
    a.ins("LDY", imm(0x18), "");
    a.label("clear");
    a.ins("STA", absY(FreqLo), "");
    a.ins("DEY", implied(), "");
    a.ins("BPL", to("clear"), "");
    a.ins("STA", abs("pos"), "start at the first note (A is 0)");
    a.ins("LDA", imm(0x01), "the first play call fetches it");
    a.ins("STA", abs("timer"), "");
    a.ins("LDA", imm(0x08), "pulse width $800: a square wave");
    a.ins("STA", abs(PulseHi), "");
    a.ins("LDA", imm(0x09), "attack 2 ms, decay 750 ms");
    a.ins("STA", abs(AttackDecay), "");
    a.ins("LDA", imm(0xA3), "sustain 10/15, release 72 ms");
    a.ins("STA", abs(SustainRelease), "");
    a.ins("LDA", imm(0x0F), "full volume, no filter");
    a.ins("STA", abs(Volume), "");
    a.ins("RTS", implied(), "");

    a.label("play");
    a.ins("DEC", abs("timer"), "one frame less of the current note");
    a.ins("BEQ", to("fetch"), "over: the next note");
    a.ins("LDA", abs("timer"), "");
    a.ins("CMP", imm(0x03), "three frames before the next note");
    a.ins("BNE", to("done"), "");
    a.ins("LDA", abs("wave"), "");
    a.ins("AND", imm(0xFE), "  close the gate: the note fades out");
    a.ins("STA", abs(Control), "");
    a.label("done");
    a.ins("RTS", implied(), "");
    a.label("fetch");
    a.ins("LDY", abs("pos"), "Y = position in the note list");
    a.label("load1");
    a.ins("LDA", absY(0xFFFF), "note number (operand set by init)");
    a.ins("CMP", imm(0xFF), "end of the list?");
    a.ins("BNE", to("note"), "");
    a.ins("LDY", imm(0x00), "  then from the start again");
    a.ins("BEQ", to("load1"), "");
    a.label("note");
    a.ins("TAX", implied(), "X = note number");
    a.ins("INY", implied(), "");
    a.label("load2");
    a.ins("LDA", absY(0xFFFF), "its length in frames");
    a.ins("STA", abs("timer"), "");
    a.ins("INY", implied(), "");
    a.ins("STY", abs("pos"), "");
    a.ins("CPX", imm(0x00), "a rest keeps the gate closed");
    a.ins("BEQ", to("done"), "");
    a.ins("LDA", absX("freqLo"), "the note's frequency");
    a.ins("STA", abs(FreqLo), "");
    a.ins("LDA", absX("freqHi"), "");
    a.ins("STA", abs(FreqHi), "");
    a.ins("LDA", abs("wave"), "open the gate: the note sounds");
    a.ins("STA", abs(Control), "");
    a.ins("RTS", implied(), "");

    a.data("timer", {0}, "frames left of the current note");
    a.data("pos", {0}, "position in the note list");
    a.data("wave", {0}, "waveform of the song playing");

    Bytes low, high;
    for (int n = 0; n <= 37; ++n) {
        const std::uint16_t f = n == 0 ? 0 : sidFrequency(n);
        low.push_back(static_cast<std::uint8_t>(f & 0xFF));
        high.push_back(static_cast<std::uint8_t>(f >> 8));
    }
    a.data("freqLo", low, "frequency of notes 0..37, low bytes");
    a.data("freqHi", high, "high bytes");

    std::vector<std::string> names;
    Bytes waves;
    for (std::size_t i = 0; i < songs.size(); ++i) {
        names.push_back("song" + std::to_string(i + 1));
        waves.push_back(songs[i].waveform);
    }
    a.addressBytes("songLo", names, false, "note list of each song, low bytes");
    a.addressBytes("songHi", names, true, "high bytes");
    a.data("songWave", waves, "waveform of each song");
    for (std::size_t i = 0; i < songs.size(); ++i)
        a.data(names[i], songData(*songs[i].notes), "note, frames, ..., $FF");
    return a;
}

// ------------------------------------------------------------------- header

void put16(Bytes& b, std::size_t at, int value) {
    b[at] = static_cast<std::uint8_t>((value >> 8) & 0xFF);  // big-endian
    b[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

void putText(Bytes& b, std::size_t at, const std::string& latin1) {
    if (latin1.size() > 32) throw std::logic_error("text longer than 32 bytes: " + latin1);
    for (std::size_t i = 0; i < latin1.size(); ++i)
        b[at + i] = static_cast<std::uint8_t>(latin1[i]);
}

struct Header {
    int version = 2;
    int songs = 1;
    int startSong = 1;
    std::string name, author, released;  // Latin-1 bytes, NUL-padded to 32
};

// The PSID header: 118 bytes in version 1, 124 in version 2, whose six
// further bytes say PAL and the 6581 SID. The load address field is 0, so
// the data begins with the load address, low byte first.
Bytes header(const Header& h, std::uint16_t init, std::uint16_t play) {
    Bytes b(h.version == 1 ? 0x76 : 0x7C, 0);
    b[0] = 'P', b[1] = 'S', b[2] = 'I', b[3] = 'D';
    put16(b, 4, h.version);
    put16(b, 6, static_cast<int>(b.size()));  // data offset
    put16(b, 8, 0);                           // load address: in the data
    put16(b, 10, init);
    put16(b, 12, play);
    put16(b, 14, h.songs);
    put16(b, 16, h.startSong);
    // 18..21: speed, 0 = every song at the frame rate.
    putText(b, 22, h.name);
    putText(b, 54, h.author);
    putText(b, 86, h.released);
    if (h.version == 2) put16(b, 118, 0x0014);  // flags: built-in player, PAL, 6581
    return b;
}

Bytes tune(const Header& h, const std::vector<Song>& songs) {
    if (static_cast<int>(songs.size()) != h.songs) throw std::logic_error("song count");
    const Assembler a = player(songs);
    Bytes file = header(h, a.address("init"), a.address("play"));
    file.push_back(LoadAddress & 0xFF);
    file.push_back(LoadAddress >> 8);
    const Bytes code = a.link();
    file.insert(file.end(), code.begin(), code.end());
    return file;
}

// A version-1 header and nothing else, for the edge cases of the reader.
Bytes headerOnly(const std::string& magic, int songs, int startSong, const std::string& name,
                 const std::string& author = "Tarnwick project",
                 const std::string& released = "2026 Tarnwick project") {
    Header h;
    h.version = 1;
    h.name = name, h.author = author, h.released = released;
    Bytes b = header(h, 0x1000, 0x1003);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(magic[i]);
    b[14] = static_cast<std::uint8_t>(songs >> 8), b[15] = static_cast<std::uint8_t>(songs);
    b[16] = static_cast<std::uint8_t>(startSong >> 8), b[17] = static_cast<std::uint8_t>(startSong);
    return b;
}

// -------------------------------------------------------------------- files

std::map<std::string, Bytes> allFiles() {
    std::map<std::string, Bytes> files;

    Header ode;
    ode.name = "Ode to Joy";
    ode.author = "Ludwig van Beethoven";
    ode.released = "2026 Tarnwick project";
    files["ode-to-joy.sid"] = tune(ode, {{&odeToJoy, Pulse}});

    // Version 1, and texts beyond ASCII: "après" and the copyright sign are
    // Latin-1 bytes E8 and A9.
    Header star;
    star.version = 1;
    star.name = "Twinkle, Twinkle, Little Star";
    star.author = "Tarnwick, apr\xE8s Mozart";
    star.released = "\xA9 2026 Tarnwick project";
    files["twinkle.sid"] = tune(star, {{&twinkle, Triangle}});

    // Five songs, the third the default.
    Header sampler;
    sampler.songs = 5;
    sampler.startSong = 3;
    sampler.name = "Tarnwick Sampler";
    sampler.author = "Tarnwick project";
    sampler.released = "2026 Tarnwick project";
    files["sampler.sid"] = tune(sampler, {{&scale, Pulse},
                                          {&scale, Triangle},
                                          {&arpeggio, Sawtooth},
                                          {&odeToJoy, Triangle},
                                          {&twinkle, Pulse}});

    // Header-only samples, 118 bytes unless said otherwise.
    files["edge/rsid-magic.sid"] = headerOnly("RSID", 1, 1, "Edge: magic RSID, not PSID");
    files["edge/songs-5-default-3.sid"] =
        headerOnly("PSID", 5, 3, "Edge: 00 05 songs, 00 03 start");
    files["edge/songs-256.sid"] = headerOnly("PSID", 256, 1, "Edge: 01 00 songs");
    files["edge/songs-32767.sid"] = headerOnly("PSID", 32767, 1, "Edge: 7F FF songs");
    files["edge/songs-overflow.sid"] = headerOnly("PSID", 0x8000, 1, "Edge: 80 00 songs");
    files["edge/start-overflow.sid"] = headerOnly("PSID", 5, 0xFFFF, "Edge: FF FF start song");
    // Every text fills its 32 bytes: no NUL ends it.
    files["edge/full-width-texts.sid"] = headerOnly(
        "PSID", 1, 1, "Edge: thirty-two bytes, no NULs!",
        "Zo\xEB \xC5ngstr\xF6m \xD7 32 Latin-1 bytes!", "\xA9 2026 Tarnwick: all 32 bytes...");
    // The file ends inside the name field, after 44 bytes.
    Bytes shortHeader = headerOnly("PSID", 2, 2, "Edge: the file ends in this name");
    shortHeader.resize(44);
    files["edge/short-header.sid"] = shortHeader;
    return files;
}

Bytes readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int usage() {
    std::fprintf(stderr,
                 "Usage: tarnwick_make_tunes DIR | --check DIR | --listing\n"
                 "Writes the shipped PSID tunes into DIR, checks that DIR holds them\n"
                 "byte for byte, or prints the assembled player.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (args.size() == 1 && args[0] == "--listing") {
            std::fputs(player({{&scale, Pulse}}).listing().c_str(), stdout);
            return 0;
        }
        const bool check = args.size() == 2 && args[0] == "--check";
        if (!check && args.size() != 1) return usage();
        const std::filesystem::path dir = args.back();
        int differences = 0;
        for (const auto& [name, bytes] : allFiles()) {
            const std::filesystem::path p = dir / name;
            if (check) {
                if (readAll(p) != bytes) {
                    std::fprintf(stderr, "differs from the generator's: %s\n", p.string().c_str());
                    ++differences;
                }
                continue;
            }
            std::filesystem::create_directories(p.parent_path());
            std::ofstream out(p, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
            if (!out) throw std::runtime_error("cannot write " + p.string());
            std::printf("%s (%zu bytes)\n", p.string().c_str(), bytes.size());
        }
        if (check && differences == 0) std::printf("all tunes match the generator\n");
        return differences == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarnwick_make_tunes: %s\n", e.what());
        return 1;
    }
}
