#!/usr/bin/env bash
# Command-line tests of qxpack: cli-test.sh QXPACK FIXTURE_DIR
set -u
qxpack=$(realpath "$1")
fixtures=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work"
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# run EXPECTED_CODE ARGS...: runs qxpack, keeps stderr in err.txt.
run() {
    local expected=$1
    shift
    "$qxpack" "$@" >out.txt 2>err.txt
    local code=$?
    [ "$code" -eq "$expected" ] || fail "qxpack $* exited $code, expected $expected: $(cat err.txt)"
}

# expect_error PATTERN: the single error line matches PATTERN.
expect_error() {
    [ "$(wc -l <err.txt)" -eq 1 ] || fail "expected one error line, got: $(cat err.txt)"
    grep -q -- "$1" err.txt || fail "error '$(cat err.txt)' does not match '$1'"
}

# no_output NAME: neither NAME nor a leftover temporary file exists.
no_output() {
    [ ! -e "$1" ] || fail "$1 was left behind"
    ls "$1".part* >/dev/null 2>&1 && fail "a temporary $1.part* was left behind"
}

## help and usage
for command in build list verify extract implode explode; do
    run 0 "$command" --help
    grep -q "^Usage: qxpack $command" out.txt || fail "$command --help shows no usage"
done
run 2
run 2 frobnicate
expect_error "unknown command 'frobnicate'"
run 2 explode onlyone
expect_error "expects IN and OUT"
run 2 implode --dict 3000 a b
expect_error "1024, 2048 or 4096"
run 2 implode --bogus a b
expect_error "unknown option '--bogus'"
run 0 --version
grep -qx 'qxpack [0-9][0-9.]*' out.txt || fail "--version shows '$(cat out.txt)'"
run 0 help
grep -q "^Usage: qxpack" out.txt && grep -q "^  extract " out.txt || fail "help lists no commands"
run 0 help verify
grep -q "^Usage: qxpack verify" out.txt || fail "help verify shows '$(cat out.txt)'"
# usage errors: ARGS|the single error line
while IFS='|' read -r args pattern; do
    run 2 $args
    expect_error "$pattern"
