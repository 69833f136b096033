#!/usr/bin/env bash
# Builds the disk of the analysis benchmark into DEST_DIR: a 2 GiB raw disk
# with an MBR and one NTFS partition holding 50,000 small files in 1,000
# folders written through ntfs-3g, of which 5,000 single files and 20 whole
# folders (with their 1,000 files) are then deleted; and the same disk as a
# dynamic VHD, a qcow2 and a monolithicSparse VMDK. With FILL_MIB, the volume
# also holds that many MiB of large files (Media/clip-NN.bin, 64 MiB each,
# random bytes), so that most of it is allocated as on a volume in use.
#
#   analysis.raw          the raw disk (sparse)
#   analysis-dynamic.vhd  qemu-img convert -O vpc -o subformat=dynamic
#   analysis.qcow2        qemu-img convert -O qcow2
#   analysis.vmdk         qemu-img convert -O vmdk -o subformat=monolithicSparse
#   analysis-disk.info    key=value lines: the partition's first sector and
#                         size, and the counts written and deleted
#
# Layout of the volume: 20 folders Group-NN at the root, each holding 49
# folders Set-NNN; every one of the 1,000 folders holds 50 files of 200 to
# 4,000 bytes (about a fifth of them small enough to stay inside their MFT
# record). Set-007 of every group is deleted whole; 5,000 other files, drawn
# with a fixed seed, are deleted one by one.
#
# Runs as root (ntfs-3g mounts through FUSE) and takes about a minute. Does
# nothing when DEST_DIR/analysis-disk.info is newer than this script. Builds
# in a temporary folder beside DEST_DIR and moves the result into place.
set -euo pipefail

