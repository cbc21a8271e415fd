#!/usr/bin/env bash
# Installs what Quenvale needs to build, run and test on Debian 12. Run as root.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  cmake ninja-build g++ pkg-config ccache \
  qt6-base-dev libqt6sql6-sqlite libsqlite3-dev libsodium-dev mdbtools-dev \
  fonts-noto-cjk xvfb xauth locales poppler-utils \
  libreoffice-calc-nogui python3-xlrd >/dev/null
# A locale with a decimal comma, for the tests that must not depend on the locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  locale-gen >/dev/null
fi
