#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test kestrel-eval.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6
  libqt6sql6-sqlite libqt6sql6-psql postgresql
  libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  sigrok-cli libzip-dev zlib1g-dev
  clang libfuzzer-14-dev libclang-rt-14-dev
  xvfb xauth imagemagick openbox
  lintian
  python3-junitparser
  python3-pyvisa python3-pyvisa-py
  locales
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}"

# The locale tests read and write numbers under a German locale (a decimal
# comma): generate it when the system has not.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  $SUDO localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
