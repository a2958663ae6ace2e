#!/bin/bash
# The tarnwick command (path in $1) as a script sees it: status, stdout, stderr.
T=$1
D=$(mktemp -d) && trap 'rm -rf "$D"' EXIT
mkdir -p "$D/m/sub" "$D/n" && printf abc >"$D/m/a.SID" && printf 12345 >"$D/m/sub/b.sid"
printf x >"$D/n/$(printf 'new\nline.sid')" && touch "$D/file" "$D/gone"
cp "$(dirname "$0")/../../fuzz/corpus/sid_header/sampler.sid" "$D/$(printf 'a\xff.sid')"
# The emulator notes where its input and output go, and outlives the command.
printf '#!/bin/sh\nfds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1)\necho $fds >"%s/fds"\n%s\nsleep 5\n' \
    "$D" "printf '%s\\n' \"\$@\" >\"$D/args\"" >"$D/emu" && chmod +x "$D/emu"
failures=0

# STATUS STDOUT-REGEX STDERR-REGEX COMMAND; a failure says why in one line.
row() {
    local out err status
    out=$(cd "$D" && eval "$4" 2>"$D/stderr") status=$?
    err=$(cat "$D/stderr")
    if [[ $status != "$1" || ! $out =~ $2 || ! $err =~ $3 ]] ||
        [[ $status != 0 && -n $err && $err == *$'\n'* ]]; then
        echo "FAILED: $4: status $status (want $1)"$'\n'"stdout: $out"$'\n'"stderr: $err"
        failures=$((failures + 1))
    fi
}
N='^$'
row 0 '^yes$' "$N" '$T exists -q file && ! $T exists -q none && ! $T dir-exists -q file && { $T is-cdrom -q none; $T dir-exists m; }'
row 2 "$N" "^tarnwick: nosuch: unknown command" '$T nosuch'
row 2 "$N" '^tarnwick help: nosuch: no such command$' '$T help nosuch'
row 2 "$N" '^tarnwick find-files: expected FOLDER and PATTERN' '$T find-files m'
row 2 "$N" '^tarnwick sid: 300: out of range 0\.\.256' '$T sid set-default file 300'
row 1 "$N" '^tarnwick sid set-default: file: no PSID tune$' '$T sid set-default file 3'
row 1 "$N" '^tarnwick sid info: none: no such file$' '$T sid info none'
row 3 "$N" '^tarnwick config: /nonexistent/c64.cfg: path not found' '$T config /nonexistent/c64.cfg A=1'
row 1 "$N" '^tarnwick reg: HKCU: unknown root' '$T reg get HKCU K N'
row 1 "$N" '^tarnwick delete: /nonexistent: no such file or folder$' '$T delete /nonexistent'
row 1 "$N" '^tarnwick delete: /proc/version: left in place' '$T delete /proc/version'
row 0 '^would delete file'$'\n''deleted gone$' "$N" '$T delete --dry-run file && test -e file && $T delete -v gone && test ! -e gone'
row 1 "$N" '^tarnwick open: /nonexistent.txt: no such file$' '$T open /nonexistent.txt'
row 1 "$N" '^tarnwick find: /nonexistent: no such folder$' '$T find /nonexistent x'
row 1 "$N" '^tarnwick find: nope: not found in m$' '$T find m nope'
row 1 "$N" '^tarnwick find-files: /nonexistent: no such folder$' "\$T find-files /nonexistent '*'"
row 1 '^total: 0$' '^tarnwick find-files: \*\.d64: nothing matches in m$' "\$T find-files --total m '*.d64'"
row 0 '^/.*/m/sub/b\.sid$' "$N" '$T find m B.SID'
row 0 '^(m/a\.SID'$'\n''m/sub/b\.sid'$'\n''){2}total: 8$' '^total: 8$' "\$T find-files m '*.sid' && \$T find-files --total m '*.sid'"
row 0 '^n/new\\nline\.sid\\0$' '^total: 1$' "\$T find-files -0 n '*.sid' | od -An -c | tr -d ' '"
# On a terminal the progress line is cleared before the next path.
row 0 'found: m/a\.SID\^M\^\[\[Km/sub/b\.sid' "$N" \
    "script -qec \"\$T find-files m '*.sid'\" /dev/null | cat -v"
# Names that are no UTF-8 stay in valid JSON as escapes of lone surrogates.
row 0 '"file": "a\\udcff\.sid",' "$N" '$T sid info --json a*.sid | iconv -f UTF-8 -t UTF-8 | python3 -m json.tool'
row 1 "$N" '^tarnwick frodo: .*/nonexistent/frodo not found$' '$T frodo --emulator /nonexistent/frodo'
row 0 '"paths": \[' "$N" "\$T find-files --json n '*.sid' | python3 -m json.tool"
row 0 '"value": 7' "$N" 'export TARNWICK_REGISTRY=$D/own.sqlite; $T reg set HKEY_USERS K N 7 --number && $T reg get --json HKEY_USERS K N | python3 -m json.tool'
row 0 'MIT License.*Copyright \(c\) [0-9]+ the Tarnwick authors' "$N" '$T --version'
row 0 '^frodo delete$' "$N" 'source <($T --bash-completion); COMP_WORDS=(tarnwick fro); COMP_CWORD=1; _tarnwick; a=$COMPREPLY; COMP_WORDS=(tarnwick reg d); COMP_CWORD=2; _tarnwick; echo $a $COMPREPLY'
# A dry run prints the very line the real launch then starts.
row 0 '^ok$' "$N" 'line=$($T vice --emulator ./emu --game m/a.SID --dry-run) && rm -f args &&
    $T vice --emulator ./emu --game m/a.SID && for i in {1..40}; do [ -s args ] && break; sleep 0.05; done &&
    eval "set -- $line" && shift && [ "$(printf "%s\n" "$@")" = "$(cat args)" ] && echo ok'