done <<'TABLE'
biuld x|unknown command 'biuld'; did you mean 'build'?
exract|did you mean 'extract'?
help lst|did you mean 'list'?
--bogus|qxpack: unknown option '--bogus'
list a b|qxpack list: expects FILE (
extract a|expects FILE and DIR
build -o|qxpack build: --out
build dir|--out is required
build -o x -j 0 dir|--jobs: must be a number from 1
build -o x --jobs many dir|--jobs: must be a number from 1
TABLE

## explode: the independent encoder's streams
for stream in "$fixtures"/dcl/*.dcl; do
    name=$(basename "$stream")
    run 0 explode "$stream" plain.out
    cmp -s plain.out "$fixtures/dcl/${name%%.*}.plain" || fail "explode $name differs"
done
# the 4-byte empty stream gives an empty file
printf '\001\006\001\377' >empty.dcl
run 0 explode empty.dcl empty.out
[ -f empty.out ] && [ ! -s empty.out ] || fail "empty stream did not give an empty file"

## explode: bad streams say what is wrong in words and leave no output
printf '\000\006\001' >short.dcl
run 1 explode short.dcl bad.out
expect_error "short.dcl: not a valid implode stream: it is 3 bytes long, too short for a header and an end marker$"
no_output bad.out
printf '\000\007\001\377\000' >dict.dcl
run 1 explode dict.dcl bad.out
expect_error "not a valid implode stream: the dictionary-size byte is not 4, 5 or 6$"
no_output bad.out
printf '\002\006\001\377\000' >mode.dcl
run 1 explode mode.dcl bad.out
expect_error "not a valid implode stream: the literal-mode byte is not 0 or 1$"
no_output bad.out
# a 4-byte stream whose header is invalid is named for its header, not its length
printf '\000\003\001\377' >tiny.dcl
run 1 explode tiny.dcl bad.out
expect_error "not a valid implode stream: the dictionary-size byte is not 4, 5 or 6$"
no_output bad.out
head -c 200 "$fixtures/dcl/text8192.ascii.4096.dcl" >cut.dcl
run 1 explode cut.dcl bad.out
expect_error "not a valid implode stream: the stream ends before its end marker$"
no_output bad.out
# a failed decode leaves an existing OUT as it was
echo keep >kept.out
run 1 explode cut.dcl kept.out
[ "$(cat kept.out)" = keep ] || fail "a failed explode changed the existing OUT"
run 1 explode missing.dcl bad.out
expect_error "missing.dcl: cannot open"
no_output bad.out

## implode: round trips in every mode and dictionary size
cat "$fixtures/dcl/text8192.plain" "$fixtures/dcl/seq256.plain" >mixed.bin
for mode in "" --ascii; do
    for dict in 1024 2048 4096; do
        run 0 implode $mode --dict $dict mixed.bin mixed.dcl
        run 0 explode mixed.dcl mixed.out
        cmp -s mixed.out mixed.bin || fail "implode $mode --dict $dict does not round-trip"
    done
done
: >zero.bin
run 0 implode zero.bin zero.dcl
[ "$(od -An -tx1 zero.dcl | tr -d ' \n')" = 000601ff ] || fail "empty input is not 000601ff"
run 1 implode missing.bin bad.out
expect_error "missing.bin: cannot open"
no_output bad.out

## build, list, verify, extract
mkdir -p tree/sub/deeper tree/empty-folder
cp "$fixtures/dcl/text8192.plain" tree/readme.txt
cat "$fixtures/dcl/seq256.plain" "$fixtures/dcl/rep100k.plain" >tree/sub/data.bin
: >tree/sub/deeper/empty.dat
echo locked >tree/sub/locked.txt
chmod u+w tree/readme.txt
chmod a-w tree/sub/locked.txt
touch -d '2001-02-03 04:05:07' tree/readme.txt
touch -d '1975-06-01 12:00:00' tree/sub/data.bin
printf 'MZ a stand-in stub' >stub.exe

run 0 build --stub stub.exe --allow-missing --out setup.exe tree
run 0 build -s stub.exe --allow-missing -o again.exe tree
cmp -s setup.exe again.exe || fail "build is not reproducible"
run 0 build --jobs 1 --allow-missing --stub stub.exe --out again.exe tree
cmp -s setup.exe again.exe || fail "build --jobs 1 differs from the default"
run 0 build --best --jobs=3 --allow-missing --stub stub.exe --out best.exe tree
run 0 verify best.exe
[ "$(stat -c %s best.exe)" -le "$(stat -c %s setup.exe)" ] || fail "build --best is larger"
run 0 build -s stub.exe -j 1 --best --allow-missing -o again.exe tree
cmp -s best.exe again.exe || fail "build --best -j 1 differs from --best --jobs=3"
head -c 18 setup.exe | cmp -s - stub.exe || fail "the installer does not start with the stub"
# zero padding (0 to 7 bytes) before the marker makes the length a multiple of 8
size=$(stat -c %s setup.exe)
[ $((size % 8)) -eq 0 ] || fail "the installer's length $size is not a multiple of 8"
at=$(grep -boaF '<QXZIP FILE BEGINS HERE>' setup.exe | head -n 1 | cut -d: -f1)
[ -n "$at" ] && [ "$at" -ge 18 ] && [ "$at" -lt 26 ] || fail "no marker within 8 bytes after the stub: ${at:-none}"
[ "$(head -c "${at:-18}" setup.exe | tail -c +19 | tr -d '\0' | wc -c)" -eq 0 ] ||
    fail "the bytes between the stub and the marker are not zero"

sum_before=$(sha256sum setup.exe)
run 0 list setup.exe
grep -q 'sub\\deeper\\empty.dat' out.txt || fail "list does not show the nested member"
grep -q '2001-02-03 04:05:06  ----  readme.txt' out.txt || fail "list: readme.txt date or attributes: $(cat out.txt)"
grep -q '1980-01-01 00:00:00' out.txt || fail "list: a time before 1980 is not clamped"
grep -q 'R---  sub\\locked.txt' out.txt || fail "list: the read-only bit is missing"
[ "$(grep -c '  ' out.txt)" -ge 5 ] || fail "list shows too few lines"
# --json parses, with names from code page 1252 in UTF-8
printf 'x' >"tree/$(printf 'caf\351 \200\237')"
run 0 build --bare --mode binary --dict 2048 --out json.qxz tree
run 0 list --json json.qxz
cat >json.cmake <<'CMAKE'
file(READ out.txt listing)
string(JSON type GET "${listing}" type)
string(JSON count LENGTH "${listing}" members)
string(JSON name GET "${listing}" members 0 name)
string(JSON modified GET "${listing}" members 1 modified)
string(JSON attributes GET "${listing}" members 4 attributes 0)
string(JSON mode GET "${listing}" members 4 mode)
string(JSON dictionary GET "${listing}" members 4 dictionary)
message("${type}|${count}|${name}|${modified}|${attributes}|${mode}|${dictionary}")
CMAKE
expected="bare archive|5|caf$(printf '\303\251 \342\202\254\305\270')|2001-02-03T04:05:06|read-only|binary|2048"
[ "$(cmake -P json.cmake 2>&1)" = "$expected" ] || fail "list --json gives $(cmake -P json.cmake 2>&1)"
rm "tree/$(printf 'caf\351 \200\237')"
run 0 verify setup.exe
run 0 extract setup.exe extracted
diff -r tree extracted >diff.txt 2>&1
grep -v '^Only in tree: empty-folder' diff.txt | grep -q . && fail "extract differs: $(cat diff.txt)"
[ "$(stat -c %Y extracted/readme.txt)" -eq "$(date -d '2001-02-03 04:05:06' +%s)" ] ||
    fail "extract: readme.txt has the wrong time"
# (by the mode bits: root may write anything)
owner_writes() { [ "$(stat -c %A "$1" | cut -c3)" = w ]; }
owner_writes extracted/sub/locked.txt && fail "extract: locked.txt lost its read-only bit"
owner_writes extracted/readme.txt || fail "extract: readme.txt became read-only"
[ ! -e extracted/tempfile.\$\$\$ ] || fail "extract left its archive copy"
[ "$(sha256sum setup.exe)" = "$sum_before" ] || fail "list, verify or extract changed the installer"
# extracting again over read-only files replaces them
run 0 extract setup.exe extracted

# SOURCE_DATE_EPOCH clamps later times
SOURCE_DATE_EPOCH=$(date -u -d '1999-12-31 10:00:00' +%s) run 0 build --bare --out epoch.qxz tree
run 0 list epoch.qxz
grep -q '1999-12-31 10:00:00  ----  readme.txt' out.txt || fail "SOURCE_DATE_EPOCH did not clamp: $(cat out.txt)"
# ... in UTC, so that every time zone gives the same bytes; local time without it
for zone in UTC Asia/Tokyo; do
    TZ=$zone SOURCE_DATE_EPOCH=2000000000 run 0 build --bare --out "epoch-${zone#*/}.qxz" tree
    TZ=$zone run 0 build --bare --out "local-${zone#*/}.qxz" tree
    TZ=$zone run 0 build --bare --time-zone utc --out "utc-${zone#*/}.qxz" tree
