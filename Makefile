# The project's commands. `make demo` installs what building loomhost needs, builds the
# program and its plug-ins and renders the gallery into out/; `make test` installs the
# rest (test libraries, browser, clang, peers), builds everything and runs every test. Each build folder is made from
# a preset of CMakePresets.json (dev, release, asan, tsan, fuzz).
BUILD ?= build
PRESET ?= dev
JOBS ?= $(shell nproc)
# Further cmake options for the configuration, after the preset's.
CMAKE_FLAGS ?=
# Options every configuration gets (CI passes -DLOOM_WERROR=ON).
LOOM_CMAKE_EXTRA ?=

.PHONY: all deps deps-build build test demo asan tsan release bench fuzz format check-format check-layers clean \
	install deb addon

all: build

deps:
	@scripts/install-deps.sh all

deps-build:
	@scripts/install-deps.sh build

$(BUILD)/build.ninja:
	cmake --preset $(PRESET) -B $(BUILD) $(CMAKE_FLAGS) $(LOOM_CMAKE_EXTRA)

# A build folder configured before the test libraries were installed (by make demo) is
# configured again, so that it finds them.
build: deps $(BUILD)/build.ninja
	@[ -d $(BUILD)/tests ] || cmake -S . -B $(BUILD)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

demo: deps-build $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target loom_program
	BUILD=$(BUILD) scripts/demo.sh

asan:
	LSAN_OPTIONS=suppressions=$(CURDIR)/tools/sanitizers/lsan.supp:print_suppressions=0 \
	  $(MAKE) test BUILD=build-asan PRESET=asan

# An optimised build of everything, as users make it: catches warnings that only
# appear with inlining at -O3.
release:
	$(MAKE) build BUILD=build-release PRESET=release

tsan: deps
	scripts/tsan.sh build-tsan

bench: build
	scripts/bench.sh $(BUILD)

fuzz: deps
	cmake --preset fuzz -B build-fuzz $(LOOM_CMAKE_EXTRA)
	cmake --build build-fuzz -j $(JOBS) --target rc_fuzz scene_fuzz web_fuzz image_fuzz stereo_fuzz mpo_fuzz \
	  manifest_fuzz video_fuzz http_fuzz make_scene_seed
	scripts/fuzz.sh build-fuzz $${FUZZ_SECONDS:-30}

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

check-format:
	scripts/check-format.sh

check-layers:
	scripts/check-layers.py

# `make install PREFIX=DIR` installs the program, its plug-ins and the SDK under DIR
# (relocatable); DESTDIR stages it as packagers do.
PREFIX ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package: build-deb/loomwork_*.deb, from an optimised build of what the package
# holds (no tests, benchmarks or their toolchain: the package profile of install-deps.sh).
deb:
	@scripts/install-deps.sh package
	cmake --preset release -B build-deb -DLOOM_BUILD_BENCH=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
	  $(CMAKE_FLAGS) $(LOOM_CMAKE_EXTRA)
	cmake --build build-deb -j $(JOBS)
	cd build-deb && cpack -G DEB

# The Blender add-on as a zip for Preferences > Add-ons > Install: $(BUILD)/blender/loomwork_blender.zip
addon: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target blender_addon

clean:
	rm -rf build build-asan build-tsan build-fuzz build-release build-deb out
