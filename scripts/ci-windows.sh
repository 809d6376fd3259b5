#!/usr/bin/env bash
# The Windows compile check: every source of the programs, and moc's output for
# them, compiled for Windows with mingw-w64 against this machine's Qt 6
# headers, syntax only (there is no Qt for Windows here: nothing links or
# runs). Q_OS_WIN follows from the compiler's _WIN32; the defines are the ones
# Qt's CMake sets for a Windows build. Stops at the first source that fails.
#
# usage: scripts/ci-windows.sh [WORK_DIR]   (default build-ci-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
work=${1:-build-ci-windows}
jobs=${JOBS:-2}

cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || { echo "ci-windows: $cxx is needed (scripts/setup-debian.sh)" >&2; exit 2; }
qt=$(qtpaths6 --query QT_INSTALL_HEADERS)
moc=$(qtpaths6 --query QT_HOST_LIBEXECS)/moc

rm -rf "$work"
mkdir -p "$work/include" "$work/moc"
# zlib's and SQLite's headers without the rest of this system's include folder
# (its C library would shadow mingw's).
for header in zlib.h zconf.h sqlite3.h; do
    found=""
    for dir in $(pkg-config --variable=includedir zlib sqlite3) /usr/include; do
        [ -f "$dir/$header" ] && { found="$dir/$header"; break; }
    done
    [ -n "$found" ] || { echo "ci-windows: $header not found" >&2; exit 2; }
    ln -s "$found" "$work/include/$header"
done

modules=(Core Gui Widgets Network Sql Multimedia HttpServer WebSockets Test)
includes=(-I. -I"$work/include" -isystem "$qt")
defines=(-DUNICODE -D_UNICODE -DWIN32 -D_WIN64 -DMINGW_HAS_SECURE_API=1
    -D_ENABLE_EXTENDED_ALIGNED_STORAGE -DQT_NO_DEBUG)
for m in "${modules[@]}"; do
    includes+=(-isystem "$qt/Qt$m")
    defines+=("-DQT_$(echo "$m" | tr '[:lower:]' '[:upper:]')_LIB")
done

sources=(core gui headless tools dashboard)
# moc reads the headers as a Windows build would.
git ls-files -z -- "${sources[@]/%//*.h}" | xargs -0 grep -lZ -E '^\s*Q_(OBJECT|GADGET|NAMESPACE)\b' |
    while IFS= read -r -d '' header; do
        "$moc" -D_WIN32 -DWIN32 "${includes[@]/#-isystem/-I}" "$header" \
            -o "$work/moc/moc_$(echo "$header" | tr / _ | sed 's/\.h$//').cpp"
    done

export cxx
compile() {
    "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic "$@" ||
        { echo "ci-windows: ${*: -1} does not compile for Windows" >&2; exit 255; }
}
export -f compile

{ git ls-files -z -- "${sources[@]/%//*.cpp}"; find "$work/moc" -name '*.cpp' -print0; } >"$work/sources"
xargs -0 -n1 -P"$jobs" bash -c 'compile "$@"' _ "${includes[@]}" "${defines[@]}" <"$work/sources"
echo "ci-windows: $(tr -cd '\0' <"$work/sources" | wc -c) sources compiled for Windows"
