#!/usr/bin/env bash
# The disk helper's figures next to fio with the same flags on the same file system:
# sequential 1 MiB direct writes ended by fsync, sequential 1 MiB direct reads, and 500 random
# 4 KiB direct reads on a 256 MiB file, one at a time.
# Usage: bench/hwtests/compare_fio.sh [folder] [megabytes]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
DIR="${1:-$PWD}/orvanta-fio"
MB="${2:-1024}"
SEEK_MB=$(( MB < 256 ? MB : 256 ))
mkdir -p "$DIR"
trap 'rm -rf "$DIR"' EXIT
command -v fio >/dev/null || { echo "fio is not installed" >&2; exit 1; }

# No preallocation: the helper does not preallocate either.
common=(--ioengine=psync --iodepth=1 --numjobs=1 --direct=1 --fallocate=none --output-format=json)
fio --name=w --filename="$DIR/f1" --rw=write --bs=1M --size="${MB}M" --end_fsync=1 "${common[@]}" >"$DIR/w.json"
fio --name=r --filename="$DIR/f1" --rw=read --bs=1M --size="${MB}M" "${common[@]}" >"$DIR/r.json"
rm -f "$DIR/f1"
fio --name=p --filename="$DIR/f2" --rw=write --bs=1M --size="${SEEK_MB}M" --end_fsync=1 "${common[@]}" >/dev/null
fio --name=s --filename="$DIR/f2" --rw=randread --bs=4k --size="${SEEK_MB}M" --number_ios=500 "${common[@]}" >"$DIR/s.json"

python3 - "$DIR" "$MB" <<'PY'
import json, sys
d, mb = sys.argv[1], int(sys.argv[2])
def job(name): return json.load(open(f"{d}/{name}.json"))["jobs"][0]
w, r, s = job("w"), job("r"), job("s")
# fio's runtime of a write job with end_fsync includes the flush.
print(f"fio  write {mb / (w['job_runtime'] / 1000):9.1f} MB/s ({w['job_runtime']} ms)")
print(f"fio  read  {mb / (r['job_runtime'] / 1000):9.1f} MB/s ({r['job_runtime']} ms)")
print(f"fio  seek  {s['read']['clat_ns']['mean'] / 1000:9.1f} us mean, sum of 500: {s['read']['clat_ns']['mean'] * 500 / 1e6:.1f} ms")
PY

BENCH="${ORVANTA_BUILD_DIR:-$ROOT/build}/bench/bench_hwtests"
ORVANTA_BENCH_DIR="${1:-$PWD}" ORVANTA_BENCH_MB="$MB" "$BENCH" --benchmark_filter=BM_DiskHelper
