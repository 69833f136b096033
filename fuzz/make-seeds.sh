#!/usr/bin/env bash
# Cuts the seed corpora from the fixture disks (build/test/test-disks) and
# from small images qemu-img makes. Seeds are kept in git; this script is only
# needed to make them anew. Usage: fuzz/make-seeds.sh [test-disks folder]
# [volumes]: with "volumes", only the seeds made by the tools alone (the
# recognition, volume, formatted NTFS and carving targets).
set -euo pipefail
cd "$(dirname "$0")"
disks=${1:-../build/test/test-disks}
# The container and recognition targets take their format from the first
# byte: the container target an index into the format table (VMDK, VHD,
# VHDX, VDI, Parallels, QED, QCOW).
prefixed() {  # index source destination [bytes]
  { printf "\\x$(printf %02x "$1")"; head -c "${4:-65535}" "$2"; } >"$3"
}
# `length` bytes of a file from byte `offset` on.
slice() {  # file offset length
  dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" status=none
}
only=${2:-all}
work=$(mktemp -d)
mnt=$work/mnt
mkdir -p "$mnt"
die() { echo "make-seeds: $*" >&2; exit 1; }
# Unmounts on every way out and removes $work.
# shellcheck source=../tests/fixtures/ntfs-mount.sh
source ../tests/fixtures/ntfs-mount.sh

# --- The volume targets: made by the tools alone, no fixture disks needed ---
# (fuzz/make-seeds.sh DISKS volumes makes only these.)

# A few files and folders of every kind a walk meets: resident and
# non-resident, a folder with enough names for an index allocation, then
# some deleted.
fill_tree() {  # root
  mkdir -p "$1/docs/old" "$1/many"
  printf 'a small resident file\n' >"$1/small.txt"
  head -c 9000 /dev/urandom >"$1/docs/data.bin"
  head -c 3000 /dev/urandom >"$1/docs/old/notes.dat"
  for i in $(seq 1 40); do printf 'entry %d\n' "$i" >"$1/many/member-file-with-a-long-name-$i.txt"; done
  head -c 5000 /dev/urandom >"$1/gone.bin"
  head -c 700 /dev/urandom >"$1/docs/gone-too.txt"
  rm "$1/gone.bin" "$1/docs/gone-too.txt" "$1/many/member-file-with-a-long-name-7.txt"
}

# NTFS: 2 MiB volumes of the two geometries the target fixes; the seed is
# the geometry byte, then MFT records 0-31 and 64-95 (ntfs-3g numbers the
# files it makes from 64 on; the MFT begins at byte 16,384). The formatted
# scan takes the volume's first 64 KiB, and 64 KiB of records, as they stand.
for pair in "0 512" "1 4096"; do
  set -- $pair
  volume=$work/ntfs-$2.raw
  truncate -s 2M "$volume"
  quiet_log=$(mkntfs -q -F -f -s 512 -c "$2" -p 63 -H 255 -S 63 "$volume" 2>&1) || die "mkntfs: $quiet_log"
  mount_volume "$volume"
  fill_tree "$mnt"
  unmount_volume
  { printf "\\x$(printf %02x "$1")"; slice "$volume" 16384 32768; slice "$volume" 81920 32767; } \
    >"corpus/ntfs_volume/mkntfs-cluster-$2"
  head -c 65536 "$volume" >"corpus/formatted_ntfs/mkntfs-cluster-$2-start"
  slice "$volume" 81920 65536 >"corpus/formatted_ntfs/mkntfs-cluster-$2-mft"
done