# A launch returns at once; the emulator holds neither its input nor its pipe.
export T
row 0 '^/dev/null /dev/null$' "$N" 'rm -f fds; timeout 2 bash -c '\''$T frodo --emulator ./emu | cat'\'' &&
    for i in {1..40}; do [ -s fds ] && break; sleep 0.05; done; cat fds'
# The store: the option (from the current folder), else XDG_CONFIG_HOME if absolute, else HOME's.
row 0 '^7$' "$N" 'export HOME=$D/h XDG_CONFIG_HOME=$D/x TARNWICK_REGISTRY= && mkdir h && cd h && $T reg set HKEY_USERS K N 1 &&
    TARNWICK_REGISTRY=o/s.db $T reg get HKEY_USERS K N --default 7 --number && XDG_CONFIG_HOME=r $T reg set HKEY_USERS K N 1 &&
    test -f ../x/tarnwick/registry.sqlite -a -f o/s.db -a -f .config/tarnwick/registry.sqlite'
row 1 "$N" 'HKEY_USERS.K.N: the settings store cannot be written' 'TARNWICK_REGISTRY=$D/file/x/s.db $T reg set HKEY_USERS K N 1'
# A damaged file, or another program's database, is never changed.
row 0 '^r'$'\n''r$' '^tarnwick reg: HKEY_USERS.K.N: the settings store cannot be written.*cannot be read' 'head -c 8192 /dev/urandom >noise && sqlite3 other "create table t(x)" && for f in noise other; do
    mkdir s$f && cp $f s$f/r && export TARNWICK_REGISTRY=$D/s$f/r && ! $T reg set HKEY_USERS K N 1 &&
    ! $T reg get HKEY_USERS K N --default 2 && cmp $f s$f/r && ls s$f; done'
# On read-only media (root mounts one) reads work and writes fail; the name has URI characters.
[[ $(id -u) != 0 ]] || row 0 '^on disc'$'\n''(no such setting'$'\n''){2}cannot be written'$'\n''cannot be read'$'\n''cannot be written'$'\n''cannot be read$' "$N" 'mkdir media ro && TARNWICK_REGISTRY="media/a%#?.db" $T reg set HKEY_USERS K Kept "on disc" && mount --bind media ro && mount -o remount,bind,ro ro && export TARNWICK_REGISTRY="ro/a%#?.db" &&
    { $T reg get HKEY_USERS K Kept; $T reg get HKEY_USERS K Missing; $T reg get HKEY_USERS "No\Such" Kept; $T reg set HKEY_USERS K Kept new; $T reg get HKEY_USERS K Missing --default d; $T reg delete HKEY_USERS K
    TARNWICK_REGISTRY=ro/none.db $T reg get HKEY_USERS K Kept; } 2>&1 | grep -o "^on disc\|no such setting\|cannot be [a-z]*"; umount -l ro'
export TARNWICK_REGISTRY=$D/settings.sqlite
TAB=$'\t'
row 0 "^A\\\\"$'\n'"G\\\\"$'\n'"Gx\\\\$" "$N" '$T reg set HKEY_USERS "A\G" Volume 7 --number && $T reg set hkey_users "a\g" name "Bou\"lder" &&
    $T reg set HKEY_USERS "A\G\sub" X 1 && $T reg set HKEY_USERS "A\Gx" X 1 && $T reg list HKEY_USERS "" && $T reg list HKEY_USERS A'
row 0 "^sub\\\\"$'\n'"name${TAB}Bou\"lder"$'\n'"Volume${TAB}7$" "$N" '$T reg list HKEY_USERS "a\g"'
row 0 '^\{"root":"HKEY_USERS","key":"A\\\\G","subkeys":\["sub"\],"values":\[\{"name":"name","value":"Bou\\"lder"\},\{"name":"Volume","value":7\}\]\}$' \
    "$N" '$T reg list --json HKEY_USERS "A\G" | python3 -m json.tool --compact'
row 0 "^sub\\\\"$'\n'"Volume${TAB}7$" "$N" '$T reg delete HKEY_USERS "A\G" NAME && $T reg list HKEY_USERS "A\G"'
row 1 "$N" '^tarnwick reg: HKEY_USERS.A.G.NAME: no such setting$' '$T reg delete HKEY_USERS "A\G" NAME'
# A key goes with all below it, nothing else; listing a missing key does not make it.
row 1 "^Gx\\\\$" '^tarnwick reg: HKEY_USERS.A.G: no such key$' '$T reg delete HKEY_USERS "A\G" && $T reg list HKEY_USERS A &&
    ! $T reg list HKEY_USERS "A\G\sub" 2>/dev/null && ! $T reg list HKEY_USERS "A\G" 2>/dev/null && $T reg list HKEY_USERS "A\G"'
row 1 "$N" '^tarnwick reg: HKEY_USERS.A.G: no such key$' '$T reg delete HKEY_USERS "A\G"'
row 1 "$N" '^tarnwick reg: HKCU: unknown root' '$T reg delete HKCU A'
# A value saved to a key another process deleted is there with its key.
row 0 "^2"$'\n'"sub\\\\$" "$N" '$T reg delete HKEY_USERS A && $T reg set HKEY_USERS "A\G\sub" X 2 && $T reg get HKEY_USERS "A\G\sub" X && $T reg list HKEY_USERS "A\G"'
exit $((failures > 0))
