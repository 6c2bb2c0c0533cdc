#!/bin/sh
# Runs every libFuzzer harness for SECONDS each (default 600) from a fresh copy of its seeds, with
# the limits that turn slow or greedy inputs into findings: an input taking more than 10 s, a
# process above 1 GB or a single allocation above 500 MB is reported as a crash.
# Usage (after the clang build of README "Fuzzing"): fuzz/run-fuzzers.sh [SECONDS] [BUILD]
set -eu
seconds=${1:-600}
build=${2:-build-fuzz}
limits="-timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=500 -max_total_time=$seconds -print_final_stats=1"
work=$(mktemp -d)
run() {  # name, program, seed folder, extra options
  mkdir -p "$work/$1"
  cp -r "$3"/. "$work/$1"/
  echo "== $1"
  "$2" "$work/$1" $limits $4 -artifact_prefix="$work/$1-" 2>&1 | tail -12
}
run archive "$build/fuzz/ArchiveFuzz" tests/data/fuzz/archive "-max_len=65536"
run scenetext "$build/fuzz/SceneTextFuzz" tests/data/fuzz/scenetext "-max_len=262144"
run character "$build/fuzz/CharacterFuzz" tests/data/fuzz/character "-max_len=65536"
run decoders "$build/fuzz/DecoderFuzz" tests/data/fuzz/decoders "-max_len=65536"
run texturedocument "$build/fuzz/TextureDocumentFuzz" tests/data/fuzz/texturedocument "-max_len=65536"
# The import library's ASCII STL reader leaks its half-made mesh (a few KB) on some damaged files
# it refuses: leaks are not findings of this harness.
run meshimport "$build/fuzz/MeshImportFuzz" tests/data/fuzz/meshimport "-max_len=65536 -detect_leaks=0"
run mesharchive "$build/fuzz/MeshArchiveFuzz" tests/data/fuzz/mesharchive "-max_len=65536"
for ext in bmp ico jpg png tif tga rgb cel; do
  run "$ext" "$build/tests/tools/ixoral_fuzz_$ext" "tests/data/fuzz/pictures/$ext" "-max_len=65536"
done
echo "corpora and findings in $work"
