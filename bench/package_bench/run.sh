#!/usr/bin/env bash
# The product package's file work on a large package, each step against a
# reference tool in the same run:
#   extract: ExtractZip (under Wine) vs unzip -q, each into a fresh folder,
#            and vs the platform's floor (floor_bench create: the same
#            folders and files made with CreateDirectoryW, CreateFileW,
#            WriteFile and CloseHandle, nothing else);
#   patch:   PatchTree of the extracted tree over an installed copy vs
#            cp -r of the same tree over another copy; PatchTree once with
#            its status texts counted only ("quiet") and once writing them
#            into a task list pumped by another thread, as an upgrade does;
#            and the floor of its file-system calls, two ways (floor_bench
#            patch: "all" with the attribute clearing and the delete of the
#            moved source that the patch once made for every file, "moves"
#            with the move alone).
# Builds the tree with make_tree.py and the archive with zip (deflate, -6).
# Needs the win64-test build (bench/run-all builds it).
#   bench/package_bench/run.sh [FILES] [MEGABYTES]     (default 20000 500)
# Temporary files go under $BENCH_TMP (default /tmp) and are removed.
# Prints "RESULT name=value ..." lines for bench/run-all.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
files=${1:-20000}
megabytes=${2:-500}
bench_exe=$root/build/win64-test/bench/package_bench.exe
floor_exe=$root/build/win64-test/bench/floor_bench.exe
[ -f "$bench_exe" ] || { echo "build first: cmake --preset win64-test && cmake --build --preset win64-test --target package_bench"; exit 2; }
command -v zip >/dev/null && command -v unzip >/dev/null || { echo "needs zip and unzip (Debian packages)"; exit 2; }

