#!/usr/bin/env bash
# Installs what Quenvale needs on Debian 12. Run as root.
#   tools/install-deps.sh           to build, package and run the program
#   tools/install-deps.sh --tests   that, and what the tests need besides
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
with_tests=false
[[ ${1:-} == --tests ]] && with_tests=true

packages=(
  cmake ninja-build g++ pkg-config ccache dpkg-dev python3
  qt6-base-dev qt6-qpa-plugins libqt6sql6-sqlite libsqlite3-dev libsodium-dev mdbtools-dev
  libqt6sql6-psql libpq-dev
  fonts-noto-cjk qt6-translations-l10n
  qt6-charts-dev libqt6opengl6-dev libxlsxwriter-dev
  libzip-dev
)
# The tests and checks: a display and keyboard, readers for the printed and exported files, a locale
# with a decimal comma, checkers for the installed tree and Debian's package checker.
test_packages=(
  xvfb xauth xdotool locales poppler-utils libreoffice-calc-nogui python3-xlrd
  desktop-file-utils appstream libglib2.0-bin python3-openpyxl clang-format
  postgresql lintian
)
$with_tests && packages+=("${test_packages[@]}")

apt-get update -qq
apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null

if $with_tests && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  locale-gen >/dev/null
fi
