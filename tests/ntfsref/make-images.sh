#!/usr/bin/env bash
# Real NTFS volumes in files, made by the ntfs-3g tools, with what ntfsinfo reports about
# each of them as a table (oracle.awk) that the Windows test program compares its reading with.
#
#   make-images.sh OUTDIR   makes the volumes that need no mount, unpacks the kept ones (with
#                           their tables where kept), and writes IMAGE.img and IMAGE.tsv for
#                           each into OUTDIR
#   make-images.sh --mount  remakes the kept volume made through the FUSE mount
#                           (kept/mounted.img.gz); needs root and /dev/fuse, which a CI
#                           machine may not give
#   make-images.sh --mftlist
#                           remakes the kept volume whose MFT is spread over an attribute
#                           list (kept/mftlist.img.gz); some thousands of tool runs, minutes
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

fail() { echo "make-images: $*" >&2; exit 1; }
quiet() { "$@" >/dev/null 2>&1 || fail "$* failed"; }

# A file of this many bytes, each a letter from the name, so that contents are fixed.
content() { head -c "$2" /dev/zero | tr '\0' "${1:0:1}"; }

format() { # IMAGE MIB mkntfs-options...
    local img="$1" mib="$2"
    shift 2
    rm -f "$img"
    truncate -s "${mib}M" "$img"
    quiet mkntfs -F -q -Q -L ref "$@" "$img"
}

