# The project's commands. `make demo` installs what is missing, builds and renders the
# gallery into out/; `make test` builds and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Options every configuration gets (CI passes -DLOOM_WERROR=ON).
LOOM_CMAKE_EXTRA ?=

.PHONY: all deps build test demo asan tsan release bench fuzz format clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) $(LOOM_CMAKE_EXTRA)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	BUILD=$(BUILD) scripts/demo.sh

asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DLOOM_SANITIZE=address,undefined -DLOOM_BUILD_BENCH=OFF"

# An optimised build of everything, as users make it: catches warnings that only
# appear with inlining at -O3.
release:
	$(MAKE) build BUILD=build-release CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Release"

tsan: deps
	scripts/tsan.sh build-tsan

bench: build
	scripts/bench.sh $(BUILD)

fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLOOM_BUILD_FUZZ=ON \
	  -DLOOM_BUILD_BENCH=OFF $(LOOM_CMAKE_EXTRA)
	cmake --build build-fuzz -j $(JOBS) --target rc_fuzz scene_fuzz web_fuzz image_fuzz stereo_fuzz make_scene_seed
	scripts/fuzz.sh build-fuzz $${FUZZ_SECONDS:-30}

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-tsan build-fuzz build-release out
