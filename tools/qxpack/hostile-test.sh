#!/usr/bin/env bash
# qxpack under hostile conditions: hostile-test.sh QXPACK
# Planted links, inputs that are not regular files, an input inside its own
# destination, stale temporary files and interruption. Every case runs in a
# fresh folder whose "outside" holds files that nothing may change.
set -u
qxpack=$1
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Everything below a folder: names, types, modes, sizes, link targets, contents.
snapshot() {
    (cd "$1" && find . -printf '%p %y %m %s %l\n' | sort && find . -type f -exec sha256sum {} + | sort)
}

# The installer that the cases extract: members Quorvath.exe, a\b\c\deep.txt,
# sub\x.txt and top.txt, in that order.
mkdir -p tree/sub tree/a/b/c
echo program >tree/Quorvath.exe
echo deep >tree/a/b/c/deep.txt
echo x >tree/sub/x.txt
echo top >tree/top.txt
printf 'MZ a stand-in stub' >stub.exe
"$qxpack" build --allow-missing --stub stub.exe --out setup.exe tree >/dev/null || { echo "FAIL: cannot build setup.exe"; exit 1; }

# One case a line: name | setup | qxpack arguments | exit code | error (grep -E) | check after.
# setup and check run in the case's folder, which holds setup.exe, stub.exe,
# tree/ and outside/ (target.txt and dir/x.txt, both read-only).
while IFS='|' read -r -u 3 name setup arguments code message check; do
    [ -z "$name" ] || [ "${name:0:1}" = '#' ] && continue
    rm -rf case
    mkdir -p case/outside/dir
    (
        cd case || exit 1
        cp -r ../setup.exe ../stub.exe ../tree .
        echo target >outside/target.txt
        echo victim >outside/dir/x.txt
        chmod 444 outside/target.txt outside/dir/x.txt
        eval "$setup" </dev/null || { echo "FAIL: $name: setup failed"; exit 1; }
        outside_before=$(snapshot outside)
        eval "set -- $arguments"
        input=
        case $1 in list | verify | extract) [ -f "$2" ] && input=$2 && input_before=$(sha256sum "$2") ;; esac
        timeout 120 "$qxpack" "$@" </dev/null >out.txt 2>err.txt
        got=$?
        bad=0
        report() {
            echo "FAIL: $name: $*"
            bad=1
        }
        [ "$got" -eq "$code" ] || report "exited $got, expected $code: $(cat err.txt)"
        if [ -n "$message" ]; then
            [ "$(wc -l <err.txt)" -eq 1 ] || report "expected one error line, got: $(cat err.txt)"
            grep -Eq -- "$message" err.txt || report "error '$(cat err.txt)' does not match '$message'"
        else
            [ ! -s err.txt ] || report "unexpected error: $(cat err.txt)"
        fi
        [ "$(snapshot outside)" = "$outside_before" ] || report "something outside changed"
        [ -z "$input" ] || [ "$(sha256sum "$input")" = "$input_before" ] || report "the input $input changed"
        [ -z "$check" ] || eval "$check" || report "check failed: $check"
        exit $bad
    ) || failures=$((failures + 1))
