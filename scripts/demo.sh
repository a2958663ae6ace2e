#!/usr/bin/env bash
# Installs what is missing, builds the tarnwick command, reads the headers of
# the tunes shipped in examples/tunes/, plays song 4 of one of them in the
# real sidplayfp through twShell.PlayMusicSong, and starts the demo emulator
# of examples/ on the demo game through twShell.Comeback64, the way a front
# end would.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target tarnwick_cli

tarnwick=build/linux/cli/tarnwick
demo=$PWD/build/linux/demo
rm -rf "$demo"
mkdir -p "$demo/config/sidplayfp"

echo
echo "The shipped tunes, read through twFunctions.GetSidInfo:"
"$tarnwick" sid info examples/tunes/*.sid

# sidplayfp gets a configuration of its own for the demo, so that yours
# stays as it is: every song lasts 8 seconds, in 44.1 kHz mono.
cat >"$demo/config/sidplayfp/sidplayfp.ini" <<'EOF'
[SIDPlayfp]
Default Play Length=0:08
[Audio]
Frequency=44100
Channels=1
EOF
player_env=(XDG_CONFIG_HOME="$demo/config")

# Without a sound device (no ALSA card, no PulseAudio) sidplayfp could not
# start: its ALSA output then goes to a file instead, each song after the
# last, as raw 16-bit samples.
speakers=yes
if ! compgen -G '/dev/snd/pcmC*p' >/dev/null && [ -z "${PULSE_SERVER:-}" ] &&
    [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ]; then
    speakers=no
    cat >"$demo/asound.conf" <<EOF
</usr/share/alsa/alsa.conf>
pcm.!default {
    type file
    slave.pcm { type null }
    file "|cat >> '$demo/sound.raw'"
    format "raw"
}
EOF
    player_env+=(ALSA_CONFIG_PATH="$demo/asound.conf")
fi

echo
echo "Playing song 4 of examples/tunes/sampler.sid through twShell.PlayMusicSong:"
# The player runs detached; it inherits this output, which goes to a log.
env "${player_env[@]}" "$tarnwick" play --song 4 examples/tunes/sampler.sid \
    >"$demo/sidplayfp.log" 2>&1
grep '^tarnwick play' "$demo/sidplayfp.log" || true

# sidplayfp's status box for the first song: title, author and
# "Playlist : 1/5 (tune 4/5[3])", tune 4 of 5 whose default is 3.
for _ in $(seq 100); do
    grep -q 'Song Length' "$demo/sidplayfp.log" && break
    sleep 0.1
done
tr '\r' '\n' <"$demo/sidplayfp.log" | sed -n '/^+/,/Song Length/p' | sed -n '1,/Song Length/p' |
    grep -v '^ *|$' | sed 's/^/    /'

if [ "$speakers" = yes ]; then
    echo
    echo "You hear song 4, Ode to Joy on a triangle wave, for 8 seconds. sidplayfp then"
    echo "goes on through the tune's songs 5, 1, 2 and 3 (its -o option names the song"
    echo "it starts with), 8 seconds each, by itself."
else
    # Without a device sidplayfp plays as fast as it can: wait for the five
    # songs, then keep the first 8 seconds, song 4, as a WAV file.
    for _ in $(seq 300); do
        [ "$(tr '\r' '\n' <"$demo/sidplayfp.log" | grep -c 'Playlist')" -ge 5 ] && break
        sleep 0.1
    done
    sleep 1
    bytes=$((8 * 44100 * 2))
    le() { # value, byte count: little-endian bytes
        local v=$1 n=$2 i
        for ((i = 0; i < n; i++)); do
            printf "\\x$(printf %02x $(((v >> (8 * i)) & 255)))"
        done
    }
    {
        printf 'RIFF'; le $((36 + bytes)) 4; printf 'WAVEfmt '
        le 16 4; le 1 2; le 1 2; le 44100 4; le $((44100 * 2)) 4; le 2 2; le 16 2
        printf 'data'; le "$bytes" 4
        head -c "$bytes" "$demo/sound.raw"
    } >"$demo/song-4.wav"
    echo
    echo "No sound device here: sidplayfp played into a file instead."
    echo "build/linux/demo/song-4.wav holds song 4, Ode to Joy, 8 seconds of 44.1 kHz"
    echo "mono sound ($(stat -c %s "$demo/song-4.wav") bytes): play it on any machine with speakers."
fi

echo
echo "Starting the demo emulator through twShell.Comeback64:"
"$tarnwick" comeback64 \
    --emulator "examples/emulators/Come Back 64/cb64-demo" \
    --game "examples/games/Great Escape.d64" --joystick 2
# The emulator runs detached; give it a moment to print before the prompt.
sleep 1
