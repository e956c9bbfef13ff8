# brimsey: the two everyday commands are `make run` and `make test`; see README.md.
.PHONY: run test bench build deps fuzz install deb clean

# Where `make install` puts the game and libadnet (DESTDIR is honoured for packaging).
PREFIX ?= /usr/local
SHELL := /bin/bash

run:
	@scripts/run.sh

test:
	@scripts/test.sh

bench:
	@scripts/bench.sh

build: deps
	@scripts/build.sh build

deps:
	@scripts/install-deps.sh

fuzz: deps
	@scripts/fuzz.sh

install: build
	cmake --install build --prefix "$(PREFIX)" --strip

# Debian packages from build/ into build/deb/ (see "Packages" in README.md).
deb: build
	@scripts/deb.sh build

clean:
	rm -rf build
