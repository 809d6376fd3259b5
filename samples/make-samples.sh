#!/bin/sh
# Makes a program folder to try the station without a router: small boot
# loader and root images, the factory configuration template, and a
# "sysfile" selecting all four pieces (write MAC, boot loader, configuration,
# root image) with the serial 00012.
#
#   samples/make-samples.sh [FOLDER]      (default: ./quorvane-sample)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
folder=${1:-quorvane-sample}
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)

# Deterministic contents, so that every run gives the same checksums.
yes "Quorvane sample boot loader" | head -c 65536 >"$folder/uboot.bin"
yes "Quorvane sample root image" | head -c 300000 >"$folder/root.bin"
cp "$here/factory.cfg" "$folder/factory.cfg"

# Each path must fit its 256-byte slot with the NUL.
if [ ${#folder} -gt 240 ]; then
    echo "folder path too long for the settings record: $folder" >&2
    exit 1
fi

# The 789-byte settings record: flags at 0, serial digits in bytes 4-6,
# paths at 19 (boot loader), 275 (root image), 531 (configuration).
put() { # offset, printf format, argument
    printf "$2" "$3" | dd of="$folder/sysfile" bs=1 seek="$1" conv=notrunc 2>/dev/null
}
head -c 789 /dev/zero >"$folder/sysfile"
put 0 '\017%s' ''
put 5 '\001\040%s' ''
put 19 '%s' "$folder/uboot.bin"
put 275 '%s' "$folder/root.bin"
put 531 '%s' "$folder/factory.cfg"
put 787 '%s' '0'

echo "$folder"
