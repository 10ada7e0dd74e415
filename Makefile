# SPDX-License-Identifier: GPL-3.0-or-later
# Two commands do all set-up on a fresh Debian 12 machine:
#   make run   installs what is missing, builds and starts Tarvelo
#   make test  installs what is missing, builds and runs every test
# `make bench` builds and runs the benchmarks (not part of `make test`) in a
# folder of their own, so that turning them on never sticks to build/.
# `make package` builds the Debian package tarvelo_<version>_<arch>.deb from
# debian/ with dpkg-buildpackage, as a distribution does, in a copy of the
# tree in a folder of its own, and checks it with lintian.

BUILD     ?= build
BENCH_BUILD ?= build-bench
PACKAGE_BUILD ?= build-package
JOBS      ?= $(shell nproc)
SUDO      := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Building and running: compiler, CMake, Qt 5 with its image plug-ins (JPEG,
# PNG and GIF are built in; TIFF and WebP come as plug-ins), and KDE's
# plug-ins for HEIF, AVIF, JPEG XL and camera RAW pictures.
# Exiv2 reads and writes metadata in the decoder, libjpeg-turbo writes JPEG, libtiff writes TIFF
# (and is the one Qt's TIFF plug-in reads with), libwebp writes WebP (its mux
# puts the metadata chunks in), zlib checks PNG chunks,
# libseccomp fences in the picture decoder, OpenJPEG decodes JPEG 2000,
# libheif reads the metadata items of HEIF and AVIF files, libpng the 16-bit
# PNGs with a transparent colour, QtSvg renders SVG logos in the decoder;
# Qt Linguist's lrelease (and its CMake functions) makes the translations.
BUILD_PACKAGES := g++ make cmake pkg-config qtbase5-dev qt5-image-formats-plugins kimageformat-plugins \
                  libexiv2-dev libturbojpeg0-dev libjpeg-dev libtiff-dev zlib1g-dev libseccomp-dev \
                  libopenjp2-7-dev libheif-dev libpng-dev libwebp-dev libqt5svg5-dev \
                  qttools5-dev qttools5-dev-tools
# Testing: the DejaVu fonts the pixel tests draw with, and a virtual X server
# with the tools the start-up smoke test uses (xwininfo, ImageMagick import),
# GNU parallel, which runs tarvelo-cli in shards, and the HEIF, AVIF and
# JPEG 2000 encoders that make the tests' phone and JPEG 2000 pictures, and
# the validators of the installed menu entry, metadata and manual pages.
TEST_PACKAGES  := fonts-dejavu-core xvfb xauth x11-utils imagemagick parallel libheif-examples libavif-bin \
                  libopenjp2-tools desktop-file-utils appstream man-db
# Packaging: dpkg-buildpackage and debhelper, which build the Debian package
# (debian/control names the packages above as its build dependencies), and
# lintian, which checks it.
DEB_PACKAGES := dpkg-dev debhelper
PACKAGE_PACKAGES := lintian
# Benchmarking: Google Benchmark, libvips and ImageMagick for comparison, and
# real photos.
BENCH_PACKAGES := libbenchmark-dev libvips-dev imagemagick lomiri-wallpapers-16.04 lomiri-wallpapers-20.04 mate-backgrounds

define install_missing
	@missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $$missing; \
	fi
endef

.PHONY: run test bench build deps test-deps bench-deps deb-deps package-deps install package clean \
        translations

deps:
	$(call install_missing,$(BUILD_PACKAGES))

test-deps:
	$(call install_missing,$(BUILD_PACKAGES) $(TEST_PACKAGES))

bench-deps:
	$(call install_missing,$(BUILD_PACKAGES) $(TEST_PACKAGES) $(BENCH_PACKAGES))

# What building the Debian package without its tests takes (the container
# recipe in docs/scale-out.md installs this).
deb-deps:
	$(call install_missing,$(BUILD_PACKAGES) $(DEB_PACKAGES))

package-deps:
	$(call install_missing,$(BUILD_PACKAGES) $(TEST_PACKAGES) $(DEB_PACKAGES) $(PACKAGE_PACKAGES))

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DTARVELO_BENCH=OFF -DTARVELO_TESTS=ON
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/tarvelo

test: test-deps build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

bench: bench-deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DTARVELO_BENCH=ON -DTARVELO_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	cmake --build $(BENCH_BUILD) --target run_benchmarks

# Builds what is installed, not the tests.
install: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DTARVELO_BENCH=OFF
	cmake --build $(BUILD) -j$(JOBS) --target installable
	cmake --install $(BUILD)

# dpkg-buildpackage puts what it makes beside the tree it builds, so it
# builds a copy of the clone's files as they are (what git tracks, and new
# files it does not ignore); the package lands in $(PACKAGE_BUILD)/. It
# builds, runs every test and packages, as a distribution's build does;
# `make package DEB_BUILD_OPTIONS=nocheck` leaves the tests out.
package: package-deps
	rm -rf $(PACKAGE_BUILD)
	mkdir -p $(PACKAGE_BUILD)/tarvelo
	git ls-files -z --cached --others --exclude-standard \
	  | tar --null --ignore-failed-read -T - -cf - | tar -xf - -C $(PACKAGE_BUILD)/tarvelo
	cd $(PACKAGE_BUILD)/tarvelo && dpkg-buildpackage -us -uc -b -J$(JOBS)
	lintian --fail-on error,warning $(PACKAGE_BUILD)/tarvelo_*.changes
	@echo "Install it with: sudo apt install ./$$(ls $(PACKAGE_BUILD)/tarvelo_*.deb)"

# Brings translations/*.ts up to date with the texts of the sources; then
# translate what Qt Linguist (linguist translations/tarvelo_de.ts) or an
# editor shows as unfinished.
translations: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DTARVELO_BENCH=OFF -DTARVELO_TESTS=ON
	cmake --build $(BUILD) --target translations

clean:
	rm -rf $(BUILD) $(BENCH_BUILD) $(PACKAGE_BUILD)
