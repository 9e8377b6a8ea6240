#!/usr/bin/env bash
# The signed installers of the end-to-end suite: sign-installer.sh IN SIGNED TAMPERED
# SIGNED is IN signed with osslsigncode and a code-signing certificate made
# here for two days and thrown away; TAMPERED is SIGNED with one byte in the
# middle of its archive changed.
set -euo pipefail
in=$1
signed=$2
tampered=$3
keys=$(mktemp -d)
trap 'rm -rf "$keys" "$signed.part" "$tampered.part"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Quorvath-test \
    -addext extendedKeyUsage=codeSigning -keyout "$keys/key.pem" -out "$keys/cert.pem" \
    >"$keys/log" 2>&1 || { cat "$keys/log" >&2; exit 1; }
rm -f "$signed.part"
osslsigncode sign -certs "$keys/cert.pem" -key "$keys/key.pem" -h sha256 -in "$in" \
    -out "$signed.part" >"$keys/log" 2>&1 || { cat "$keys/log" >&2; exit 1; }

# qxpack's installers need no padding, so the archive ends where IN ends.
marker=$(grep -boaF '<QXZIP FILE BEGINS HERE>' "$signed.part" | head -n 1 | cut -d: -f1)
start=$((marker + 24))
at=$((start + ($(stat -c %s "$in") - start) / 2))
cp "$signed.part" "$tampered.part"
byte=$(od -An -tu1 -j "$at" -N1 "$tampered.part" | tr -d ' ')
printf "$(printf '\\x%02x' $((byte ^ 1)))" | dd of="$tampered.part" bs=1 seek="$at" conv=notrunc status=none
mv "$signed.part" "$signed"
mv "$tampered.part" "$tampered"