done 3<<'CASES'
# Links planted below the destination: refused, named, left alone.
folder link on a member's folder|mkdir dest && ln -s ../outside/dir dest/sub|extract setup.exe dest|1|cannot extract into dest: .*member 'sub.x.txt'; dest/sub is a link, and nothing is written through a link below the destination$|[ -L dest/sub ] && [ -f dest/a/b/c/deep.txt ]
file link on a member's name|mkdir dest && ln -s ../outside/target.txt dest/top.txt|extract setup.exe dest|1|; dest/top.txt is a link, and nothing|[ -L dest/top.txt ]
dangling link on a member's name|mkdir dest && ln -s ../outside/new.txt dest/top.txt|extract setup.exe dest|1|; dest/top.txt is a link, and nothing|[ -L dest/top.txt ]
link where the installer keeps its archive copy|mkdir dest && ln -s ../outside/target.txt 'dest/tempfile.$$$'|extract setup.exe dest|0||[ -L 'dest/tempfile.$$$' ] && [ "$(cat outside/target.txt)" = target ] && [ -f dest/top.txt ]
hard link to an outside file under a member's name|mkdir dest && ln outside/target.txt dest/top.txt|extract setup.exe dest|1|; dest/top.txt is a link, and nothing|[ "$(cat dest/top.txt)" = target ]
folder link deeper down|mkdir -p dest/a/b && ln -s ../../../outside/dir dest/a/b/c|extract setup.exe dest|1|; dest/a/b/c is a link, and nothing|[ -L dest/a/b/c ] && [ -f dest/Quorvath.exe ]
folder link above a member deeper down|mkdir -p dest/a && ln -s ../outside dest/a/b|extract setup.exe dest|1|; dest/a/b is a link, and nothing|[ -L dest/a/b ]
# The destination itself may be, or lie below, a link.
destination that is a link|mkdir real && ln -s real dest|extract setup.exe dest|0||[ -f real/sub/x.txt ] && [ -f real/a/b/c/deep.txt ]
destination below a link|mkdir -p real/d && ln -s real alias|extract setup.exe alias/d|0||[ -f real/d/top.txt ]
# Inputs that are not regular files: refused before they are read.
list of a FIFO|mkfifo pipe|list pipe|1|^qxpack list: pipe: a FIFO, not a regular file$|
verify of a FIFO|mkfifo pipe|verify pipe|1|^qxpack verify: pipe: a FIFO, not a regular file$|
extract of a FIFO|mkfifo pipe|extract pipe dest|1|^qxpack extract: pipe: a FIFO, not a regular file$|[ ! -e dest ]
list of a device|:|list /dev/zero|1|^qxpack list: /dev/zero: a device, not a regular file$|
verify of a device|:|verify /dev/zero|1|/dev/zero: a device, not a regular file$|
extract of a device|:|extract /dev/zero dest|1|/dev/zero: a device, not a regular file$|[ ! -e dest ]
list of a folder|:|list tree|1|^qxpack list: tree: is a folder, not an installer or archive$|
list of a socket|perl -MSocket -e 'socket(my $s, PF_UNIX, SOCK_STREAM, 0); bind($s, pack_sockaddr_un("sock")) or die'|list sock|1|sock: a socket, not a regular file$|
implode of a device|:|implode /dev/zero out.dcl|1|/dev/zero: a device, not a regular file$|[ ! -e out.dcl ] && [ ! -e out.dcl.part ]
explode of a FIFO|mkfifo pipe|explode pipe out.bin|1|pipe: a FIFO, not a regular file$|[ ! -e out.bin ]
build with a FIFO as the stub|mkfifo pipe|build --allow-missing --stub pipe --out out.exe tree|1|pipe: a FIFO, not a regular file$|[ ! -e out.exe ] && [ ! -e out.exe.part ]
build of a folder holding a FIFO|mkfifo tree/pipe|build --bare --out out.qxz tree|1|tree/pipe: a FIFO, not a regular file$|[ ! -e out.qxz ] && [ ! -e out.qxz.part ]
list of 2 GiB or more|truncate -s 3G big.exe|list big.exe|1|big.exe: 2 GiB or larger, more than an installer can be$|
# The input inside its own destination, by any name: refused before anything is written.
input where the installer keeps its archive copy|mkdir dest && cp setup.exe 'dest/tempfile.$$$'|extract 'dest/tempfile.$$$' dest|0||cmp -s 'dest/tempfile.$$$' setup.exe && [ -f dest/top.txt ]
input under a member's name|mkdir dest && cp setup.exe dest/Quorvath.exe|extract dest/Quorvath.exe dest|1|dest/Quorvath\.exe is the input file itself: the member 'Quorvath\.exe' would overwrite it|[ "$(ls -A dest)" = Quorvath.exe ]
input hard-linked under a member's name|mkdir -p dest/sub && ln setup.exe dest/sub/x.txt|extract setup.exe dest|1|dest/sub/x\.txt is the input file itself: the member 'sub\\x\.txt'|[ "$(ls -A dest)" = sub ] && [ "$(ls -A dest/sub)" = x.txt ]
input linked where the installer keeps its archive copy|mkdir dest && ln -s ../setup.exe 'dest/tempfile.$$$'|extract setup.exe dest|0||[ -L 'dest/tempfile.$$$' ] && [ -f dest/top.txt ]
# Stale temporary outputs of a killed run are replaced, never followed.
stale .part of the output|echo stale >out.qxz.part|build --bare --out out.qxz tree|0||[ -s out.qxz ] && [ "$(ls out.qxz*)" = out.qxz ]
stale .part that is a link|ln -s outside/target.txt out.qxz.part|build --bare --out out.qxz tree|0||[ -s out.qxz ] && [ "$(ls out.qxz*)" = out.qxz ]
stale archive copy in the destination is left alone|mkdir dest && echo stale >'dest/tempfile.$$$'|extract setup.exe dest|0||[ "$(cat 'dest/tempfile.$$$')" = stale ] && [ -f dest/top.txt ]
CASES

