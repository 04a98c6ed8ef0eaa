#!/usr/bin/env bash
# Builds the Debian package from this build tree and checks what it installs
# and what it depends on.
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build_dir" && cpack -B "$work" >/dev/null)
deb=$(ls "$work"/kestrel-eval_*.deb)
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/kestrel-eval ./usr/share/applications/kestrel-eval.desktop \
            ./usr/share/icons/hicolor/scalable/apps/kestrel-eval.svg ./usr/share/man/man1/kestrel-eval.1 \
            ./usr/share/bash-completion/completions/kestrel-eval; do
    grep -q " $path\$" <<<"$contents" || { echo "missing from the package: $path"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6svg6 libieee1284-3 qt6-qpa-plugins; do
    grep -q "$dep" <<<"$depends" || { echo "package does not depend on $dep"; exit 1; }
done
grep -q '^Exec=kestrel-eval$' <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/kestrel-eval.desktop)
echo "package ok: $(basename "$deb")"
