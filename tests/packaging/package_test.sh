#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree, checks what is
# in it, validates the desktop entry, renders the man pages, and builds and
# runs programs against its files unpacked into a temporary root.
# Usage: package_test.sh BUILD_DIR WORK_DIR CONSUMER_DIR [SANITIZE]
# Exit 77 (skipped) without cpack/dpkg-deb, or for a sanitizer build, which
# is not a build anyone packages.
set -euo pipefail
build=$1 work=$2 consumer=$3 sanitize=${4:-}

if [ -n "$sanitize" ]; then echo "skipped: sanitizer build"; exit 77; fi
for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate man pkg-config cc; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool not found"; exit 77; }
done

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/*.deb)
[ "$(dpkg-deb -f "$deb" Package)" = zefmon ] || fail "package name"

# The files a user and a program under test expect, at their paths.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
expected=(
  /usr/bin/zefmon /usr/bin/zeftrace
  /usr/include/zeftrace/trace.h /usr/include/zeftrace/zeftrace.h
  /usr/lib/cmake/zeftrace/zeftraceConfig.cmake /usr/lib/pkgconfig/zeftrace.pc
  /usr/share/applications/zefmon.desktop
  /usr/share/icons/hicolor/48x48/apps/zefmon.png /usr/share/icons/hicolor/128x128/apps/zefmon.png
  /usr/share/icons/hicolor/scalable/apps/zefmon.svg
  /usr/share/man/man1/zefmon.1.gz /usr/share/man/man1/zeftrace.1.gz
)
if [ -e "$build/store" ]; then
  expected+=(/usr/bin/zefdb /usr/include/zefstore /usr/lib/cmake/zefstore/zefstoreConfig.cmake
             /usr/lib/pkgconfig/zefstore.pc /usr/share/man/man1/zefdb.1.gz)
fi
for path in "${expected[@]}"; do
  grep -qx "$path/\?" "$work/contents" || fail "not in the package: $path"
done
grep -q '^/usr/lib/libzeftrace\.so\.0' "$work/contents" || fail "libzeftrace.so.0 not under /usr/lib"
if grep -q "$build\|/install/" "$work/contents"; then fail "build paths in the package"; fi

# Dependencies were computed from the binaries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6widgets6; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/zefmon.desktop" || fail "desktop entry"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# A program under test built against the package: CMake finds it through
# CMAKE_PREFIX_PATH (and gives the program a run path to it), pkg-config
# through its sysroot.
mkdir -p "$work/runtime"
cmake -S "$consumer" -B "$work/cmake-consumer" -DCMAKE_PREFIX_PATH="$root/usr" >"$work/consumer.log" 2>&1 ||
  { cat "$work/consumer.log"; fail "configure the CMake consumer"; }
cmake --build "$work/cmake-consumer" >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "build"; }
mirror=$(XDG_RUNTIME_DIR="$work/runtime" "$work/cmake-consumer/consumer" 2>&1 >/dev/null)
[[ "$mirror" == *"Consumer() {"* ]] || fail "CMake consumer did not trace: $mirror"

flags=$(PKG_CONFIG_SYSROOT_DIR="$root" PKG_CONFIG_LIBDIR="$root/usr/lib/pkgconfig" pkg-config --cflags --libs zeftrace)
# shellcheck disable=SC2086
cc -std=c99 -Wall -Wextra -Werror "$consumer/main.c" $flags -o "$work/c-consumer" || fail "pkg-config consumer: $flags"
mirror=$(XDG_RUNTIME_DIR="$work/runtime" LD_LIBRARY_PATH="$root/usr/lib" "$work/c-consumer" 2>&1 >/dev/null)
[ -n "$mirror" ] || fail "C consumer did not trace"
echo "package ok: $(basename "$deb")"
