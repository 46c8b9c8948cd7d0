# The newcomer's two commands: `make demo` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: deps host win32 win64 test unit demo clean

deps:
	@scripts/install-deps.sh

host: deps
	cmake --preset host >/dev/null
	cmake --build --preset host -j $(JOBS)

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

win64: deps
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS)

unit: host
	ctest --preset host -j $(JOBS)

test: host win32 win64
	ctest --preset host -j $(JOBS)

clean:
	rm -rf build