copy() { # IMAGE NAME BYTES [STREAM]
    local src="$work/src"
    content "$2" "$3" >"$src"
    if [ $# -ge 4 ]; then
        quiet ntfscp -N "$4" "$1" "$src" "$2"
    else
        quiet ntfscp "$1" "$src" "$2"
    fi
}

# Two files grown in turns a piece at a time, so that each gets one run per piece.
interleave() { # IMAGE A B PIECES PIECE-BYTES
    local i
    copy "$1" "$2" 0
    copy "$1" "$3" 0
    for ((i = 0; i < $4; i++)); do
        quiet ntfsfallocate -o $((i * $5)) -l "$5" "$1" "$2"
        quiet ntfsfallocate -o $((i * $5)) -l "$5" "$1" "$3"
    done
}

# 512-byte clusters, 1 KiB records: a file of 400 runs whose attribute list is non-resident
# and whose data continues in an extension record, a named stream, a sparse file.
make_small512() {
    local img="$1"
    format "$img" 8 -c 512
    copy "$img" empty 0
    copy "$img" tiny.txt 40
    copy "$img" medium.bin 3000
    copy "$img" medium.bin 700 side
    copy "$img" medium.bin 5000 big
    interleave "$img" frag other 400 512
    copy "$img" sparse 0
    quiet ntfsfallocate -o 65536 -l 4096 "$img" sparse
    quiet ntfsfallocate -o 262144 -l 1024 "$img" sparse
}

# 4 KiB sectors, clusters and records.
make_rec4k() {
    local img="$1"
    format "$img" 16 -s 4096 -c 4096
    copy "$img" note.txt 100
    copy "$img" data.bin 40000
    copy "$img" data.bin 9000 alt
    interleave "$img" left right 150 4096
}

# 64 KiB clusters with 1 KiB records.
make_c64k() {
    local img="$1"
    format "$img" 32 -c 65536
    copy "$img" a.txt 10
    copy "$img" wide.bin 200000
    copy "$img" wide.bin 70000 extra
    interleave "$img" one two 20 65536
}

# Through the mount: directories, a directory whose name is moved to an extension record by
# its 40 named streams, a file with 31 hard links, short names and a sparse file.
make_mounted() {
    local img="$1"
    mnt="$work/mnt"
    command -v python3 >/dev/null || fail "python3 is needed to fill the mounted volume"
    format "$img" 8 -c 512
    mkdir -p "$mnt"
    ntfs-3g -o streams_interface=windows "$img" "$mnt" || fail "cannot mount $img"
    trap 'umount "$mnt" 2>/dev/null || true; rm -rf "$work"' EXIT
    python3 - "$mnt" <<'PY'
import os, sys
root = sys.argv[1]
def path(*p): return os.path.join(root, *p)
os.mkdir(path('many'))
for i in range(300):
    with open(path('many', 'f%04d' % i), 'w') as f:
        f.write('%d' % i)
os.makedirs(path('dir1', 'dir2', 'dir3'))
for d in ('dir1', 'dir1/dir2', 'dir1/dir2/dir3'):
    with open(path(d, 'file.txt'), 'w') as f:
        f.write(d)
os.mkdir(path('streams'))
for i in range(40):
    with open(path('streams') + ':s%02d' % i, 'w') as f:
        f.write('stream %02d' % i)
with open(path('streams', 'inner.txt'), 'w') as f:
    f.write('inner')
os.makedirs(path('streams', 'sub'))
with open(path('streams', 'sub', 'deep.txt'), 'w') as f:
    f.write('deep')
os.mkdir(path('links'))
with open(path('links', 'target.txt'), 'w') as f:
    f.write('linked')
for i in range(1, 31):
    where = ('links', 'dir1', 'dir1/dir2')[i % 3]
    os.link(path('links', 'target.txt'), path(where, 'link%02d.txt' % i))
with open(path('Long File Name.txt'), 'w') as f:
    f.write('long')
os.setxattr(path('Long File Name.txt'), 'system.ntfs_dos_name', b'LONGFI~1.TXT')
with open(path('SHORT.TXT'), 'w') as f:
    f.write('short')
os.setxattr(path('SHORT.TXT'), 'system.ntfs_dos_name', b'SHORT.TXT')
with open(path('sparse.bin'), 'wb') as f:
    f.truncate(1 << 20)
    f.seek(300000)
    f.write(b's' * 5000)
PY
    umount "$mnt"
    trap 'rm -rf "$work"' EXIT
}

# 4 KiB clusters with 1 KiB records: an MFT in so many runs that its own record 0 takes an
# attribute list and the rest of its data runs go to an extension record. Two files grown in
# turns a cluster at a time fill the volume; one of them is cut to nothing, which leaves a
# free cluster between every two of the other's, and the MFT then grows into those holes as
# small resident files are made, until its data has a second piece with records in use.
make_mftlist() {
    local img="$1" i=0 n=0
    format "$img" 32 -c 4096 -z 1
    copy "$img" kept 0
    copy "$img" holes 0
    while ntfsfallocate -o $((i * 4096)) -l 4096 "$img" kept >/dev/null 2>&1 &&
        ntfsfallocate -o $((i * 4096)) -l 4096 "$img" holes >/dev/null 2>&1; do
        i=$((i + 1))
    done
    quiet ntfstruncate "$img" "$(ntfsls -i "$img" | awk '$2 == "holes" { print $1 }')" 0
    content t 100 >"$work/small"
    until [ "$(ntfsinfo -v -i 0 "$img" 2>/dev/null | grep -c 'Dumping attribute \$DATA')" -gt 1 ]; do
        n=$((n + 1))
        [ $n -le 200 ] || fail "the MFT of $img stays in one record"
        for i in $(seq $((n * 100 - 99)) $((n * 100))); do
            quiet ntfscp "$img" "$work/small" "f$i"
        done
    done
    # Records in use in the second piece too.
    for i in $(seq $((n * 100 + 1)) $((n * 100 + 100))); do
        quiet ntfscp "$img" "$work/small" "f$i"
    done
}

# ntfsinfo of every record the MFT holds: records that are not in use, and extension records,
# are refused by it and so are absent from the table.
write_table() { # IMAGE TABLE
    local img="$1" records
    records=$(ntfsinfo -v -t -i 0 "$img" 2>/dev/null |
        awk -F'\t' '/^Dumping attribute \$DATA/ { d = 1 } d && /^\tData size:/ { sub(/^[^0-9]*/, "", $0); print $0 + 0; exit }')
    local per=$(ntfsinfo -m "$img" 2>/dev/null | awk -F'\t' '/MFT Record Size:/ { sub(/^[^0-9]*/, "", $2); print $2 + 0 }')
    [ -n "$records" ] && [ -n "$per" ] || fail "ntfsinfo cannot read $img"
    mkdir -p "$work/rec"
    rm -f "$work"/rec/*
    seq 0 $((records / per - 1)) | xargs -P 4 -I{} sh -c "ntfsinfo -v -t -i {} '$img' >'$work/rec/{}' 2>/dev/null || rm -f '$work/rec/{}'"
    {
        echo "@geometry"
        ntfsinfo -m "$img" 2>/dev/null
        for n in $(ls "$work/rec" | sort -n); do
            echo "@record $n"
            cat "$work/rec/$n"
        done
    } | awk -f "$here/oracle.awk" >"$2.part"
    mv "$2.part" "$2"
}

for tool in mkntfs ntfscp ntfsfallocate ntfsinfo ntfsls ntfstruncate; do
    command -v "$tool" >/dev/null || fail "$tool is missing (Debian package ntfs-3g)"
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if [ "${1:-}" = "--mount" ] || [ "${1:-}" = "--mftlist" ]; then
    name="${1#--}"
    name="${name/mount/mounted}"
    "make_$name" "$work/$name.img"
    write_table "$work/$name.img" "$work/$name.tsv"
    gzip -9 -n -c "$work/$name.img" >"$here/kept/$name.img.gz"
    gzip -9 -n -c "$work/$name.tsv" >"$here/kept/$name.tsv.gz"
    exit 0
fi

out="${1:?usage: make-images.sh OUTDIR | --mount}"
mkdir -p "$out"
unread=()
for name in small512 rec4k c64k; do
    "make_$name" "$work/$name.img"
    mv "$work/$name.img" "$out/$name.img"
    unread+=("$out/$name.img")
done
# A kept volume may come with its table: ntfsinfo opens the volume anew for every record, so
# a volume of thousands of records takes ten minutes on a loaded machine.
for kept in "$here"/kept/*.img.gz; do
    name="$(basename "$kept" .img.gz)"
    gzip -d -c "$kept" >"$out/$name.img"
    if [ -f "$here/kept/$name.tsv.gz" ]; then
        gzip -d -c "$here/kept/$name.tsv.gz" >"$out/$name.tsv"
    else
        unread+=("$out/$name.img")
    fi
done
for img in "${unread[@]}"; do
    write_table "$img" "${img%.img}.tsv"
done