## Extraction on several threads gives what extraction front to back gives.
# wide.exe: f000.bin to f199.bin, 20 KB each, in about ten runs of members.
mkdir -p wide/tree
for i in $(seq -w 0 199); do head -c 20000 /dev/urandom >"wide/tree/f$i.bin"; done
"$qxpack" build --allow-missing --stub stub.exe --out wide/setup.exe wide/tree >/dev/null ||
    fail "cannot build wide/setup.exe"
for jobs in 1 3 8; do
    rm -rf wide/dest
    "$qxpack" extract -q --jobs "$jobs" wide/setup.exe wide/dest 2>wide/err.txt ||
        fail "extract --jobs $jobs: $(cat wide/err.txt)"
    diff -r wide/tree wide/dest >/dev/null || fail "extract --jobs $jobs gives another tree"
done
# Two members fail, in different runs: the error names the first, every
# member before it stays whole, and none after it is left.
rm -rf wide/dest && mkdir -p wide/dest wide/outside && echo target >wide/outside/target.txt
ln -s ../outside/target.txt wide/dest/f010.bin
ln -s ../outside/target.txt wide/dest/f150.bin
"$qxpack" extract --jobs 4 wide/setup.exe wide/dest >/dev/null 2>wide/err.txt &&
    fail "extract over two planted links succeeded"
grep -q "member 'f010.bin'; wide/dest/f010.bin is a link" wide/err.txt ||
    fail "the first failing member is not the one named: $(cat wide/err.txt)"
[ "$(cd wide/dest && ls | tr '\n' ' ')" = "f000.bin f001.bin f002.bin f003.bin f004.bin f005.bin f006.bin f007.bin f008.bin f009.bin f010.bin f150.bin " ] ||
    fail "after the failure, wide/dest holds $(cd wide/dest && ls | tr '\n' ' ')"
for i in $(seq -w 0 9); do cmp -s "wide/tree/f00$i.bin" "wide/dest/f00$i.bin" || fail "f00$i.bin is not whole"; done
[ "$(cat wide/outside/target.txt)" = target ] || fail "a link target was written"
# Two members of one name, far apart: the later one's bytes stay, as when
# unpacking front to back. The archive is two bare archives spliced into one.
mkdir -p wide/first wide/second
echo old >wide/first/a.txt
for i in $(seq -w 0 39); do head -c 60000 /dev/zero >"wide/first/f$i.bin"; done
echo new >wide/second/a.txt
"$qxpack" build --bare --out wide/first.qxz wide/first >/dev/null &&
    "$qxpack" build --bare --out wide/second.qxz wide/second >/dev/null ||
    fail "cannot build the archives to splice"
python3 - wide/twice.qxz wide/first.qxz wide/second.qxz <<'PY'
import sys, zlib
def scramble(data):  # the stream of the empty key
    state, out = 0, bytearray(data)
    for i in range(len(out)):
        state = (state * 134775813 + 1) & 0xFFFFFFFF
        out[i] ^= state >> 24
    return bytes(out)
body = b"".join(scramble(open(name, "rb").read()[:-4]) for name in sys.argv[2:])
register = zlib.crc32(body) ^ 0xFFFFFFFF  # no final inversion
open(sys.argv[1], "wb").write(scramble(body) + register.to_bytes(4, "little"))
PY
rm -rf wide/dest
"$qxpack" extract -q --jobs 4 wide/twice.qxz wide/dest 2>wide/err.txt ||
    fail "extract of the spliced archive: $(cat wide/err.txt)"
[ "$(cat wide/dest/a.txt 2>&1)" = new ] || fail "a.txt holds '$(cat wide/dest/a.txt 2>&1)', not the later member's bytes"

## Interruption: a signal in the middle of the work removes what was being
## written (and nothing else) and ends with 128 + the signal's number.
mkdir -p big/tree big/small
head -c 24M /dev/urandom >big/tree/random.bin
echo first >big/small/aaa.txt
head -c 128M /dev/zero >big/small/big.bin
"$qxpack" build --bare --mode binary --dict 4096 --out big/setup.qxz big/small >/dev/null ||
    fail "cannot build the large archive"
