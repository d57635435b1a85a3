# Entry points for a fresh Debian machine: `make test` installs what is
# needed, builds every preset and runs every test suite.
SHELL := /bin/bash
JOBS ?= $(shell nproc)

.PHONY: deps test build test-host test-win64 bench clean

deps:
	scripts/install-deps

build: deps
	for p in host win64 win32; do \
	  cmake --preset $$p >/dev/null && cmake --build --preset $$p -j $(JOBS) || exit 1; \
	done

test: build
	ctest --preset host -j $(JOBS)
	status=0; ctest --preset win64 -j $(JOBS) || status=$$?; \
	  scripts/wine-run build/win64/wineprefix --stop; exit $$status

bench: deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	build/bench/bench/pak_bench

clean:
	rm -rf build