done
cmp -s epoch-UTC.qxz epoch-Tokyo.qxz || fail "SOURCE_DATE_EPOCH builds differ between time zones"
cmp -s utc-UTC.qxz utc-Tokyo.qxz || fail "--time-zone utc builds differ between time zones"
cmp -s local-UTC.qxz utc-UTC.qxz || fail "local time under TZ=UTC differs from UTC"
cmp -s local-UTC.qxz local-Tokyo.qxz && fail "without SOURCE_DATE_EPOCH the local time zone is not used"
TZ=Asia/Tokyo SOURCE_DATE_EPOCH=2000000000 run 0 build --bare --time-zone local --out epoch-local.qxz tree
cmp -s epoch-local.qxz local-Tokyo.qxz || fail "--time-zone local does not override SOURCE_DATE_EPOCH's UTC"
run 2 build --bare --time-zone mars --out bad.qxz tree
expect_error "--time-zone must be local or utc"
SOURCE_DATE_EPOCH=soon run 1 build --bare --out epoch2.qxz tree
expect_error "SOURCE_DATE_EPOCH"
no_output epoch2.qxz

# bare archives with a key
run 0 build --bare --out keyed.qxz --key 'open sesame' tree
run 1 list keyed.qxz
expect_error "keyed.qxz: not an installer or archive (nor a bare archive with the empty key)"
run 0 verify --key 'open sesame' keyed.qxz
run 1 extract keyed.qxz wrongkey/deeper
expect_error "keyed.qxz: not an installer or archive"
[ ! -e wrongkey ] || fail "a failed extract left the folders it created"
run 0 extract --key 'open sesame' keyed.qxz keyed
diff -r tree keyed 2>&1 | grep -v '^Only in tree: empty-folder' | grep -q . && fail "keyed extract differs"
run 2 build --stub stub.exe --key x --out nokey.exe tree
expect_error "--key is for bare archives"
no_output nokey.exe
run 2 list --key x setup.exe
expect_error "is an installer"

# a fixed mode and dictionary
run 0 build --bare --mode ascii --dict 1024 --out ascii.qxz tree
run 0 verify ascii.qxz
run 2 build --bare --mode text --out bad.qxz tree
expect_error "--mode must be binary or ascii"

