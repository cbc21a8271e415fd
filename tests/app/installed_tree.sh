#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks what lands there; then starts the
# installed program from its menu entry under Xvfb with an empty HOME, answers the first-start
# question from the keyboard, and starts it a second time.
set -euo pipefail

if [[ ${1:-} == --gui ]]; then
    work=$2
    root=$work/root/usr
    book=$HOME/.local/share/Quenvale/data.mdb
    command=$(sed -n 's/^Exec=//p' "$root/share/applications/quenvale.desktop")
    pid=
    trap '[[ -n $pid ]] && kill $pid 2>/dev/null; true' EXIT
    wait_for() { # window name pattern
        timeout 60 xdotool search --sync --onlyvisible --name "$1" | head -n 1
    }
    admins() {
        python3 -c 'import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute(
    "select count(*) from userdb where username = ?", ("超级管理员",)).fetchone()[0])' "$book"
    }

    PATH=$root/bin:$PATH $command &
    pid=$!
    wait_for '^Quenvale$' >/dev/null || { echo "no first-start question"; exit 1; }
    [[ ! -e $book ]] || { echo "book made before the answer"; exit 1; }
    # The question's preselected button creates an empty book. Its window may be re-made
    # while it settles, so it is looked up again just before the key goes to it.
    sleep 1
    xdotool search --onlyvisible --name '^Quenvale$' windowfocus --sync
    xdotool key Return
    wait_for '^用户登录$' >/dev/null || { echo "no login window after creating"; exit 1; }
    [[ $(admins) == 1 ]] || { echo "no administrator in $book"; exit 1; }
    kill $pid; wait $pid 2>/dev/null || true
    before=$(stat -c '%i %s %Y' "$book")

    PATH=$root/bin:$PATH $command &
    pid=$!
    wait_for '^用户登录$' >/dev/null || { echo "second start shows no login window"; exit 1; }
    if xdotool search --onlyvisible --name '^Quenvale$' >/dev/null; then
        echo "second start asked again"; exit 1
    fi
    [[ $(stat -c '%i %s %Y' "$book") == "$before" ]] || { echo "book replaced"; exit 1; }
    echo "installed program: created $book, found it again"
    exit 0
fi

build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
DESTDIR=$work/root cmake --install "$build" --prefix /usr >/dev/null
root=$work/root/usr

expected="usr/bin/quenvale
usr/bin/quenvale_mkdb
usr/share/applications/quenvale.desktop"
for size in 16 24 32 48 64 128 256; do
    expected+=$'\n'"usr/share/icons/hicolor/${size}x${size}/apps/quenvale.png"
done
expected+="
usr/share/metainfo/com.example.quenvale.metainfo.xml
usr/share/quenvale/data.mdb
usr/share/doc/quenvale/copyright
usr/share/doc/quenvale/changelog.gz
usr/share/doc/quenvale/用户手册.md
usr/share/man/man1/quenvale.1.gz
usr/share/man/man1/quenvale_mkdb.1.gz
usr/share/man/zh_CN/man1/quenvale.1.gz
usr/share/man/zh_CN/man1/quenvale_mkdb.1.gz"
source=$(cd "$(dirname "$0")/../.." && pwd)
for picture in "$source"/docs/guide/*.png; do
    expected+=$'\n'"usr/share/doc/quenvale/guide/${picture##*/}"
done
actual=$(cd "$work/root" && find . -type f -printf '%P\n' | LC_ALL=C sort)
if [[ $actual != "$(LC_ALL=C sort <<<"$expected")" ]]; then
    echo "installed files differ:"; diff <(LC_ALL=C sort <<<"$expected") <(echo "$actual") || true
    exit 1
fi
[[ -x $root/bin/quenvale && $(head -c 15 "$root/share/quenvale/data.mdb") == "SQLite format 3" ]] ||
    { echo "no program or no book template"; exit 1; }
# The manual pages read without a complaint from groff, and the help needs no display.
for page in "$root"/share/man/man1/*.1.gz "$root"/share/man/zh_CN/man1/*.1.gz; do
    command -v man >/dev/null || break
    complaints=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [[ -z $complaints ]] || { echo "$page: $complaints"; exit 1; }
done
env -u DISPLAY -u QT_QPA_PLATFORM "$root/bin/quenvale" --help | grep -q -- '--book <conninfo>' ||
    { echo "installed quenvale --help lacks --book"; exit 1; }
command -v desktop-file-validate >/dev/null || { echo "SKIP: desktop-file-validate missing"; exit 77; }
desktop-file-validate "$root/share/applications/quenvale.desktop"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$root/share/metainfo/com.example.quenvale.metainfo.xml"
fi

for tool in xvfb-run xdotool python3; do
    command -v $tool >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
mkdir "$work/home"
env -i PATH="$PATH" HOME="$work/home" LANG=C.UTF-8 \
    xvfb-run -a -s '-screen 0 1280x1024x24' bash "$0" --gui "$work"
