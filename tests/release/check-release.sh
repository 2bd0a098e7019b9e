#!/usr/bin/env bash
# Runs scripts/release on a fresh clone of this checkout's HEAD (commit
# first) with a small stamping file and the throw-away certificate, and
# checks what lands in dist/: the Authenticode signature and its chain,
# the checksum file, the file properties and the release note; then that
# the signed executable can no longer be stamped, and that a stamping file
# the stamper refuses publishes nothing.
#   tests/release/check-release.sh
set -uo pipefail
KESTREL_ROOT=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d /tmp/kestrel-release.XXXXXX)
repo=$tmp/repo
prefix=$repo/build/release-wineprefix
cleanup() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
failed=0
fail() { echo "check-release: FAILED: $*"; failed=1; }

git clone -q "$KESTREL_ROOT" "$repo" || { echo "check-release: cannot clone $KESTREL_ROOT"; exit 1; }

printf 'abc' >"$tmp/payload.bin"
abc=sha256:ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad
cat >"$tmp/stamp.txt" <<'STAMP'
# A partner build: its name, publisher, version and a pinned package.
--string 138=Acme Files
--string 140=Acme, Ltd.
--string 139=6.11.2.7
--string 129=https://downloads.acme.example/build.zip
--pin 129=payload.bin
STAMP

dist=$tmp/dist
echo "== release of a fresh clone (builds win32-release and KestrelStamp)"
if ! "$repo/scripts/release" --stamp "$tmp/stamp.txt" --out "$dist" >"$tmp/release.log" 2>&1; then
  cat "$tmp/release.log"
  echo "check-release: FAILED: scripts/release did not finish"
  exit 1
fi
exe=$dist/KestrelSetup.exe
grep -q 'WARNING: signed with a THROW-AWAY TEST CERTIFICATE' "$tmp/release.log" ||
  fail "no warning about the throw-away certificate"

# The signature and, with the throw-away authority trusted, its chain.
osslsigncode verify -in "$exe" -CAfile "$dist/test-signing/ca.pem" >"$tmp/verify.log" 2>&1 ||
  { cat "$tmp/verify.log"; fail "osslsigncode verify with the throw-away CA"; }
grep -q 'Signature verification: ok' "$tmp/verify.log" || fail "no 'Signature verification: ok'"
osslsigncode verify -in "$exe" >/dev/null 2>&1 && fail "the chain verifies without the throw-away CA"
# One changed byte in the signed image: the digest no longer matches.
cp "$exe" "$tmp/tampered.exe"
printf 'X' | dd of="$tmp/tampered.exe" bs=1 seek=$((0x400)) conv=notrunc status=none
osslsigncode verify -in "$tmp/tampered.exe" -CAfile "$dist/test-signing/ca.pem" >/dev/null 2>&1 &&
  fail "a changed executable still verifies"

(cd "$dist" && sha256sum --quiet -c KestrelSetup.exe.sha256) || fail "sha256sum -c"
grep -qx "[0-9a-f]\{64\}  KestrelSetup.exe" "$dist/KestrelSetup.exe.sha256" || fail "checksum file format"

# The file properties after stamping.
properties=$(python3 "$repo/scripts/lib/pe_resources.py" "$exe" version) || fail "no version resource"
for expected in FileVersion=6.11.2.7 ProductVersion=6.11.2.7 FixedFileVersion=6.11.2.7 \
  FixedProductVersion=6.11.2.7 "CompanyName=Acme, Ltd." "ProductName=Acme Files" \
  "FileDescription=Acme Files Setup" OriginalFilename=KestrelSetup.exe; do
  grep -qxF "$expected" <<<"$properties" || fail "file properties lack $expected: $properties"
done

note=$dist/RELEASE.txt
for expected in "Acme Files 6.11.2.7" "Publisher: Acme, Ltd." \
  "SHA-256: $(cut -d' ' -f1 "$dist/KestrelSetup.exe.sha256")" \
  "Signed by: CN=KestrelSetup throw-away test signer (not for release) (THROW-AWAY TEST CERTIFICATE: NOT FOR RELEASE)" \
  "Timestamp: none" "  129 product package: https://downloads.acme.example/build.zip" "      pin: $abc"; do
  grep -qxF -- "$expected" "$note" || fail "RELEASE.txt lacks \"$expected\""
