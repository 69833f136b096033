#!/usr/bin/env bash
# Cuts the seed corpora from the fixture disks (build/test/test-disks) and
# from small images qemu-img makes. Seeds are kept in git; this script is only
# needed to make them anew. Usage: fuzz/make-seeds.sh [test-disks folder]
set -euo pipefail
cd "$(dirname "$0")"
disks=${1:-../build/test/test-disks}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The container target takes its format from the first byte: an index into
# the format table (VMDK, VHD, VHDX, VDI, Parallels, QED, QCOW).
prefixed() {  # index source destination [bytes]
  { printf "\\x$(printf %02x "$1")"; head -c "${4:-65535}" "$2"; } >"$3"
}

# A small disk with a partition table and data in a few places, in every
# format qemu-img writes, whole.
head -c 512 "$disks/layouts/mbr.raw" >"$work/small.raw"
truncate -s 64K "$work/small.raw"
printf 'korvane fuzz seed data' | dd of="$work/small.raw" bs=512 seek=77 conv=notrunc status=none
for spec in "vmdk 0" "vmdk:subformat=streamOptimized 0" "vpc 1" "vhdx 2" "vdi 3" "parallels 4" "qed 5" \
            "qcow2:cluster_size=512 6" "qcow2:compat=0.10,cluster_size=512 6" "qcow 6" \
            "qed:cluster_size=4096,table_size=1 5"; do
  set -- $spec
  fmt=${1%%:*}; opts=${1#*:}; [ "$opts" = "$1" ] && opts=""
  name=small-${1//[:=.,]/-}
  qemu-img convert -q -O "$fmt" ${opts:+-o "$opts"} "$work/small.raw" "$work/$name" || continue
  [ "$(stat -c %s "$work/$name")" -le 65535 ] && prefixed "$2" "$work/$name" "corpus/containers/$name"
done
qemu-img convert -q -c -O qcow2 -o cluster_size=4096 "$work/small.raw" "$work/small-compressed"
prefixed 6 "$work/small-compressed" corpus/containers/small-qcow2-compressed

# The first 64 KiB of every fixture container: real headers and tables.
for pair in "basic-monolithicSparse.vmdk 0" "basic-streamOptimized.vmdk 0" "basic-dynamic.vhd 1" \
            "basic-dynamic.vhdx 2" "basic-dynamic.vdi 3" "basic.hdd 4" "basic.qed 5" "basic-v3.qcow2 6" \
            "basic.qcow 6" "basic-monolithicFlat.vmdk 0"; do
  set -- $pair
  [ -f "$disks/$1" ] && prefixed "$2" "$disks/$1" "corpus/containers/head-$1"
done

# Partition tables: the first sectors of each layout disk.
for raw in "$disks"/layouts/*.raw; do
  head -c 34816 "$raw" >"corpus/partitions/$(basename "$raw" .raw)"
done

# LZNT1: a chunk count byte, then chunks: literals only, a back reference,
# and a stored (uncompressed) chunk.
python3 - <<'PY'
import struct
def chunk(body, compressed=True):
    return struct.pack("<H", (0x8000 if compressed else 0) | 0x3000 | (len(body) + 2 - 3)) + body
literals = chunk(b"\x00abcdefgh")
backref = chunk(b"\x00abcdefgh" + b"\x02ab" + struct.pack("<H", (1 << 12) | 13) + b"cdef")
stored = chunk(bytes(range(256)) * 16, compressed=False)
for name, data in (("literals", b"\x01" + literals), ("backref", b"\x02" + backref + literals),
                   ("stored", b"\x03" + stored + backref)):
    open("corpus/lznt1/" + name, "wb").write(data)
PY

# NTFS records: system and user MFT records and index records of the fixture
# volumes (the first byte: record size 1 sector << (b & 3), cluster 1 << ((b >> 2) & 7)).
# FAT entries: the root folders of the fixture volumes.
python3 - "$disks" <<'PY'
import struct, sys, os
disks = sys.argv[1]
def ntfs(path, tag):
    if not os.path.exists(path): return
    whole = open(path, "rb").read()
    data = whole[whole.find(b"NTFS    ") - 3:]
    bps, spc = struct.unpack_from("<HB", data, 0x0B)
    mft = struct.unpack_from("<Q", data, 0x30)[0] * bps * spc
    raw = struct.unpack_from("<b", data, 0x40)[0]
    rec = raw * bps * spc if raw > 0 else 1 << -raw
    shift = {1: 0, 2: 1, 4: 2, 8: 3}
    first = bytes([((rec // 512).bit_length() - 1) & 3 | shift.get(spc, 0) << 2])
    kept = 0
    for n in list(range(0, 12)) + list(range(24, 80)):
        r = data[mft + n * rec: mft + (n + 1) * rec]
        if r[:4] != b"FILE" or kept >= 14: continue
        open(f"corpus/ntfs_records/{tag}-mft-{n}", "wb").write(first + r)
        kept += 1
    found = 0
    for at in range(0, len(data), 4096):
        if data[at:at + 4] == b"INDX" and found < 3:
            open(f"corpus/ntfs_records/{tag}-indx-{found}", "wb").write(first + data[at:at + 4096])
            found += 1
def fat(path, tag):
    if not os.path.exists(path): return
    whole = open(path, "rb").read()
    at = min(i for i in (whole.find(b"FAT12   "), whole.find(b"FAT16   "), whole.find(b"FAT32   ")) if i >= 0)
    data = whole[at - (at % 512):]
    bps, spc, reserved, fats, roots, _, _, fat16 = struct.unpack_from("<HBHBHHBH", data, 0x0B)
    if fat16:
        at = (reserved + fats * fat16) * bps
        size = roots * 32
    else:
        fat32, = struct.unpack_from("<I", data, 0x24)
        root, = struct.unpack_from("<I", data, 0x2C)
        at = (reserved + fats * fat32 + (root - 2) * spc) * bps
        size = spc * bps
    open(f"corpus/fat_entries/{tag}-root", "wb").write(data[at:at + min(size, 16384)])
for v in ("ntfs-1k", "ntfs-4k"):
    ntfs(f"{disks}/ntfs-volumes/{v}.raw", v)
for v in ("fat12", "fat16", "fat32", "fat32-scattered"):
    fat(f"{disks}/fat-volumes/{v}.raw", v)
PY

# A QED image whose second cluster's level-2 entry is 2^64 - 1: once read as
# data at an offset that wrapped to the image's own header.
python3 - <<'PY'
import struct
cluster = 4096
image = bytearray(4 * cluster)
struct.pack_into("<4sIIIQQQQQ", image, 0, b"QED\0", cluster, 1, 1, 0, 0, 0, cluster, 1 << 20)
struct.pack_into("<Q", image, cluster, 2 * cluster)
struct.pack_into("<QQ", image, 2 * cluster, 3 * cluster, (1 << 64) - 1)
image[3 * cluster:] = bytes(i % 251 for i in range(cluster))
open("corpus/containers/qed-entry-near-2-64", "wb").write(b"\x05" + image)
PY
