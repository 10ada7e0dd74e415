#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# What a distribution relies on in the source tree:
# - every source file of the project, those added later included, names its
#   licence in an SPDX line at its top (after a shebang or an XML
#   declaration), and COPYING holds the licence's text;
# - the Makefile's lists are the one place that names the packages the build
#   and the tests need: debian/control's build dependencies are those lists,
#   and the container recipe in docs/scale-out.md installs, in its build
#   stage, all that building the package takes (taking the lists from the
#   Makefile), and the package itself in its runtime stage.
# Usage: distribution.sh SOURCE_DIR
set -eu
cd "$1"
# The makes run here are not part of a build that may have started this test.
unset MAKEFLAGS MFLAGS MAKELEVEL
fail() { printf 'FAIL: %s\n' "$*"; exit 1; }

spdx='SPDX-License-Identifier: GPL-3.0-or-later'
# Every file but pictures, documents and test data.
unnamed=$(find src tests bench dist .ci debian/rules debian/control CMakeLists.txt Makefile \
        -type f ! -path 'tests/data/*' ! -name '*.png' ! -name '*.md' |
    while read -r file; do
        sed -n '1{/^#!/d;/^<?xml /d;};p' "$file" | head -n 1 |
            grep -Eqx "(// |# |<!-- )$spdx( -->)?" || echo "$file"
    done)
[ -z "$unnamed" ] || fail "no \"$spdx\" line at the top of:" $unnamed
head -n 2 COPYING | grep -q 'Version 3, 29 June 2007' || fail "COPYING is not the GPL-3"

words() { tr -s ' \t\\' '\n' | sed '/^$/d; /^-/d' | sort -u; }
list() { make -s --no-print-directory --eval 'print-%: ; @echo $($*)' "print-$1" | words; }
# What is in $1 and not in $2, each a list of words.
minus() { printf '%s\n' "$1" | grep -vxF -e "$(printf '%s\n' "$2")" || true; }
# Every Debian build has the compiler and make (build-essential), which
# Debian's packages do not name.
essential=$(echo g++ make | words)
depends=$(awk '/^Build-Depends:/ { f = 1; sub(/^[^:]*:/, ""); print; next }
               f && /^[ \t]/ { print; next } { f = 0 }' debian/control | tr ',' '\n')
build=$(printf '%s\n' "$depends" | grep -v '<!nocheck>' | sed 's/(.*//; s/-compat//' | words)
tests=$(printf '%s\n' "$depends" | grep '<!nocheck>' | sed 's/<.*//' | words)
[ "$build" = "$( (minus "$(list BUILD_PACKAGES)" "$essential"; echo debhelper) | words)" ] \
    || fail "debian/control's Build-Depends are not the Makefile's BUILD_PACKAGES:" $build
[ "$tests" = "$(list TEST_PACKAGES)" ] \
    || fail "debian/control's <!nocheck> Build-Depends are not the Makefile's TEST_PACKAGES:" $tests

# The recipe's stages, continued lines joined.
stage() {
    awk '/^```Dockerfile$/ { f = 1; next } /^```$/ { f = 0 } f' docs/scale-out.md |
        sed -e ':a' -e '/\\$/N; s/\\\n/ /; ta' | awk -v n="$1" '/^FROM / { s++ } s == n'
}
# What the build stage installs: the packages it names, and those of the
# Makefile's targets it makes.
installed=$(stage 1 | grep -o 'apt-get install[^&;]*' | sed 's/apt-get install//' | words)
for target in $(stage 1 | grep -o '\(RUN\|&&\|;\) *make [a-z][a-z-]*' | sed 's/.*make //'); do
    installed=$(printf '%s\n' "$installed" "$(make -n "$target" | sed -n 's/.*for p in \([^;]*\);.*/\1/p')" | words)
done
needed=$(printf '%s\n' "$build" "$essential" dpkg-dev | words)
stage 1 | grep -q 'nocheck' || needed=$(printf '%s\n' "$needed" "$tests" | words)
missing=$(minus "$needed" "$installed")
[ -z "$missing" ] || fail "the container recipe's build stage does not install" $missing
stage 1 | grep -q 'dpkg-buildpackage' && stage 2 | grep -q 'apt-get install .*tarvelo_.*\.deb' \
    || fail "the container recipe does not install the package it builds"
echo "every source file names its licence; the package lists agree"
