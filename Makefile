# Thin wrapper around CMake: set-up, build, run and test in one command each.
BUILD_DIR   ?= build
BUILD_TYPE  ?= RelWithDebInfo
JOBS        ?= 2
SAN_DIR     ?= build-san
FUZZ_DIR    ?= build-fuzz
FUZZ_SECONDS ?= 60
# Run as root, the suite runs as this user so that permission bits apply (root for none).
TEST_USER   ?= nobody

BUILD_PKGS := cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libqt6test6 zlib1g-dev libssl-dev \
              libglib2.0-dev libxcb1-dev libxcb-ewmh-dev libbenchmark-dev desktop-file-utils shared-mime-info \
              qt6-svg-dev libisal-dev
RUN_PKGS   := fonts-noto-cjk qt6-translations-l10n
# Real FAT32 and exFAT images for the stick tests (mounted through FUSE where the suite runs as root).
TEST_PKGS  := qt6-translations-l10n dosfstools exfatprogs fusefat exfat-fuse fuse3
BENCH_PKGS := gpg openssl gzip pigz time linux-perf
# What `make portable` copies into the bundle beyond the build's own libraries, and the tools it uses.
PORTABLE_PKGS := qt6-translations-l10n patchelf binutils qt6-qpa-plugins qt6-wayland qt6-xdgdesktopportal-platformtheme
DIST_DIR    ?= dist
FUZZ_PKGS  := clang libclang-rt-14-dev libfuzzer-14-dev

CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

.PHONY: all deps run-deps bench-deps fuzz-deps configure build run test bench sanitize fuzz fuzz-seeds format clean portable

all: build

deps:
	@tools/install-deps.sh $(BUILD_PKGS)

run-deps: deps
	@tools/install-deps.sh $(RUN_PKGS)

bench-deps: deps
	@tools/install-deps.sh $(BENCH_PKGS)

fuzz-deps: deps
	@tools/install-deps.sh $(FUZZ_PKGS)

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

configure: deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: run-deps build
	$(BUILD_DIR)/portable/korimbo-portable

test: build
	@tools/install-deps.sh $(TEST_PKGS)
	TEST_USER=$(TEST_USER) tools/run-tests.sh $(BUILD_DIR) -j $(JOBS)

bench: bench-deps
	cmake -S . -B $(BUILD_DIR)-bench $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release -DKORIMBO_BENCH=ON
	cmake --build $(BUILD_DIR)-bench -j $(JOBS)
	$(BUILD_DIR)-bench/bench/korimbo-bench
	$(BUILD_DIR)-bench/bench/korimbo-bench-search
	$(BUILD_DIR)-bench/bench/korimbo-bench-scan
	bench/compare.sh $(BUILD_DIR)-bench/korimbo-cli
	bench/compare-encrypt-in.sh $(BUILD_DIR)-bench/bench/korimbo-bench-encrypt-in 10000 300
	$(BUILD_DIR)-bench/bench/korimbo-bench-backup
	bench/compare-bulk.sh $(BUILD_DIR)-bench/bench/korimbo-bench-bulk
	bench/peak-memory.sh $(BUILD_DIR)-bench/korimbo-cli

# ASan + UBSan build of everything, then the whole suite.
sanitize: deps
	cmake -S . -B $(SAN_DIR) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DKORIMBO_SANITIZE=ON
	cmake --build $(SAN_DIR) -j $(JOBS)
	TEST_USER=$(TEST_USER) tools/run-tests.sh $(SAN_DIR) -j $(JOBS)

# A self-contained folder for any Linux desktop (glibc and the X/Wayland client libraries from the host),
# and a .tar.gz of it: $(DIST_DIR)/korimbo-portable/.
portable: build
	@tools/install-deps.sh $(PORTABLE_PKGS)
	nice tools/make-portable.sh $(BUILD_DIR) . $(DIST_DIR)

# libFuzzer targets built with clang in their own folder, each run FUZZ_SECONDS on a scratch copy of its
# corpus (fuzz/corpus/<target> stays as it is; a crash input is left in $(FUZZ_DIR)/findings).
fuzz: fuzz-deps
	tools/run-fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS) $(JOBS)

# Writes fresh seed corpora made by the program into $(BUILD_DIR)/fuzz-seeds (to compare or copy over).
fuzz-seeds: build
	rm -rf $(BUILD_DIR)/fuzz-seeds
	$(BUILD_DIR)/fuzz/korimbo-fuzz-seeds $(BUILD_DIR)/fuzz-seeds

format:
	find src tests tools bench fuzz \( -name '*.cpp' -o -name '*.h' \) | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(BUILD_DIR)-bench $(SAN_DIR) $(DIST_DIR) $(FUZZ_DIR)
