#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# What a distribution relies on in the source tree:
# - every source file of the project, those added later included, names its
#   licence in an SPDX line at its top (after a shebang or an XML
#   declaration);
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
# Every file but pictures, documents and test data; its first line after a
# shebang or an XML declaration.
unnamed=$(find src tests bench dist translations .ci debian/rules debian/control CMakeLists.txt Makefile -type f \
        ! -path 'tests/data/*' ! -name '*.png' ! -name '*.md' -exec awk -v spdx="$spdx" '
    FNR == 1 && /^(#!|<\?xml )/ { next }
    !seen[FILENAME]++ && $0 !~ ("^(// |# |<!-- )" spdx "( -->)?$") { print FILENAME }' {} +)
[ -z "$unnamed" ] || fail "no \"$spdx\" line at the top of:" $unnamed

words() { tr -s ' \t\\' '\n' | sed '/^$/d' | sort -u; }
list() { make -s --no-print-directory --eval 'print-%: ; @echo $($*)' "print-$1" | words; }
# What is in $1 and not in $2, each a list of words.
minus() { printf '%s\n' "$1" | grep -vxF -e "$(printf '%s\n' "$2")" || true; }
depends=$(awk '/^Build-Depends:/ { f = 1; sub(/^[^:]*:/, "") } /^[^ \t]/ && !/^Build-Depends:/ { f = 0 } f' debian/control | tr ',' '\n')
build=$(printf '%s\n' "$depends" | grep -v '<!nocheck>' | sed 's/(.*//; s/-compat//' | words)
# Every Debian build has the compiler and make (build-essential), which
# Debian's packages do not name.
[ "$build" = "$( (minus "$(list BUILD_PACKAGES)" "$(echo g++ make | words)"; echo debhelper) | words)" ] \
    || fail "debian/control's Build-Depends are not the Makefile's BUILD_PACKAGES:" $build
[ "$(printf '%s\n' "$depends" | grep '<!nocheck>' | sed 's/<.*//' | words)" = "$(list TEST_PACKAGES)" ] \
    || fail "debian/control's <!nocheck> Build-Depends are not the Makefile's TEST_PACKAGES"

# The recipe's build stage takes its packages from the Makefile (make
# deb-deps), which must install all that a package build without its tests
# takes; its runtime stage installs the package built.
recipe=$(awk '/^```Dockerfile$/ { f = 1; next } /^```$/ { f = 0 } f' docs/scale-out.md | sed -e ':a' -e '/\\$/N; s/\\\n/ /; ta')
printf '%s\n' "$recipe" | grep -Eq '^RUN make deb-deps +&& DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage .*-Pnocheck' \
    && printf '%s\n' "$recipe" | grep -q '^RUN apt-get .*install .*/tmp/tarvelo_\*\.deb' \
    || fail "the container recipe does not build the package with make deb-deps, or does not install it"
missing=$(minus "$(printf '%s\n' "$build" dpkg-dev | words)" "$(make -n deb-deps | sed -n 's/.*for p in \([^;]*\);.*/\1/p' | words)")
[ -z "$missing" ] || fail "make deb-deps does not install" $missing
