# The newcomer's two commands: `make demo` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: deps host host-asan fuzz win32 win64 test unit demo clean

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

host-asan: deps
	cmake --preset host-asan >/dev/null
	cmake --build --preset host-asan -j $(JOBS)

# Every harness for FUZZ_SECONDS each (CI uses a short bound). The built
# launchers seed the image and package harnesses.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = decode_fuzz package_fuzz roundtrip_fuzz launcher_image_fuzz resource_fuzz lzma_decode_fuzz volume_set_fuzz
fuzz: deps win32 win64
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	scripts/run-fuzzers.sh $(FUZZ_SECONDS)

unit: host
	ctest --preset host -j $(JOBS)

test: host host-asan win32 win64
	ctest --preset host -j $(JOBS)
	ctest --preset host-asan -j $(JOBS)
	$(MAKE) fuzz FUZZ_SECONDS=$(or $(CI_FUZZ_SECONDS),20)
	scripts/wine-tests.sh
	$(MAKE) test-packages

# The shipped 32-bit launcher's bytes by the source folder they come from,
# read off its linker map.
.PHONY: launcher-size
launcher-size: win32
	@python3 cmake/build/launcher_size.py build/win32/launcher/app/launcher.map build/win32/launcher.exe \
		build/win32/launcher/app build/win32

# The example payload packed with qwpack and run under Wine (scripts/demo.sh).
demo:
	@scripts/demo.sh

# qwpack and the launcher beside tar, zip, 7-Zip and NSIS on one generated
# payload (bench/peers.py); PEERS_MB=8 for a quick run. Not part of `test`.
.PHONY: peers
peers: host win64
	python3 bench/peers.py

# The same on a real payload found on the machine (Wine's own DLLs), only
# the rows the method-2 goals compare: a long run (about an hour on 2 cores).
.PHONY: peers-real
peers-real: host win64
	python3 bench/peers.py --real --goals-only

# qwpack as publishers install it: build/qwpack_<version>_amd64.deb (CPack,
# Depends from dpkg-shlibdeps) and build/qwpack-<version>-windows-x64.zip
# (qwpack.exe beside both launchers). Both targets are phony.
.PHONY: package dist-windows
package: host win32 win64
	rm -rf build/host/cpack
	cd build/host && cpack -G DEB -B cpack >/dev/null
	rm -f build/qwpack_*.deb
	cp build/host/cpack/qwpack_*.deb build/
	@ls build/qwpack_*.deb

dist-windows: win32 win64
	rm -rf build/win64/cpack
	cd build/win64 && cpack -G ZIP -B cpack >/dev/null
	rm -f build/qwpack-*-windows-x64.zip
	cp build/win64/cpack/qwpack-*-windows-x64.zip build/
	@ls build/qwpack-*-windows-x64.zip

# The packages as publishers get them: the Debian package unpacked and used,
# qwpack.exe from the zip under Wine beside the Linux qwpack, and the CMake
# package making the example publisher project's launchers.
.PHONY: test-packages
test-packages: package dist-windows
	PYTHONDONTWRITEBYTECODE=1 python3 tests/cli/debian_package_test.py build/qwpack_*_amd64.deb
	PYTHONDONTWRITEBYTECODE=1 scripts/wine-session.sh python3 tests/wine/qwpack_exe_test.py \
		build/qwpack-*-windows-x64.zip
	PYTHONDONTWRITEBYTECODE=1 scripts/wine-session.sh python3 tests/cmake/cmake_package_test.py \
		build/qwpack_*_amd64.deb build/qwpack-*-windows-x64.zip

clean:
	rm -rf build