done
grep -A1 '^  143 upgrade package: https://releases.vantoris.example/QRE/upgrade4129.zip$' "$note" |
  grep -qx '      pin: none' || fail "RELEASE.txt: link 143 and its missing pin"
[ "$(grep -c '^  1[0-9][0-9] ' "$note")" -eq 7 ] || fail "RELEASE.txt does not list the seven links"

# A named certificate and key (the throw-away pair standing in), no
# stamping file: the build's own file properties, no throw-away warning.
named=$tmp/named
if "$repo/scripts/release" --cert "$dist/test-signing/signer.pem" --key "$dist/test-signing/signer.key" \
  --out "$named" >"$tmp/named.log" 2>&1; then
  grep -q 'THROW-AWAY' "$tmp/named.log" && fail "a named certificate reported as throw-away"
  [ ! -e "$named/test-signing" ] || fail "a throw-away certificate made beside a named one"
  osslsigncode verify -in "$named/KestrelSetup.exe" -CAfile "$dist/test-signing/ca.pem" >/dev/null 2>&1 ||
    fail "the executable signed with the named certificate does not verify"
  properties=$(python3 "$repo/scripts/lib/pe_resources.py" "$named/KestrelSetup.exe" version)
  for expected in FileVersion=6.10.4129 ProductVersion=6.10.4129 FixedFileVersion=6.10.4129.0 \
    "CompanyName=Vantoris, Inc." ProductName=Marrowfield "FileDescription=Marrowfield Setup"; do
    grep -qxF "$expected" <<<"$properties" || fail "the build's file properties lack $expected: $properties"
  done
  grep -qxF "Signed by: CN=KestrelSetup throw-away test signer (not for release)" "$named/RELEASE.txt" ||
    fail "RELEASE.txt of the named certificate: $(grep '^Signed by' "$named/RELEASE.txt")"
  grep -qxF "Marrowfield 6.10.4129" "$named/RELEASE.txt" || fail "RELEASE.txt: the build's version"
else
  cat "$tmp/named.log"
  fail "scripts/release with --cert and --key"
fi

# A signed executable is not stamped.
cp "$exe" "$tmp/signed.exe"
WINEPREFIX=$prefix WINEDEBUG=-all wineserver -p
if WINEPREFIX=$prefix WINEDEBUG=-all wine "$repo/build/win64-test/KestrelStamp.exe" \
  "Z:${tmp//\//\\}\\signed.exe" --string 139=7.0 </dev/null >"$tmp/stamp-signed.log" 2>&1; then
  fail "KestrelStamp stamped a signed executable"
fi
grep -q 'is signed: stamping would break its signature' "$tmp/stamp-signed.log" ||
  fail "KestrelStamp's refusal: $(cat "$tmp/stamp-signed.log")"
cmp -s "$exe" "$tmp/signed.exe" || fail "KestrelStamp changed the signed executable"
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true

# A version the file properties cannot carry: the release stops and
# publishes nothing.
printf -- '--string 139=6.11-beta\n' >"$tmp/bad-stamp.txt"
"$repo/scripts/release" --stamp "$tmp/bad-stamp.txt" --out "$tmp/bad-dist" >"$tmp/bad.log" 2>&1 &&
  fail "scripts/release accepted version 6.11-beta"
grep -q 'cannot be a file version' "$tmp/bad.log" || fail "no reason for the refusal: $(tail -5 "$tmp/bad.log")"
[ -z "$(find "$tmp/bad-dist" -maxdepth 1 -type f 2>/dev/null)" ] || fail "files published after a refusal"

if [ $failed -eq 0 ]; then echo "check-release: the release of a fresh clone is signed, checksummed and stamped"; fi
exit $failed
