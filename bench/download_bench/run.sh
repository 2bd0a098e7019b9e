#!/usr/bin/env bash
# Downloads a 1 GiB file from the loopback test server with DownloadToFile
# (under Wine) and with curl, in the same run, and prints the time ratio.
# Then downloads a smaller file with each progress text written into a task
# list on another thread, as during an installation, against curl again.
# Needs the win64-test build and the fixtures (scripts/test builds both).
#   bench/download_bench/run.sh [SIZE] [LIST_SIZE]
# (sizes as for truncate; defaults 1G and 100M)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
size=${1:-1G}
list_size=${2:-100M}
bench_exe=$root/build/win64-test/bench/download_bench.exe
server=$root/build/fixtures/kestrel-test-server
[ -x "$server" ] && [ -f "$bench_exe" ] || { echo "build first: scripts/test (or the win64-test preset and the fixtures)"; exit 2; }

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
head -c "$(numfmt --from=iec "$list_size")" /dev/urandom > "$work/www/list.bin"
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
line=$(wine "$bench_exe" "$url" "Z:${work//\//\\}\\kestrel.bin" | tr -d '\r')
echo "DownloadToFile: $line"
kestrel_s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
cmp -s "$work/www/big.bin" "$work/kestrel.bin" && echo "DownloadToFile: content matches" || { echo "DownloadToFile: content DIFFERS"; exit 1; }
rm -f "$work/kestrel.bin"

curl_s=$(curl -s -o "$work/curl.bin" -w '%{time_total}' "$url")
echo "curl: seconds=$curl_s"
cmp -s "$work/www/big.bin" "$work/curl.bin" || { echo "curl: content DIFFERS"; exit 1; }

awk -v k="$kestrel_s" -v c="$curl_s" -v b="$bytes" 'BEGIN {
  printf "DownloadToFile %.1f MiB/s, curl %.1f MiB/s, time ratio DownloadToFile/curl = %.2f\n",
         b / k / 1048576, b / c / 1048576, k / c }'
awk -v k="$kestrel_s" -v c="$curl_s" 'BEGIN { printf "RESULT download kestrel_s=%.3f reference_s=%.3f ratio=%.2f\n", k, c, k / c }'
rm -f "$work/curl.bin" "$work/www/big.bin"

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
awk -v k="$list_s" -v c="$curl_list_s" -v u="$updates" 'BEGIN {
  printf "time ratio DownloadToFile with task list / curl = %.2f (%d progress texts)\n", k / c, u
  printf "RESULT download-list kestrel_s=%.3f reference_s=%.3f ratio=%.2f updates=%d\n", k, c, k / c, u }'