work=$(mktemp -d "${BENCH_TMP:-/tmp}/package-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
# Relative path and size of every file, sorted: the tree's shape.
manifest() { (cd "$1" && find . -type f -printf '%P %s\n' | LC_ALL=C sort); }

export WINEPREFIX=${WINEPREFIX:-$root/build/win64-test/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p 2>/dev/null || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true   # Wine's own start-up outside the timing

echo "== package: $files files, $megabytes MiB (work folder $work)"
t0=$(now)
python3 "$root/bench/package_bench/make_tree.py" "$work/tree" "$files" "$megabytes"
t1=$(now)
(cd "$work/tree" && zip -q -r -6 "$work/package.zip" build)
t2=$(now)
manifest "$work/tree/build" > "$work/manifest.orig"
tree_bytes=$(awk '{ s += $2 } END { print s }' "$work/manifest.orig")
tree_files=$(wc -l < "$work/manifest.orig")
zip_bytes=$(stat -c %s "$work/package.zip")
rm -rf "$work/tree"
echo "tree: $tree_files files, $tree_bytes bytes, made in $(elapsed "$t0" "$t1") s; archive: $zip_bytes bytes, zipped in $(elapsed "$t1" "$t2") s"
echo "RESULT package files=$tree_files bytes=$tree_bytes zip_bytes=$zip_bytes"

echo "== extract"
mkdir "$work/kestrel" "$work/unzip"
line=$(wine "$bench_exe" extract "$(winpath "$work/package.zip")" "$(winpath "$work/kestrel")" | tr -d '\r')
echo "ExtractZip: $line"
extract_s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
grep -q 'result=1' <<<"$line" || { echo "ExtractZip FAILED"; exit 1; }
t0=$(now)
unzip -q "$work/package.zip" -d "$work/unzip"
t1=$(now)
unzip_s=$(elapsed "$t0" "$t1")
echo "unzip -q: seconds=$unzip_s"
same=yes
cmp -s "$work/manifest.orig" <(manifest "$work/kestrel/build") || { same=no; echo "ExtractZip tree DIFFERS from the source tree"; }
cmp -s "$work/manifest.orig" <(manifest "$work/unzip/build") || { same=no; echo "unzip tree DIFFERS from the source tree"; }
t0=$(now)
diff -rq "$work/kestrel" "$work/unzip" >/dev/null || { same=no; echo "ExtractZip and unzip contents DIFFER"; }
echo "trees: same files, sizes and contents: $same (content compared in $(elapsed "$t0" "$(now)") s)"
echo "RESULT extract kestrel_s=$extract_s reference_s=$unzip_s ratio=$(ratio "$extract_s" "$unzip_s") same=$same"
mkdir "$work/floor-create"
line=$(wine "$floor_exe" create "$(winpath "$work/unzip/build")" "$(winpath "$work/floor-create")" | tr -d '\r')
echo "floor (create, write, close): $line"
grep -q 'result=1' <<<"$line" || { echo "floor create FAILED"; exit 1; }
create_s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
echo "RESULT extract-floor kestrel_s=$extract_s reference_s=$create_s ratio=$(ratio "$extract_s" "$create_s")"
rm -rf "$work/floor-create"
rm -f "$work/package.zip"

echo "== patch"
# Untimed preparation: installed copies, and a second source for the run
# with the task list (PatchTree consumes its source).
cp -r "$work/unzip/build" "$work/installed-quiet"
cp -r "$work/unzip/build" "$work/installed-cp"
line=$(wine "$bench_exe" patch "$(winpath "$work/kestrel/build")" "$(winpath "$work/installed-quiet")" quiet | tr -d '\r')
echo "PatchTree (quiet): $line"
grep -q 'result=1' <<<"$line" || { echo "PatchTree FAILED"; exit 1; }
patch_s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
writes=$(sed -n 's/.*status_writes=\([0-9]*\).*/\1/p' <<<"$line")
t0=$(now)
cp -r "$work/unzip/build/." "$work/installed-cp/"
t1=$(now)
cp_s=$(elapsed "$t0" "$t1")
echo "cp -r over a copy: seconds=$cp_s"
patched=yes
cmp -s "$work/manifest.orig" <(manifest "$work/installed-quiet") || { patched=no; echo "patched tree DIFFERS"; }
[ ! -e "$work/kestrel/build" ] || { patched=no; echo "PatchTree left its source behind"; }
echo "patched tree complete, source consumed: $patched"
echo "RESULT patch kestrel_s=$patch_s reference_s=$cp_s ratio=$(ratio "$patch_s" "$cp_s") status_writes=$writes same=$patched"
rm -rf "$work/installed-quiet" "$work/installed-cp" "$work/kestrel"

for way in all moves; do
  cp -r "$work/unzip/build" "$work/floor-source"
  cp -r "$work/unzip/build" "$work/floor-installed"
  line=$(wine "$floor_exe" patch "$(winpath "$work/floor-source")" "$(winpath "$work/floor-installed")" "$way" | tr -d '\r')
  echo "floor (patch calls, $way): $line"
  grep -q 'result=1' <<<"$line" || { echo "floor patch FAILED"; exit 1; }
  eval "floor_${way}_s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")"
  rm -rf "$work/floor-source" "$work/floor-installed"
done
echo "RESULT patch-floor kestrel_s=$patch_s reference_s=$floor_moves_s ratio=$(ratio "$patch_s" "$floor_moves_s") all_s=$floor_all_s"

mv "$work/unzip/build" "$work/source-list"
cp -r "$work/source-list" "$work/installed-list"
line=$(wine "$bench_exe" patch "$(winpath "$work/source-list")" "$(winpath "$work/installed-list")" list | tr -d '\r')
echo "PatchTree (task list): $line"
grep -q 'result=1' <<<"$line" || { echo "PatchTree FAILED"; exit 1; }
list_s=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$line")
list_writes=$(sed -n 's/.*status_writes=\([0-9]*\).*/\1/p' <<<"$line")
echo "RESULT patch-list kestrel_s=$list_s reference_s=$cp_s ratio=$(ratio "$list_s" "$cp_s") status_writes=$list_writes"
echo "RESULT patch-list-floor kestrel_s=$list_s reference_s=$floor_moves_s ratio=$(ratio "$list_s" "$floor_moves_s") all_s=$floor_all_s"
