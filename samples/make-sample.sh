#!/usr/bin/env bash
# Rebuilds sample.vhd, the small disk the demo runs on: a dynamic VHD with an
# MBR, an NTFS partition and a FAT16 partition, each holding a few files, some
# of them deleted. Needs root (the NTFS files are written through ntfs-3g).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cleanup() { mountpoint -q "$work/mnt" && umount "$work/mnt"; rm -rf "$work"; }
trap cleanup EXIT

ntfs_start=2048 ntfs_sectors=40960   # 20 MiB
fat_start=43008 fat_sectors=40960    # 20 MiB
truncate -s 48M "$work/disk.raw"
printf 'label: dos\nlabel-id: 0x4b565231\n%s,%s,7\n%s,%s,6\n' \
  "$ntfs_start" "$ntfs_sectors" "$fat_start" "$fat_sectors" | sfdisk -q "$work/disk.raw"

# NTFS: documents, one folder deleted with its contents, one file deleted.
truncate -s $((ntfs_sectors * 512)) "$work/ntfs.img"
mkntfs -F -Q -q -p "$ntfs_start" -H 255 -S 63 -L SAMPLE "$work/ntfs.img" 2>/dev/null
mkdir "$work/mnt"
ntfs-3g "$work/ntfs.img" "$work/mnt"
mkdir -p "$work/mnt/Documents/Letters" "$work/mnt/Photos"
printf 'Dear reader,\nthis letter was saved on the sample disk.\n' > "$work/mnt/Documents/Letters/letter.txt"
seq 1 4000 | sed 's/^/line /' > "$work/mnt/Documents/report.txt"
seq 1 300 | sed 's/^/budget row /' > "$work/mnt/Documents/budget.csv"
seq 1 20000 | sed 's/^/pixel row /' > "$work/mnt/Photos/holiday.bmp"
printf 'Notes kept in the root folder.\n' > "$work/mnt/notes.txt"
rm "$work/mnt/Documents/budget.csv"
rm -r "$work/mnt/Photos"
umount "$work/mnt"
dd if="$work/ntfs.img" of="$work/disk.raw" bs=512 seek="$ntfs_start" conv=notrunc status=none

# FAT16 through mtools.
truncate -s $((fat_sectors * 512)) "$work/fat.img"
mkfs.fat -F 16 -h "$fat_start" -n SAMPLEFAT "$work/fat.img" >/dev/null
export MTOOLS_SKIP_CHECK=1
seq 1 500 | sed 's/^/invoice /' > "$work/invoices.txt"
printf 'Readme of the FAT volume.\n' > "$work/README.TXT"
seq 1 900 | sed 's/^/old entry /' > "$work/Old Archive List.txt"
mmd -i "$work/fat.img" ::/Projects
mcopy -i "$work/fat.img" "$work/README.TXT" ::/README.TXT
mcopy -i "$work/fat.img" "$work/invoices.txt" ::/Projects/invoices.txt
mcopy -i "$work/fat.img" "$work/Old Archive List.txt" "::/Projects/Old Archive List.txt"
mdel -i "$work/fat.img" "::/Projects/Old Archive List.txt"
dd if="$work/fat.img" of="$work/disk.raw" bs=512 seek="$fat_start" conv=notrunc status=none

qemu-img convert -f raw -O vpc -o subformat=dynamic "$work/disk.raw" "$here/sample.vhd"
echo "wrote $here/sample.vhd ($(du -h "$here/sample.vhd" | cut -f1) on disk)"
