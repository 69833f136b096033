#!/usr/bin/env bash
# Rebuilds sample.vhd, the small disk the demo runs on, and sample.json, what
# it holds: a dynamic VHD with an MBR, an NTFS partition and a FAT32
# partition, each holding folders and files of several kinds, some of them
# deleted. Needs root (the NTFS files are written through ntfs-3g) and
# python3 (the picture and the archive).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cleanup() { mountpoint -q "$work/mnt" && umount "$work/mnt"; rm -rf "$work"; }
trap cleanup EXIT

ntfs_start=2048 ntfs_sectors=40960   # 20 MiB
fat_start=43008 fat_sectors=73728    # 36 MiB: enough one-sector clusters for FAT32
truncate -s 60M "$work/disk.raw"
printf 'label: dos\nlabel-id: 0x4b565231\n%s,%s,7\n%s,%s,c\n' \
  "$ntfs_start" "$ntfs_sectors" "$fat_start" "$fat_sectors" | sfdisk -q "$work/disk.raw"

# The files, staged once so the manifest can hash them.
stage=$work/stage
mkdir -p "$stage"
printf 'Dear reader,\nthis letter was saved on the sample disk.\n' >"$stage/letter.txt"
seq 1 4000 | sed 's/^/line /' >"$stage/report.txt"
seq 1 300 | sed 's/^/budget row /' >"$stage/budget.csv"
printf 'Notes kept in the root folder.\n' >"$stage/notes.txt"
printf '{\\rtf1\\ansi{\\b Minutes} of the meeting.\\par Nothing was decided.}\n' >"$stage/minutes.rtf"
seq 1 500 | sed 's/^/invoice /' >"$stage/invoices.txt"
printf 'Readme of the FAT volume.\n' >"$stage/README.TXT"
seq 1 900 | sed 's/^/old entry /' >"$stage/Old Archive List.txt"
python3 - "$stage" <<'EOF'
import struct, sys, zipfile
stage = sys.argv[1]
# A 64 x 48 24-bit picture: a colour ramp.
width, height = 64, 48
row = bytes(c for x in range(width) for c in (x * 4, 128, 255 - x * 4))
pixels = row * height
header = struct.pack('<2sIHHI', b'BM', 54 + len(pixels), 0, 0, 54)
info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
with open(f'{stage}/holiday.bmp', 'wb') as out:
    out.write(header + info + pixels)
with zipfile.ZipFile(f'{stage}/letters.zip', 'w', zipfile.ZIP_DEFLATED) as archive:
    archive.writestr('first.txt', 'The first letter.\n' * 20)
    archive.writestr('second.txt', 'The second letter.\n' * 30)
EOF

# NTFS: documents, one folder deleted with its contents, one file deleted.
truncate -s $((ntfs_sectors * 512)) "$work/ntfs.img"
mkntfs -F -Q -q -p "$ntfs_start" -H 255 -S 63 -L SAMPLE "$work/ntfs.img" 2>/dev/null
mkdir "$work/mnt"
ntfs-3g "$work/ntfs.img" "$work/mnt"
mkdir -p "$work/mnt/Documents/Letters" "$work/mnt/Photos"
cp "$stage/letter.txt" "$stage/letters.zip" "$work/mnt/Documents/Letters/"
cp "$stage/report.txt" "$stage/budget.csv" "$stage/minutes.rtf" "$work/mnt/Documents/"
cp "$stage/holiday.bmp" "$work/mnt/Photos/"
cp "$stage/notes.txt" "$work/mnt/"
rm "$work/mnt/Documents/budget.csv"
rm -r "$work/mnt/Photos"
umount "$work/mnt"
dd if="$work/ntfs.img" of="$work/disk.raw" bs=512 seek="$ntfs_start" conv=notrunc status=none

# FAT32 through mtools.
truncate -s $((fat_sectors * 512)) "$work/fat.img"
mkfs.fat -F 32 -s 1 -h "$fat_start" -n SAMPLEFAT "$work/fat.img" >/dev/null
export MTOOLS_SKIP_CHECK=1
mmd -i "$work/fat.img" ::/Projects
mcopy -i "$work/fat.img" "$stage/README.TXT" ::/README.TXT
mcopy -i "$work/fat.img" "$stage/invoices.txt" ::/Projects/invoices.txt
mcopy -i "$work/fat.img" "$stage/holiday.bmp" ::/Projects/holiday.bmp
mcopy -i "$work/fat.img" "$stage/Old Archive List.txt" "::/Projects/Old Archive List.txt"
mdel -i "$work/fat.img" "::/Projects/Old Archive List.txt"
dd if="$work/fat.img" of="$work/disk.raw" bs=512 seek="$fat_start" conv=notrunc status=none

qemu-img convert -f raw -O vpc -o subformat=dynamic "$work/disk.raw" "$here/sample.vhd"

# The manifest: every entry with its kind, size, hash and whether it was deleted.
python3 - "$stage" "$here/sample.json" <<'EOF'
import hashlib, json, sys
stage, out = sys.argv[1], sys.argv[2]
def file(path, staged, deleted=False):
    data = open(f'{stage}/{staged}', 'rb').read()
    return {'path': path, 'kind': 'file', 'size': len(data),
            'sha256': hashlib.sha256(data).hexdigest(), 'deleted': deleted}
def folder(path, deleted=False):
    return {'path': path, 'kind': 'folder', 'deleted': deleted}
ntfs = [folder('Documents'), folder('Documents/Letters'),
        file('Documents/Letters/letter.txt', 'letter.txt'),
        file('Documents/Letters/letters.zip', 'letters.zip'),
        file('Documents/report.txt', 'report.txt'), file('Documents/minutes.rtf', 'minutes.rtf'),
        file('Documents/budget.csv', 'budget.csv', True),
        folder('Photos', True), file('Photos/holiday.bmp', 'holiday.bmp', True),
        file('notes.txt', 'notes.txt')]
fat = [folder('Projects'), file('README.TXT', 'README.TXT'),
       file('Projects/invoices.txt', 'invoices.txt'), file('Projects/holiday.bmp', 'holiday.bmp'),
       file('Projects/Old Archive List.txt', 'Old Archive List.txt', True)]
manifest = {'file': 'sample.vhd', 'partitions': [
    {'number': 1, 'fileSystem': 'NTFS', 'firstSector': 2048, 'entries': ntfs},
    {'number': 2, 'fileSystem': 'FAT32', 'firstSector': 43008, 'entries': fat}]}
with open(out, 'w') as f:
    json.dump(manifest, f, indent=2)
    f.write('\n')
EOF
echo "wrote $here/sample.vhd ($(du -h "$here/sample.vhd" | cut -f1) on disk) and $here/sample.json"
