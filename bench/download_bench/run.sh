#!/usr/bin/env bash
# Downloads a 1 GiB file from the loopback test server, in the same run:
# with the platform's floor (floor_bench download: bare WinHTTP, 64 KiB
# reads, nothing else), with DownloadToFile counting its progress texts,
# with DownloadToFile as a pinned payload (hashed and checked), with
# DownloadToFile writing them into a task list on another thread as
# during an installation, and with curl. Prints the ratios to the floor and
# to curl, and the peak working set.
# Needs the win64-test build and the fixtures (scripts/test builds both).
#   bench/download_bench/run.sh [SIZE] [LIST_SIZE]
# (sizes as for truncate; defaults 1G and 1G; the same size reuses the file)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
size=${1:-1G}
list_size=${2:-$size}
bench_exe=$root/build/win64-test/bench/download_bench.exe
floor_exe=$root/build/win64-test/bench/floor_bench.exe
server=$root/build/fixtures/kestrel-test-server
[ -x "$server" ] && [ -f "$bench_exe" ] && [ -f "$floor_exe" ] || { echo "build first: scripts/test (or the win64-test preset and the fixtures)"; exit 2; }

work=$(mktemp -d /tmp/download-bench.XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www"
# Random content, so nothing along the way can shortcut zeros.
head -c "$(numfmt --from=iec "$size")" /dev/urandom > "$work/www/big.bin"
if [ "$(numfmt --from=iec "$list_size")" = "$(numfmt --from=iec "$size")" ]; then
  ln "$work/www/big.bin" "$work/www/list.bin"
else
  head -c "$(numfmt --from=iec "$list_size")" /dev/urandom > "$work/www/list.bin"
fi
bytes=$(stat -c %s "$work/www/big.bin")

"$server" --root "$work/www" --http-port 0 --port-file "$work/ports" --lifetime 3600 >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do [ -s "$work/ports" ] && break; sleep 0.1; done
port=$(sed -n 's/^http=//p' "$work/ports")
url=http://localhost:$port/big.bin

export WINEPREFIX=${WINEPREFIX:-$root/build/win64-test/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true   # Wine's own start-up outside the timing

echo "file: $bytes bytes over $url"
line=$(wine "$floor_exe" download "$url" "Z:${work//\//\\}\\floor.bin" | tr -d '\r')
echo "floor (bare WinHTTP): $line"
floor_s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
cmp -s "$work/www/big.bin" "$work/floor.bin" || { echo "floor: content DIFFERS"; exit 1; }
rm -f "$work/floor.bin"
line=$(wine "$bench_exe" "$url" "Z:${work//\//\\}\\kestrel.bin" | tr -d '\r')
echo "DownloadToFile: $line"
kestrel_s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
cmp -s "$work/www/big.bin" "$work/kestrel.bin" && echo "DownloadToFile: content matches" || { echo "DownloadToFile: content DIFFERS"; exit 1; }
rm -f "$work/kestrel.bin"

# The same file as a pinned payload: every piece hashed on the second core
# as it is written, the file checked against its pin.
pin=sha256:$(sha256sum "$work/www/big.bin" | cut -d' ' -f1)
line=$(wine "$bench_exe" "$url" "Z:${work//\//\\}\\kestrel-pinned.bin" quiet "$pin" | tr -d '\r')
echo "DownloadToFile, pinned: $line"
pinned_s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
grep -q 'result=1' <<<"$line" || { echo "DownloadToFile, pinned: not verified"; exit 1; }
cmp -s "$work/www/big.bin" "$work/kestrel-pinned.bin" || { echo "DownloadToFile, pinned: content DIFFERS"; exit 1; }
rm -f "$work/kestrel-pinned.bin"
awk -v p="$pinned_s" -v k="$kestrel_s" 'BEGIN {
  printf "pinned / unpinned = %.2f\n", p / k
  printf "RESULT download-pinned kestrel_s=%.3f reference_s=%.3f ratio=%.2f\n", p, k, p / k }'

curl_s=$(curl -s -o "$work/curl.bin" -w '%{time_total}' "$url")
echo "curl: seconds=$curl_s"
cmp -s "$work/www/big.bin" "$work/curl.bin" || { echo "curl: content DIFFERS"; exit 1; }

awk -v k="$kestrel_s" -v c="$curl_s" -v b="$bytes" 'BEGIN {
  printf "DownloadToFile %.1f MiB/s, curl %.1f MiB/s, time ratio DownloadToFile/curl = %.2f\n",
         b / k / 1048576, b / c / 1048576, k / c }'
awk -v k="$kestrel_s" -v c="$curl_s" 'BEGIN { printf "RESULT download kestrel_s=%.3f reference_s=%.3f ratio=%.2f\n", k, c, k / c }'
awk -v k="$kestrel_s" -v f="$floor_s" 'BEGIN { printf "RESULT download-floor kestrel_s=%.3f reference_s=%.3f ratio=%.2f\n", k, f, k / f }'
rm -f "$work/curl.bin"

list_url=http://localhost:$port/list.bin
list_bytes=$(stat -c %s "$work/www/list.bin")
echo "file: $list_bytes bytes over $list_url, progress written into a task list"
line=$(wine "$bench_exe" "$list_url" "Z:${work//\//\\}\\kestrel-list.bin" list | tr -d '\r')
echo "DownloadToFile (task list): $line"
list_s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
updates=$(sed -n 's/.*updates=\([0-9]*\).*/\1/p' <<<"$line")
cmp -s "$work/www/list.bin" "$work/kestrel-list.bin" || { echo "DownloadToFile (task list): content DIFFERS"; exit 1; }
curl_list_s=$(curl -s -o "$work/curl-list.bin" -w '%{time_total}' "$list_url")
echo "curl: seconds=$curl_list_s"
peak=$(sed -n 's/.*peak_working_set_mib=\([0-9.]*\).*/\1/p' <<<"$line")
awk -v k="$list_s" -v c="$curl_list_s" -v u="$updates" -v f="$floor_s" -v p="$peak" 'BEGIN {
  printf "time ratio DownloadToFile with task list / curl = %.2f, / floor = %.2f (%d progress texts, peak working set %.1f MiB)\n", k / c, k / f, u, p
  printf "RESULT download-list kestrel_s=%.3f reference_s=%.3f ratio=%.2f updates=%d\n", k, c, k / c, u
  printf "RESULT download-list-floor kestrel_s=%.3f reference_s=%.3f ratio=%.2f peak_mib=%.1f\n", k, f, k / f, p }'
