#!/usr/bin/env bash
# Signed installers: signing-test.sh QXPACK FIXTURE_DIR STUB...
# Each STUB is a real PE image (the win32 tree's PE32 stub, the win64 tree's
# PE32+ one); stubs that were not built are left out, and with none the test
# is skipped (exit 77). Each makes an installer that is signed with
# osslsigncode and a certificate made here for two days, then read by
# qxpack: signed as built; signed after qxpack's padding was cut out by hand,
# so that the signer pads; one archive byte changed after signing; hostile
# security directories. A signed stub is refused by qxpack build.
set -u
qxpack=$(realpath "$1")
fixtures=$(realpath "$2")
shift 2
stubs=()
for stub in "$@"; do
    if [ -f "$stub" ]; then stubs+=("$(realpath "$stub")"); else echo "note: no stub $stub (not built); left out"; fi
done
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
cd "$work"
failures=0

fail() {
    echo "FAIL: ${form:+$form: }$*"
    failures=$((failures + 1))
}

for tool in openssl osslsigncode; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/bootstrap installs it)"; exit 1; }
done
[ ${#stubs[@]} -gt 0 ] || { echo "SKIP: no installer stub built (scripts/build win32 win64)"; exit 77; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Quorvath-test \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" >openssl.txt 2>&1 ||
    { echo "FAIL: openssl cannot make the certificate: $(cat openssl.txt)"; exit 1; }

# run EXPECTED_CODE ARGS...: runs qxpack, keeps stdout in out.txt, stderr in err.txt.
run() {
    local expected=$1
    shift
    "$qxpack" "$@" >out.txt 2>err.txt
    code=$?
    [ "$code" -eq "$expected" ] || fail "qxpack $* exited $code, expected $expected: $(cat err.txt)"
}

sign() {
    osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -h sha256 -in "$1" -out "$2" >sign.txt 2>&1 ||
        fail "osslsigncode sign $1: $(cat sign.txt)"
}
signature_sound() {
    osslsigncode verify -CAfile "$work/cert.pem" "$1" >check.txt 2>&1 ||
        fail "osslsigncode verify $1: $(tail -n 3 check.txt)"
}

u16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
# The PE header form (PE32 or PE32+) and the file offset of the security
# directory entry (entry 4 of the optional header's data directories).
pe_form() {
    case $(u16 "$1" $(($(u32 "$1" 60) + 24))) in
    267) echo PE32 ;;
    523) echo PE32+ ;;
    *) echo none ;;
    esac
}
security_entry() {
    local optional=$(($(u32 "$1" 60) + 24))
    [ "$(pe_form "$1")" = PE32+ ] && echo $((optional + 112 + 32)) || echo $((optional + 96 + 32))
}
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
# set_security FILE OFFSET SIZE: writes the security directory.
set_security() {
    printf "$(le32 "$2")$(le32 "$3")" | dd of="$1" bs=1 seek="$(security_entry "$1")" conv=notrunc status=none
}
# The offset of the first byte after the marker.
payload_start() {
    echo $(($(grep -boaF '<QXZIP FILE BEGINS HERE>' "$1" | head -n 1 | cut -d: -f1) + 24))
}
flip_byte() {
    local byte
    byte=$(od -An -tu1 -j "$2" -N1 "$1" | tr -d ' ')
    printf "$(printf '\\x%02x' $((byte ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# The listing and the JSON listing of FILE, both without what they say about
# a signature: lines that mention it, the JSON field "signature".
cat >strip.cmake <<'CMAKE'
file(READ ${IN} listing)
string(JSON listing SET "${listing}" signature null)
string(JSON listing REMOVE "${listing}" signature)
file(WRITE ${OUT} "${listing}")
CMAKE
listings() {
    local dir
    dir=$(dirname "$1")
    (cd "$dir" && "$qxpack" list setup.exe) >"$2.txt" 2>&1 || fail "qxpack list $1: $(cat "$2.txt")"
    grep -vi signature "$2.txt" >"$2.list"
    (cd "$dir" && "$qxpack" list --json setup.exe) >"$2.json" 2>&1 || fail "qxpack list --json $1: $(cat "$2.json")"
    cmake -DIN="$2.json" -DOUT="$2.stripped" -P "$work/strip.cmake" >/dev/null 2>&1 || fail "list --json $1 does not parse"
}

mkdir -p tree/sub
cp "$fixtures/dcl/text8192.plain" tree/readme.txt
cat "$fixtures/dcl/seq256.plain" "$fixtures/dcl/rep100k.plain" >tree/sub/data.bin
echo locked >tree/sub/locked.txt
chmod a-w tree/sub/locked.txt

forms=""
for stub in "${stubs[@]}"; do
    form=$(pe_form "$stub")
    [ "$form" != none ] || { fail "$stub is not a PE32 or PE32+ image"; continue; }
    forms="$forms $form"
    rm -rf "$form" && mkdir -p "$form/plain" "$form/signed" && cd "$form"
    run 0 build --stub "$stub" --allow-missing --out plain/setup.exe ../tree
    size=$(stat -c %s plain/setup.exe)

    ## signed as built: the signer adds no padding, qxpack reads what it read before
    sign plain/setup.exe signed/setup.exe
    signature_sound signed/setup.exe
    table=$(u32 signed/setup.exe "$(security_entry signed/setup.exe)")
    [ "$table" = "$size" ] || fail "the certificate table is at $table, not at the end of the $size bytes"
    run 0 verify signed/setup.exe
    listings plain/setup.exe plain
    listings signed/setup.exe signed
    cmp -s plain.list signed.list || fail "list differs after signing: $(diff plain.list signed.list)"
    cmp -s plain.stripped signed.stripped || fail "list --json differs after signing"
    run 0 extract plain/setup.exe plain-out
    run 0 extract signed/setup.exe signed-out
    diff -r plain-out signed-out >diff.txt 2>&1 || fail "extract differs after signing: $(cat diff.txt)"
    diff -r ../tree plain-out >diff.txt 2>&1 || fail "extract differs from the tree: $(cat diff.txt)"

    ## a signed stub is refused: its table would lie before the marker
    sign "$stub" signed-stub.exe
    run 1 build --stub signed-stub.exe --allow-missing --out refused.exe ../tree
    grep -q "signed-stub.exe: the stub is signed" err.txt || fail "a signed stub is not refused: $(cat err.txt)"
    [ ! -e refused.exe ] || fail "a refused build left refused.exe"

    ## an installer whose length was not a multiple of 8: the signer pads it
    # Built with one more file whose name grows until qxpack pads, then the
    # padding cut out.
    name=g
    for _ in 1 2 3 4 5 6 7 8; do
        : >"../tree/$name"
        run 0 build --stub "$stub" --allow-missing --out odd.exe ../tree
        rm "../tree/$name"
        start=$(payload_start odd.exe)
        [ "$start" -gt $(($(stat -c %s "$stub") + 24)) ] && break
        name="g$name"
    done
    mkdir -p odd
    { cat "$stub" && tail -c +$((start - 24 + 1)) odd.exe; } >odd/setup.exe
    odd_size=$(stat -c %s odd/setup.exe)
    [ $((odd_size % 8)) -ne 0 ] || fail "the hand-made installer's length $odd_size is a multiple of 8"
    run 0 verify odd/setup.exe
    sign odd/setup.exe odd-signed.exe
    signature_sound odd-signed.exe
    table=$(u32 odd-signed.exe "$(security_entry odd-signed.exe)")
    [ "$table" -gt "$odd_size" ] || fail "the signer added no padding to $odd_size bytes"
    run 0 verify odd-signed.exe
    run 0 extract odd-signed.exe odd-out
    [ -f "odd-out/$name" ] && [ ! -s "odd-out/$name" ] || fail "extract of the padded signed file lost $name"
    rm -f "odd-out/$name"
    diff -r ../tree odd-out >diff.txt 2>&1 || fail "extract of the padded signed file differs: $(cat diff.txt)"

    ## one archive byte changed after signing: refused, the checksum named
    cp signed/setup.exe tampered.exe
    start=$(payload_start tampered.exe)
    flip_byte tampered.exe $((start + (size - start) / 2))
    run 1 verify tampered.exe
    grep -qi checksum err.txt || fail "verify of a changed archive byte does not name the checksum: $(cat err.txt)"

    ## hostile security directories: one clear line from every command, no crash
    start=$(payload_start signed/setup.exe)
    file_size=$(stat -c %s signed/setup.exe)
    table_size=$((file_size - size))
    while IFS='|' read -r name offset length words; do
        cp signed/setup.exe hostile.exe
        set_security hostile.exe $((offset)) $((length))
        rm -rf hostile-out
        for command in verify list extract; do
            args=(hostile.exe)
            [ "$command" = extract ] && args+=(hostile-out)
            "$qxpack" "$command" "${args[@]}" >out.txt 2>err.txt
            code=$?
            [ "$code" -ne 0 ] && [ "$code" -lt 128 ] ||
                fail "$name: qxpack $command exited $code: $(cat err.txt)"
            [ "$(wc -l <err.txt)" -eq 1 ] && grep -q -- "$words" err.txt ||
                fail "$name: qxpack $command says '$(cat err.txt)', expected one line with '$words'"
        done
        [ ! -e hostile-out ] || fail "$name: a refused extract left its folder"
    done <<TABLE
outside the file|file_size + 8|8|lies outside the file
offset past 4 GiB wrapping to the end|0xFFFFF000|file_size + 0x1000|lies outside the file
overlapping the archive|start|file_size - start|lies before or inside the archive
before the marker|64|file_size - 64|lies before or inside the archive
size past the end|size|table_size + 1|runs past the end of the file
zero size|size|0|is empty
ending before the end|size|table_size - 8|ends before the end of the file
TABLE
    cd "$work"
done

echo "signed and read back:$forms"
if [ $failures -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all signing checks passed"
