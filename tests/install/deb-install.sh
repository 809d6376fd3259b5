#!/usr/bin/env bash
# The .deb as a user meets it: installed with apt into a fresh Debian 12 root,
# then the installed station on port 69 and the router stand-in run by an
# ordinary user, whose own station folder must receive every file.
#
#   tests/install/deb-install.sh [PACKAGE.deb]
#
# Without an argument the package is built first (scripts/ci-release.sh).
# Needs root (debootstrap, chroot, mounts, namespaces) and the Debian archive
# this machine's apt uses (its sources for bookworm and bookworm-security;
# QV_DEBIAN_MIRROR and QV_DEBIAN_SECURITY name others). QV_KEEP_ROOT=1 keeps
# the root folder for a look after a failure.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)

# The first archive of this machine's apt sources that carries SUITE's
# packages, as apt itself reads them (deb822 or one-line form).
apt_uri() {
    apt-get indextargets --no-release-info --format '$(REPO_URI)' "Release: $1" \
        "Created-By: Packages" | sed -n '1{s:/$::;p}'
}
mirror=${QV_DEBIAN_MIRROR:-$(apt_uri bookworm)}
security=${QV_DEBIAN_SECURITY:-$(apt_uri bookworm-security)}

step="checking the host"

begin() {
    step=$1
    echo "deb-install: == $step"
}
fail() {
    echo "deb-install: FAILED at step '$step': $*" >&2
    exit 1
}

[ "$(id -u)" -eq 0 ] || fail "run as root (debootstrap, chroot and mounts need it)"
[ -n "$mirror" ] || fail "no bookworm archive in the apt sources: set QV_DEBIAN_MIRROR"
for tool in debootstrap chroot unshare ip mount umount; do
    command -v "$tool" >/dev/null || fail "$tool not found: run scripts/setup-debian.sh"
done

# Every mount lives in a mount namespace of this run, so none outlives it even
# when the clean-up below never runs.
if [ -z "${QV_DEB_INSTALL_NS:-}" ]; then
    exec env QV_DEB_INSTALL_NS=1 unshare --mount --propagation private -- bash "$0" "$@"
fi

deb=${1:-}
root=""

cleanup() {
    local status=$?
    local failed_step=$step
    trap - EXIT
    set +e
    begin "cleaning up" >/dev/null
    if [ -n "$root" ] && [ -d "$root" ]; then
        # A failure may leave the station or apt running inside the root.
        for proc in /proc/[0-9]*; do
            [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && kill -KILL "${proc#/proc/}" 2>/dev/null
        done
        local mounts
        mounts=$(awk -v r="$root/" 'index($5, r) == 1 { print $5 }' /proc/self/mountinfo | sort -r)
        for m in $mounts; do
            umount "$m" || umount -l "$m"
        done
        if awk -v r="$root/" 'index($5, r) == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo; then
            echo "deb-install: still mounted under $root; not removing it" >&2
            status=1
        elif [ -n "${QV_KEEP_ROOT:-}" ]; then
            echo "deb-install: root kept in $root"
        else
            rm -rf --one-file-system "$root" "$root.log"
        fi
    fi
    echo "deb-install: total ${SECONDS}s"
    if [ "$status" -ne 0 ]; then
        echo "deb-install: FAILED at step '$failed_step' (exit status $status)" >&2
    else
        echo "deb-install: passed"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ -z "$deb" ]; then
    begin "building the package (scripts/ci-release.sh)"
    "$repo/scripts/ci-release.sh"
    deb=$(ls "$repo"/build-package/quorvane_*_amd64.deb)
fi
[ -f "$deb" ] || fail "no package at '$deb'"
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")

begin "making a Debian 12 root (debootstrap --variant=minbase)"
mkdir -p "$repo/build-package"
root=$(mktemp -d "$repo/build-package/deb-install-root.XXXXXX")
chmod 0755 "$root"
# Debs the host already holds need not come over the network again; apt and
# debootstrap check each one against the archive's checksums.
mkdir -p "$root/var/cache/apt/archives/partial" "$root/etc/dpkg/dpkg.cfg.d"
# A root thrown away after the run needs no fsync after every file.
echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/unsafe-io"
find /var/cache/apt/archives -maxdepth 1 -name '*.deb' -exec cp -l -t "$root/var/cache/apt/archives" {} + 2>/dev/null ||
    find /var/cache/apt/archives -maxdepth 1 -name '*.deb' -exec cp -t "$root/var/cache/apt/archives" {} + ||
    true
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 ||
    fail "debootstrap did not finish: $(tail -20 "$root.log")"
{
    echo "deb $mirror bookworm main"
    echo "deb $mirror bookworm-updates main"
    [ -z "$security" ] || echo "deb $security bookworm-security main"
} >"$root/etc/apt/sources.list"

# Qt finds its own program through /proc/self/exe. Device nodes come from
# debootstrap; where it could not make them, the host's few are bound in.
mount -t proc proc "$root/proc"
for node in null zero random urandom; do
    if [ ! -c "$root/dev/$node" ]; then
        touch "$root/dev/$node"
        mount --bind "/dev/$node" "$root/dev/$node"
    fi
done

begin "installing $(basename "$deb") with apt"
install -m 0644 "$deb" "$root/tmp/$(basename "$deb")"
install -m 0755 "$here/in-root.sh" "$root/usr/local/sbin/qv-in-root"
chroot "$root" /usr/local/sbin/qv-in-root install "/tmp/$(basename "$deb")" ||
    fail "the package did not install, or its programs lack the capability (reason above)"

begin "running the installed station as an ordinary user (port 69, own network namespace)"
# A network namespace of its own: port 69 of this machine may be taken, and
# nothing from the test reaches the network.
unshare --net -- sh -c 'ip link set lo up && exec chroot "$1" /usr/local/sbin/qv-in-root run' sh "$root" ||
    fail "the installed station did not do its job as an ordinary user (output above)"