# refusals leave no output
run 1 build --stub setup.exe --allow-missing --out twice.exe tree
expect_error "already holds the payload marker"
no_output twice.exe
for bad in 'CON.txt' 'trailing.' 'back\slash' 'tempfile.$$$'; do
    mkdir -p badtree && : >"badtree/$bad"
    run 1 build --bare --out bad.qxz badtree
    expect_error "badtree/"
    no_output bad.qxz
    rm -rf badtree
done
mkdir -p casetree && : >casetree/a.txt && : >casetree/A.TXT
run 1 build --bare --out bad.qxz casetree
expect_error "differs from another only in case"
no_output bad.qxz
run 1 build --bare --out bad.qxz no-such-folder
expect_error "no-such-folder: not a folder"

# progress on a 60-column terminal: one line that never wraps, bytes and name
for args in "build --bare -o progress.qxz tree" "verify setup.exe" "extract setup.exe progress"; do
    script -qec "stty cols 60; '$qxpack' $args" /dev/null >tty.txt </dev/null
    tr '\r' '\n' <tty.txt | grep '%' >progress.txt
    grep -q '%.* of .*B' progress.txt || fail "$args shows no progress: $(cat tty.txt)"
    awk 'length > 59 { bad = 1 } END { exit bad }' progress.txt ||
        fail "$args: a progress line is wider than 59 columns: $(cat progress.txt)"
    script -qec "stty cols 60; '$qxpack' $args --quiet" /dev/null >tty.txt </dev/null
    [ ! -s tty.txt ] || fail "$args --quiet still writes: $(cat tty.txt)"
done

## one command to an installer
# DIR must hold what the installer's post-setup steps use (names without case)
mkdir -p product/help product/queries
for name in Quorvath.exe help/contents.htm tolvane.exe unsetup.exe queries/travel.qvq \
    queries/sports.qvq queries/politics.qvq Wininet.dl Shlwapi.dl VFP300.ESL FOXPRO.INT \
    DELPHIMM.DLL qvr32.dll; do
    echo "$name" >"product/$name"
done
run 0 build --stub stub.exe --out product.exe product
mv product/help/contents.htm product/readme.htm
rm product/Shlwapi.dl product.exe
run 1 build --stub stub.exe --out product.exe product
expect_error 'missing: help\\contents.htm, Shlwapi.dl (--allow-missing builds it anyway)'
no_output product.exe
run 0 build --bare --out product.qxz product
# the stub is found next to the tool, and in share/qxpack of its prefix
mkdir -p side prefix/bin prefix/share/qxpack
cp "$qxpack" side/ && cp stub.exe side/QVRInst.exe
cp "$qxpack" prefix/bin/ && cp stub.exe prefix/share/qxpack/QVRInst.exe
for tool in side/qxpack prefix/bin/qxpack; do
    qxpack=$tool run 0 build --allow-missing -o found.exe product
    head -c 18 found.exe | cmp -s - stub.exe || fail "$tool did not find its stub"
done
run 2 build --bare --stub stub.exe --out bad.exe tree
expect_error "exclude each other"

# damaged and foreign files
cp setup.exe damaged.exe
printf 'X' | dd of=damaged.exe bs=1 seek=100 conv=notrunc status=none
sum_before=$(sha256sum damaged.exe)
run 1 verify damaged.exe
[ "$(wc -l <err.txt)" -eq 2 ] &&
    grep -q "damaged.exe: the checksum does not match" err.txt &&
    grep -q "damaged.exe: member 'readme.txt' is damaged: it unpacks to" err.txt ||
    fail "verify does not name the damaged member: $(cat err.txt)"
run 1 list damaged.exe
run 1 extract damaged.exe damaged-out
expect_error "cannot extract into damaged-out: the checksum does not match: .*; member 'readme.txt' is damaged"
[ "$(sha256sum damaged.exe)" = "$sum_before" ] || fail "a failed extract changed its input"
[ ! -e damaged-out ] || fail "a failed extract left the folder it created"
mkdir kept-out
run 1 extract damaged.exe kept-out
[ -d kept-out ] || fail "a failed extract removed a folder it did not create"
# foreign files and folders
for command in list verify "extract"; do
    run 1 $command stub.exe $([ "$command" = extract ] && echo out-dir)
    expect_error "qxpack $command: stub.exe: not an installer or archive"
    run 1 $command tree $([ "$command" = extract ] && echo out-dir)
    expect_error "qxpack $command: tree: is a folder"
done
[ ! -e out-dir ] || fail "extract of a foreign file left its folder"
run 1 verify missing.exe
expect_error "missing.exe: cannot open"

if [ $failures -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all qxpack command-line checks passed"
