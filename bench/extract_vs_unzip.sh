#!/usr/bin/env bash
# Extraction of one 100 MiB ZIP by `quillex extract` and by Info-ZIP `unzip`,
# side by side: the same archive, a fresh empty folder for each run, best
# wall time of ROUNDS runs each (the machine is shared: the best run is the
# one least disturbed). The data: headers, programs and libraries of this
# machine, random bytes and long runs, in files of 1 to 8 MiB, deflated by
# Info-ZIP zip -6.
#
# Usage: bench/extract_vs_unzip.sh [ROUNDS, default 3]
# The last line is: extract_vs_unzip=R (unzip's time over quillex's; above 1,
# quillex is faster).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-3}
for tool in zip unzip python3; do
    command -v "$tool" >/dev/null || { echo "extract_vs_unzip: $tool is missing" >&2; exit 1; }
done
if [ ! -x "$top/dist/quillex" ]; then
    if [ -f "$top/build/native/build.ninja" ]; then
        cmake --build "$top/build/native" --target quillex
    else
        "$top/scripts/build"
    fi
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quillex-extract-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work/tree" <<'PY'
import os, random, sys
root = sys.argv[1]
total = 100 << 20
rng = random.Random(1951)

def machine(folders, size):
    out = bytearray()
    for folder in folders:
        for base, dirs, files in sorted(os.walk(folder)):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(base, name)
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                try:
                    with open(path, 'rb') as f:
                        out += f.read(size - len(out))
                except OSError:
                    continue
                if len(out) >= size:
                    return bytes(out)
    return bytes(out)

def repetitive(size):
    out = bytearray()
    while len(out) < size:
        out += bytes([rng.randrange(256)]) * rng.randrange(1, 4000)
        if len(out) > 64:
            back = rng.randrange(1, min(len(out), 32768))
            run = rng.randrange(1, 4000)
            for _ in range(run):
                out.append(out[-back])
    return bytes(out[:size])

parts = {
    'text': machine(['/usr/include', '/usr/share/doc'], total * 4 // 10),
    'binary': machine(['/usr/bin', '/usr/lib/x86_64-linux-gnu'], total * 4 // 10),
    'random': rng.randbytes(total // 10),
    'repetitive': repetitive(total // 10),
}
for kind, data in parts.items():
    folder = os.path.join(root, kind)
    os.makedirs(folder)
    at, n = 0, 0
    while at < len(data):
        size = rng.randrange(1 << 20, 8 << 20)
        with open(os.path.join(folder, '%s%03d.bin' % (kind, n)), 'wb') as f:
            f.write(data[at:at + size])
        at += size
        n += 1
PY
(cd "$work/tree" && zip -q -r -6 "$work/data.zip" .)
printf 'archive: %s MiB of files in %s MiB\n' \
    "$(du -sm --apparent-size "$work/tree" | cut -f1)" "$(du -m --apparent-size "$work/data.zip" | cut -f1)"

# Best wall time of `rounds` runs of the command, each into an empty folder.
best() {
    local best_time= t start end
    for _ in $(seq "$rounds"); do
        rm -rf "$work/out"
        mkdir "$work/out"
        sync
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        t=$(echo "$end - $start" | bc -l)
        if [ -z "$best_time" ] || [ "$(echo "$t < $best_time" | bc -l)" = 1 ]; then
            best_time=$t
        fi
    done
    echo "$best_time"
}

q=$(best "$top/dist/quillex" extract "$work/data.zip" -d "$work/out")
diff -r "$work/tree" "$work/out" >/dev/null || { echo "extract_vs_unzip: quillex's output differs" >&2; exit 1; }
u=$(best unzip -q -o "$work/data.zip" -d "$work/out")
diff -r "$work/tree" "$work/out" >/dev/null || { echo "extract_vs_unzip: unzip's output differs" >&2; exit 1; }
printf 'extract  quillex  %8.3f s\n' "$q"
printf 'extract  unzip    %8.3f s\n' "$u"
printf 'extract_vs_unzip=%.3f\n' "$(echo "$u / $q" | bc -l)"
