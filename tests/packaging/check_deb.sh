#!/usr/bin/env bash
# Builds the Debian package as it ships (a Release build of the program alone,
# in its own tree under BUILD_DIR) and checks what it installs, what it
# depends on, and that lintian finds neither an error nor a warning.
set -euo pipefail
source_dir=$1
build_dir=$2/package-build
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKESTREL_SANITIZE=OFF -DKESTREL_BUILD_TESTS=OFF -DKESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j2 >/dev/null
(cd "$build_dir" && cpack -B "$work" >/dev/null)
deb=$(ls "$work"/kestrel-eval_*.deb)
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/kestrel-eval ./usr/share/applications/kestrel-eval.desktop \
            ./usr/share/icons/hicolor/scalable/apps/kestrel-eval.svg \
            ./usr/share/icons/hicolor/48x48/apps/kestrel-eval.png \
            ./usr/share/man/man1/kestrel-eval.1.gz ./usr/share/doc/kestrel-eval/copyright \
            ./usr/share/doc/kestrel-eval/changelog.gz \
            ./usr/share/doc/kestrel-eval/examples/bring_up.kes \
            ./usr/share/metainfo/io.github.kestrel_eval.metainfo.xml \
            ./usr/share/bash-completion/completions/kestrel-eval \
            ./usr/share/libsigrokdecode/decoders/kestrel/__init__.py \
            ./usr/share/libsigrokdecode/decoders/kestrel/pd.py \
            ./usr/share/libsigrokdecode/decoders/kestrel/chip.py; do
    grep -q " $path\$" <<<"$contents" || { echo "missing from the package: $path"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in "libqt6widgets6 (>= 6" libqt6svg6 libzip4 qt6-qpa-plugins; do
    grep -qF "$dep" <<<"$depends" || { echo "package does not depend on $dep: $depends"; exit 1; }
done
! grep -q ieee1284 <<<"$depends" || { echo "package still depends on the port library: $depends"; exit 1; }
# The sigrok decoder loads from where the package puts it.
if command -v sigrok-cli >/dev/null; then
    dpkg-deb -x "$deb" "$work/root"
    SIGROKDECODE_DIR="$work/root/usr/share/libsigrokdecode/decoders" sigrok-cli -P kestrel --show |
        grep -q '^ID: kestrel' || { echo "sigrok-cli does not load the packaged decoder"; exit 1; }
elif [ "${CI:-}" = true ]; then
    echo "sigrok-cli is not installed, and CI checks the packaged decoder"; exit 1
fi
grep -q '^Exec=kestrel-eval$' <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/kestrel-eval.desktop)
if command -v lintian >/dev/null; then
    report=$(lintian --allow-root "$deb" 2>&1 || true)
    if grep -qE '^[EW]: ' <<<"$report"; then
        echo "lintian:"; echo "$report"; exit 1
    fi
    echo "lintian: no errors, no warnings"
else
    echo "lintian is not installed: package contents checked only"
fi
echo "package ok: $(basename "$deb")"