# FAT: volumes of the geometry the target fixes for each type, filled by
# mtools; the seed is the type and mode byte, then the volume's first 64 KiB. mtools
# writes FAT32 only with 65,525 clusters or more, so the FAT32 seed comes
# from a 33 MiB volume moved to the target's geometry (2 MiB, 32 sectors a
# FAT): the same clusters, each FAT cut to its first 32 sectors.
export MTOOLS_SKIP_CHECK=1
for geometry in "0 12 1024" "1 16 3072" "2 32 33792"; do
  set -- $geometry
  volume=$work/fat$2.raw
  extra=(); [ "$2" = 32 ] && extra=(-R 8)
  mkfs.fat -F "$2" -s 1 "${extra[@]}" -C "$volume" "$3" >/dev/null 2>&1
  tree=$work/tree$2
  fill_tree "$tree"
  [ "$2" = 32 ] && rm -r "$tree/many"
  mcopy -s -i "$volume" "$tree"/* ::/
  mcopy -i "$volume" "$tree/small.txt" ::/gone.txt
  mdel -i "$volume" ::/gone.txt ::/docs/data.bin
  if [ "$2" = 32 ]; then
    python3 - "$volume" <<'PY'
import struct, sys
path = sys.argv[1]
big = open(path, "rb").read()
reserved, = struct.unpack_from("<H", big, 14)
fat, = struct.unpack_from("<I", big, 0x24)
small = bytearray(4096 * 512)
small[:reserved * 512] = big[:reserved * 512]
for n in range(2):
    small[(reserved + n * 32) * 512:(reserved + (n + 1) * 32) * 512] = big[(reserved + n * fat) * 512:][:32 * 512]
data = reserved + 64
small[data * 512:] = big[(reserved + 2 * fat) * 512:][:len(small) - data * 512]
open(path, "wb").write(small)
PY
  fi
  # Deleted Data Recovery (type byte 0-2), and Formatted (3-5).
  { printf "\\x$(printf %02x "$1")"; head -c 65535 "$volume"; } >"corpus/fat_volume/mkfs-fat$2"
  { printf "\\x$(printf %02x $(($1 + 3)))"; head -c 65535 "$volume"; } >"corpus/fat_volume/mkfs-fat$2-formatted"
  # The save target: the volume, then its settings, read from the end (the
  # last byte the type, the one before it once or twice; zeros leave every
  # filter off and answer the questions with their first choice).
  for twice in 0 1; do
    suffix=""; [ "$twice" = 1 ] && suffix=-twice
    { head -c 65535 "$volume"; head -c 14 /dev/zero; printf "\\x$(printf %02x "$twice")\\x$(printf %02x "$1")"; } \
      >"corpus/save_walk/mkfs-fat$2$suffix"
  done
done

# Recognition: the first byte picks the extension (0 ".vbox", 1 none, then
# the format table's in order: .vmdk .vhd .vhdx .vdi .hdd .hds .qed .qcow);
# text inputs name "disk.img", which follows them after a NUL.
vbox='<?xml version="1.0"?>
<VirtualBox><Machine name="m"><MediaRegistry><HardDisks>
<HardDisk uuid="{1}" location="disk.img" format="VMDK"/></HardDisks></MediaRegistry></Machine></VirtualBox>'
descriptor='# Disk DescriptorFile
version=1
CID=fffffffe
parentCID=ffffffff
createType="monolithicFlat"
RW 64 FLAT "disk.img" 0
ddb.geometry.cylinders = "1"
ddb.geometry.heads = "16"
ddb.geometry.sectors = "63"
ddb.adapterType = "ide"'
head -c 65536 /dev/zero | tr '\0' 'x' >"$work/extent"
{ printf '\x00%s\x00' "$vbox"; head -c 2048 "$work/extent"; } >corpus/recognition/vbox-naming-flat-disk
{ printf '\x02%s\x00' "$descriptor"; head -c 32768 "$work/extent"; } >corpus/recognition/vmdk-flat-descriptor
# The small container seeds (kept in git) and the heads of the formats that
# have no small one, their first byte moved from the format table's index to
# the extension's.
python3 - <<'PY'
import glob, os
extension_of_format = {0: 2, 1: 3, 2: 4, 3: 5, 4: 6, 5: 8, 6: 9}
heads = ["head-basic-monolithicFlat.vmdk", "head-basic-dynamic.vhd", "head-basic-dynamic.vhdx"]
for path in sorted(glob.glob("corpus/containers/small-*")) + ["corpus/containers/" + name for name in heads]:
    data = open(path, "rb").read()
    open("corpus/recognition/" + os.path.basename(path), "wb").write(bytes([extension_of_format[data[0]]]) + data[1:])
PY

# Carving: the files the carving fixture makes, a few to a seed, each at a
# sector's start, every seed cut at 64 KiB (the first byte: exact ends).
python3 ../tests/fixtures/carve/make_carve_files.py "$work/carve" >/dev/null
python3 - "$work/carve" <<'PY'
import json, os, sys
folder = sys.argv[1]
files = [f["name"] for f in json.load(open(os.path.join(folder, "files.json")))]
seed, count = bytearray(), 0
def flush(exact):
    global seed, count
    if seed:
        open(f"corpus/carver/files-{count}", "wb").write(bytes([exact]) + bytes(seed[:65535]))
        count += 1
    seed = bytearray()
for name in files:
    data = open(os.path.join(folder, name), "rb").read()
    if len(data) > 60000:
        data = data[:60000]
    if len(seed) + len(data) > 65535:
        flush(count % 2)
    seed += data + bytes(-len(data) % 512)
flush(count % 2)
PY
[ "$only" = volumes ] && exit 0


# A small disk with a partition table and data in a few places, in every
# format qemu-img writes, whole.
head -c 512 "$disks/layouts/mbr.raw" >"$work/small.raw"
truncate -s 64K "$work/small.raw"
printf 'korvane fuzz seed data' | dd of="$work/small.raw" bs=512 seek=77 conv=notrunc status=none
for container in "vmdk 0" "vmdk:subformat=streamOptimized 0" "vpc 1" "vhdx 2" "vdi 3" "parallels 4" "qed 5" \
            "qcow2:cluster_size=512 6" "qcow2:compat=0.10,cluster_size=512 6" "qcow 6" \
            "qed:cluster_size=4096,table_size=1 5"; do
  set -- $container
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

# The preview decoders: an RTF document (first byte even) and two ZIP
# archives, deflated and stored (first byte odd).
printf '\x00{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red0\\green0\\blue0;}\\f0 Hello {\\b bold} {\\i it} \\ul u\\ulnone\\par caf\\'"'"'e9 \\u8364? {\\*\\gen x}{\\pict 0102}\\tab end\\line}' \
  >corpus/previews/rtf-basic
(
  cd "$work"
  printf 'hello world\n' >a.txt
  printf 'second file\n' >b.txt
  zip -q -X plain.zip a.txt b.txt
  zip -q -X -0 stored.zip a.txt
)
{ printf '\x01'; cat "$work/plain.zip"; } >corpus/previews/zip-deflated
{ printf '\x01'; cat "$work/stored.zip"; } >corpus/previews/zip-stored