# Two large members in two runs, unpacked at the same time.
mkdir -p big/two
echo first >big/two/aaa.txt
cp big/small/big.bin big/two/big.bin
cp big/small/big.bin big/two/zzz.bin
"$qxpack" build --bare --mode binary --dict 4096 --out big/two.qxz big/two >/dev/null ||
    fail "cannot build the archive of two large members"
# Whether every file below $1 is whole: the same as its source below $2.
whole_files() {
    local f
    for f in "$1"/*; do cmp -s "$f" "$2/${f#"$1"/}" || return 1; done
}

# The state letter of process $1 (R, S, T for stopped, Z for exited), or X when gone.
process_state() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || { echo X; return; }
    stat=${stat##*) }
    echo "${stat%% *}"
}
# Whether process $1, sent SIGSTOP, has stopped with $2 still there and
# unfinished (every large member is 128 MiB), or has finished first.
stopped_mid_work() {
    local state i
    for ((i = 0; i < 500; i++)); do
        state=$(process_state "$1")
        [ "$state" = T ] && break
        [ "$state" = Z ] || [ "$state" = X ] && return 1
        sleep 0.002
    done
    [ "$state" = T ] && [ -e "$2" ] && [ "$(stat -c %s "$2")" -lt $((128 << 20)) ]
}

# One case a line: qxpack arguments | signal | file that must have grown first | check after.
while IFS='|' read -r -u 3 arguments signal grows check; do
    [ -z "$arguments" ] || [ "${arguments:0:1}" = '#' ] && continue
    sum_before=$(sha256sum big/setup.qxz)
    # The run is held still once the file has grown, so that the signal comes
    # in the middle of the work however fast the machine; a run that finished
    # first (a busy machine may not poll in time) is tried again.
    got=
    for attempt in 1 2 3 4 5; do
        rm -rf dest out.exe out.exe.part
        # Job control keeps SIGINT deliverable to a background job.
        set -m
        eval "set -- $arguments"
        "$qxpack" "$@" </dev/null >out.txt 2>err.txt &
        pid=$!
        set +m
        # Polling, not timing: the signal goes once the file exists and has grown.
        for ((i = 0; i < 6000; i++)); do
            [ -s "$grows" ] && break
            sleep 0.01
        done
        [ -s "$grows" ] || fail "$arguments: $grows never grew"
        kill -s STOP "$pid" 2>/dev/null
        if stopped_mid_work "$pid" "$grows"; then
            kill -s "$signal" "$pid"
            kill -s CONT "$pid"
            wait "$pid"
            got=$?
            break
        fi
        kill -s CONT "$pid" 2>/dev/null
        wait "$pid"
    done
    [ -n "$got" ] || fail "$arguments: finished before the signal in all $attempt runs"
    expected=$((128 + $(kill -l "$signal")))
    [ "$got" -eq "$expected" ] || fail "$arguments: SIG$signal gave exit $got, expected $expected"
    [ ! -s err.txt ] || fail "$arguments: unexpected error: $(cat err.txt)"
    [ "$(sha256sum big/setup.qxz)" = "$sum_before" ] || fail "$arguments: the input changed"
    eval "$check" || fail "$arguments: SIG$signal: check failed: $check"
done 3<<'SIGNALS'
build --allow-missing --stub stub.exe --out out.exe big/tree|INT|out.exe.part|[ ! -e out.exe ] && [ ! -e out.exe.part ]
build --allow-missing --stub stub.exe --out out.exe big/tree|TERM|out.exe.part|[ ! -e out.exe ] && [ ! -e out.exe.part ]
build --allow-missing --stub stub.exe --out out.exe big/tree|HUP|out.exe.part|[ ! -e out.exe ] && [ ! -e out.exe.part ]
# The member being written and the archive copy go; the completed member stays.
extract big/setup.qxz dest|TERM|dest/big.bin|[ "$(ls -A dest)" = aaa.txt ] && cmp -s dest/aaa.txt big/small/aaa.txt
extract big/setup.qxz dest|INT|dest/big.bin|[ "$(ls -A dest)" = aaa.txt ]
extract big/setup.qxz dest|HUP|dest/big.bin|[ "$(ls -A dest)" = aaa.txt ]
# Both members being written go: what stays is whole.
extract --jobs 2 big/two.qxz dest|TERM|dest/zzz.bin|whole_files dest big/two
SIGNALS

if [ $failures -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all hostile-condition checks passed"
