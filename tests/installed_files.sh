#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# What `make install` puts in place beside the programs, installed into a
# folder of its own and checked with the tools a distribution checks them
# with: the menu entry, the software centre's metadata, the manual pages and
# the bash completion.
# Usage: installed_files.sh path/to/build
set -eu
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$root/usr" >/dev/null
share=$root/usr/share
for file in bin/tarvelo bin/tarvelo-cli libexec/tarvelo/tarvelo-decoder \
    share/man/man1/tarvelo.1.gz share/man/man1/tarvelo-cli.1.gz \
    share/applications/tarvelo.desktop share/icons/hicolor/256x256/apps/tarvelo.png \
    share/metainfo/com.dovrinhalsek.tarvelo.metainfo.xml \
    share/bash-completion/completions/tarvelo-cli share/tarvelo/translations/tarvelo_de.qm; do
    [ -s "$root/usr/$file" ] || fail "$file is not installed"
done

desktop-file-validate "$share/applications/tarvelo.desktop" || fail "the desktop file is invalid"
appstreamcli validate --no-net "$share/metainfo/com.dovrinhalsek.tarvelo.metainfo.xml" >"$root/log" 2>&1 \
    || { cat "$root/log"; fail "the metainfo is invalid"; }

# groff's warnings, as lintian asks for them; the page's options are the
# program's. Its --version states the licence.
for page in tarvelo tarvelo-cli; do
    "$root/usr/bin/$page" --version | grep -q '^License GPL-3.0-or-later: ' || fail "$page --version states no licence"
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page(1): $warnings"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$share/man/man1/$page.1.gz" 2>/dev/null)
    for option in $("$root/usr/bin/$page" --help | grep -o -- '^  -[^ ]*, --[a-z-]*\|^  --[a-z-]*' | grep -o -- '--[a-z-]*'); do
        printf '%s\n' "$text" | grep -q -- "$option" || fail "$page(1) does not name $option"
    done
done
# The manual's SETTINGS come from the same table as --list-settings.
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$share/man/man1/tarvelo-cli.1.gz" 2>/dev/null |
    sed -n '/^SETTINGS/,/^FILES/p')
for key in $(XDG_CONFIG_HOME=$root "$root/usr/bin/tarvelo-cli" --list-settings | cut -f1); do
    printf '%s\n' "$text" | grep -q "^ *$key (" || fail "tarvelo-cli(1) does not name the setting $key"
done
echo "installed files are valid"
