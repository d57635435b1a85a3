# Entry points for a fresh Debian machine: `make test` installs what is
# needed, builds every preset and runs every test suite.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: deps test build test-host test-win64 bench demo fuzz clean

deps:
	scripts/install-deps

build: deps
	for p in host win64 win32; do \
	  cmake --preset $$p >/dev/null && cmake --build --preset $$p -j $(JOBS) || exit 1; \
	done

test: build
	# Every C++ file as .clang-format has it.
	scripts/check-format
	ctest --preset host -j $(JOBS)
	# Under Wine a test program that fails is run once more: a window test can
	# lose a race with Wine's own start-up on a loaded machine. A real fault
	# fails both times.
	status=0; ctest --preset win64 -j $(JOBS) --repeat until-pass:2 || status=$$?; \
	  scripts/wine-run build/win64/wineprefix --stop; exit $$status
	# Each reader's fuzz target over its seeds and a few seconds of new inputs.
	JOBS=$(JOBS) scripts/fuzz --smoke --seconds 3 --parallel 4

# Only the benchmark programs and what they link are built, optimised;
# the test suite stays out of this build. The wizard's bench runs the
# 64-bit programs that `make demo` runs.
bench: deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS) --target pak_bench side_by_side layout_bench wav_bench install_bench
	build/bench/bench/pak_bench
	build/bench/bench/layout_bench
	cd build/bench && bench/wav_bench
	cd build/bench && bench/install_bench
	cd build/bench && bench/side_by_side
	# The wizard's cost, with the 64-bit programs under Wine.
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS) --target kit demo_road finaliser_stub
	scripts/wizard-bench

# The whole road under Wine on a virtual display: Torvane builds an installer
# from the sample project through its window, the installer and uninstaller
# go through their pages (a PNG of each in build/demo/), a silent install and
# uninstall are shown, and Vessok packs the sample mod (scripts/demo).
demo: deps
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS) --target kit demo_road finaliser_stub
	scripts/demo

# Each reader's fuzz target for FUZZ_SECONDS (FUZZ_PARALLEL side by side);
# the first crash stops the run and its reproducer's path is printed.
FUZZ_SECONDS ?= 60
FUZZ_PARALLEL ?= 1
fuzz: deps
	JOBS=$(JOBS) scripts/fuzz --seconds $(FUZZ_SECONDS) --parallel $(FUZZ_PARALLEL)

clean:
	rm -rf build
