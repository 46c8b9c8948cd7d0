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

# Every harness for FUZZ_SECONDS each (CI uses a short bound).
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = decode_fuzz package_fuzz roundtrip_fuzz
fuzz: deps
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

# The example payload packed with qwpack and run under Wine (scripts/demo.sh).
demo:
	@scripts/demo.sh

# qwpack and the launcher beside tar, zip, 7-Zip and NSIS on one generated
# payload (bench/peers.py); PEERS_MB=8 for a quick run. Not part of `test`.
.PHONY: peers
peers: host win64
	python3 bench/peers.py

clean:
	rm -rf build
