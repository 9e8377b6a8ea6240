#!/usr/bin/env bash
# Command-line tests of qxpack: cli-test.sh QXPACK FIXTURE_DIR
set -u
qxpack=$1
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
for command in implode explode; do
    run 0 "$command" --help
    grep -q "usage: qxpack $command" out.txt || fail "$command --help shows no usage"
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

## explode: bad streams name the result and leave no output
printf '\000\006\001' >short.dcl
run 1 explode short.dcl bad.out
expect_error "short.dcl: .*Explode result 3"
no_output bad.out
printf '\000\007\001\377\000' >dict.dcl
run 1 explode dict.dcl bad.out
expect_error "Explode result 1"
no_output bad.out
printf '\002\006\001\377\000' >mode.dcl
run 1 explode mode.dcl bad.out
expect_error "Explode result 2"
no_output bad.out
head -c 200 "$fixtures/dcl/text8192.ascii.4096.dcl" >cut.dcl
run 1 explode cut.dcl bad.out
expect_error "Explode result 4"
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

if [ $failures -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all qxpack command-line checks passed"