usage() { echo "usage: $0 DEST_DIR [FILL_MIB]" >&2; exit 2; }
[[ ($# -eq 1 || $# -eq 2) && -n $1 ]] || usage
fill_mib=${2:-0}
[[ $fill_mib =~ ^[0-9]+$ ]] || usage

die() { echo "make-analysis-disk: $*" >&2; exit 1; }

script=$(readlink -f "$0")
dest=$(readlink -m "$1")
fixtures=$(dirname "$script")/../tests/fixtures

fresh() {
  [[ -f $dest/analysis-disk.info && $dest/analysis-disk.info -nt $script ]] &&
    grep -qx "fill_mib=$fill_mib" "$dest/analysis-disk.info"
}
if fresh; then
  exit 0
fi

for tool in qemu-img sfdisk mkntfs ntfs-3g fls python3 flock; do
  command -v "$tool" >/dev/null || die "missing tool '$tool' (run scripts/setup-deps)"
done
[[ $(id -u) -eq 0 ]] || die "must run as root (ntfs-3g mounts the NTFS volume)"

parent=$(dirname "$dest")
mkdir -p "$parent"

# One builder per destination at a time.
exec 9<"$parent"
flock 9
if fresh; then
  exit 0
fi

work=$(mktemp -d "$parent/.make-analysis-disk.XXXXXX")
mnt=$work/mnt
# shellcheck source=SCRIPTDIR/../tests/fixtures/ntfs-mount.sh
source "$fixtures/ntfs-mount.sh"

out=$work/out
mkdir -p "$out" "$mnt"

# Runs a command quietly, showing its output only when it fails.
quiet() {
  local log
  if ! log=$("$@" 2>&1); then
    printf '%s\n' "$log" >&2
    die "failed: $*"
  fi
}

# --- Layout ------------------------------------------------------------------
readonly disk_sectors=$((4 * 1048576))   # 2 GiB of 512-byte sectors
readonly part_first=2048
readonly part_count=$((disk_sectors - part_first))
readonly ntfs_type=7

# --- The NTFS volume, written through ntfs-3g ---------------------------------
volume=$work/ntfs.img
truncate -s $((part_count * 512)) "$volume"
quiet mkntfs -F -Q -q -s 512 -p "$part_first" -H 255 -S 63 -L KorvBench "$volume"
mount_volume "$volume"

# One process writes every file and deletes what goes: a process per file or
# per folder would take longer than the writing itself. Contents are slices
# of one random megabyte; only the metadata matters to the benchmark.
# Prints the counts as key=value lines.
counts=$(python3 - "$mnt" "$fill_mib" <<'EOF'
import os, random, shutil, sys

root = sys.argv[1]
fill_mib = int(sys.argv[2])
groups, sets_per_group, files_per_folder = 20, 49, 50
deleted_set = 7
single_deletions = 5000

rng = random.Random(20240601)
pool = os.urandom(1 << 20)

folders = []
for g in range(groups):
    group = os.path.join(root, f"Group-{g:02d}")
    folders.append(group)
    folders.extend(os.path.join(group, f"Set-{s:03d}") for s in range(sets_per_group))

files = []
for folder in folders:
    os.mkdir(folder)
    for f in range(files_per_folder):
        size = rng.randint(200, 4000)
        start = rng.randrange(len(pool) - size)
        path = os.path.join(folder, f"doc-{len(files):05d}.dat")
        with open(path, "wb") as out:
            out.write(pool[start:start + size])
        files.append(path)

doomed_folders = [os.path.join(root, f"Group-{g:02d}", f"Set-{deleted_set:03d}") for g in range(groups)]
doomed_prefixes = tuple(folder + os.sep for folder in doomed_folders)
survivors = [path for path in files if not path.startswith(doomed_prefixes)]
doomed_files = rng.sample(survivors, single_deletions)
for path in doomed_files:
    os.unlink(path)
for folder in doomed_folders:
    shutil.rmtree(folder)

# The large files come last, so that they fill the space after the small
# ones in long runs, as copied media would.
clip_mib = 64
if fill_mib:
    os.mkdir(os.path.join(root, "Media"))
for c in range((fill_mib + clip_mib - 1) // clip_mib):
    with open(os.path.join(root, "Media", f"clip-{c:02d}.bin"), "wb") as out:
        for m in range(min(clip_mib, fill_mib - c * clip_mib)):
            start = rng.randrange(len(pool) // 2)
            out.write(pool[start:] + pool[:start])

deleted_with_folders = len(files) - len(survivors)
print(f"folders_written={len(folders)}")
print(f"files_written={len(files)}")
print(f"folders_deleted={len(doomed_folders)}")
print(f"files_deleted_singly={len(doomed_files)}")
print(f"files_deleted_with_folders={deleted_with_folders}")
print(f"folders_live={len(folders) - len(doomed_folders)}")
print(f"files_live={len(survivors) - len(doomed_files)}")
EOF
) || die "writing the files failed"
sync -f "$mnt"
unmount_volume

count_of() { awk -F= -v k="$1" '$1 == k { print $2 }' <<<"$counts"; }

# --- The raw disk ------------------------------------------------------------
raw=$out/analysis.raw
truncate -s $((disk_sectors * 512)) "$raw"
quiet sfdisk --no-reread --no-tell-kernel "$raw" <<EOF
label: dos
label-id: 0x4b564231
unit: sectors

start=$part_first, size=$part_count, type=$(printf '%x' $ntfs_type)
EOF
dd if="$volume" of="$raw" bs=1M seek=$((part_first * 512 / 1048576)) conv=notrunc,sparse status=none
rm -f "$volume"

# --- Second opinion: the Sleuth Kit lists every live file written ------------
# Live lines have no "*" before the record number; system files and folders
# are left out by the path.
live_files=$(fls -r -p -F -o "$part_first" "$raw" |
  awk -F'\t' '$1 !~ / \* / && $2 ~ /^Group-[0-9]+\/(Set-[0-9]+\/)?doc-[0-9]+\.dat$/' | wc -l) ||
  die "fls cannot read the volume"
[[ $live_files -eq $(count_of files_live) ]] ||
  die "fls lists $live_files live files, $(count_of files_live) were left"

# --- Containers --------------------------------------------------------------
containers=(
  "analysis-dynamic.vhd|vpc|-o subformat=dynamic"
  "analysis.qcow2|qcow2|"
  "analysis.vmdk|vmdk|-o subformat=monolithicSparse"
)
for entry in "${containers[@]}"; do
  IFS='|' read -r file qemu_format options <<<"$entry"
  # shellcheck disable=SC2086 # the options are words on purpose
  quiet qemu-img convert -f raw -O "$qemu_format" $options "$raw" "$out/$file"
done

{
  echo "disk_sectors=$disk_sectors"
  echo "partition_first=$part_first"
  echo "partition_sectors=$part_count"
  echo "fill_mib=$fill_mib"
  printf '%s\n' "$counts"
} >"$out/analysis-disk.info"

# --- Into place --------------------------------------------------------------
if [[ -e $dest ]]; then
  mv "$dest" "$work/previous"
fi
mv "$out" "$dest"
