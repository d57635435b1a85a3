# Entry points for a fresh Debian machine: `make test` installs what is
# needed, builds every preset and runs every test suite.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: deps test build test-host test-win64 bench demo clean

deps:
	scripts/install-deps

build: deps
	for p in host win64 win32; do \
	  cmake --preset $$p >/dev/null && cmake --build --preset $$p -j $(JOBS) || exit 1; \
	done

test: build
	ctest --preset host -j $(JOBS)
	# Under Wine a test program that fails is run once more: a window test can
	# lose a race with Wine's own start-up on a loaded machine. A real fault
	# fails both times.
	status=0; ctest --preset win64 -j $(JOBS) --repeat until-pass:2 || status=$$?; \
	  scripts/wine-run build/win64/wineprefix --stop; exit $$status

# Only the benchmark programs and what they link are built, optimised;
# the test suite stays out of this build.
bench: deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS) --target pak_bench side_by_side
	build/bench/bench/pak_bench
	cd build/bench && bench/side_by_side

# Packs the sample mod with Vessok under Wine and shows the archive's
# information (piped, so it prints plain lines and does not wait for a key).
DEMO_ARCHIVE := build/demo/sample-mod.qxp
VESSOK := scripts/wine-run $(CURDIR)/build/win64/wineprefix build/win64/packer/Vessok.exe
demo: deps
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS) --target Vessok
	mkdir -p build/demo
	set -o pipefail; $(VESSOK) -filename $(DEMO_ARCHIVE) -make examples/sample-mod -nowait | cat
	set -o pipefail; $(VESSOK) -filename $(DEMO_ARCHIVE) | cat
	@ls -l $(DEMO_ARCHIVE)

clean:
	rm -rf build
