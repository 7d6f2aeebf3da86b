# One-command entry points: `make demo` runs the demo, `make test` runs every test
# (the unit tests, then the sanitizer, leak, fuzzing, oldest/newest-CPython,
# reproducibility, aarch64 and wheel checks); `make quick-test` runs only the unit tests,
# for the edit-build-test loop. Each target sets up what it runs on a fresh
# machine: `make demo` a virtual environment with the build tools and the
# extension; the tests GoogleTest and MPFR from Debian and their Python packages
# as well.

PYTHON ?= python3
# pyenv's interpreters serve the every-CPython checks; a non-interactive shell
# may not have pyenv on its PATH.
export PATH := $(PATH):$(HOME)/.pyenv/bin
VENV ?= .venv
VPY := $(VENV)/bin/python
# The Release build behind .venv's extension. The test targets add the C++
# tests to it, so that both link the same core objects.
BUILD ?= build/release
JOBS ?= 2
export CMAKE_BUILD_PARALLEL_LEVEL := $(JOBS)

# What building the extension needs: all that `make demo` installs.
BUILD_TOOLS = "scikit-build-core>=0.11" cmake ninja
# What the tests and the examples import besides pymorvel: mypy for the stubs
# (2.4 needs Python 3.10 or newer), mpmath for the fuzzer's exact exp and log.
TEST_PACKAGES = pytest numpy scipy "mypy==2.4.1" matplotlib joblib "dask[array]" distributed mpmath

.PHONY: test quick-test ci-hardening ci-pythons reproducible-build demo pictures bench system-deps venv extension install test-build cpp-test py-test fma-check test-exact-math clean

test: quick-test ci-hardening

quick-test: cpp-test fma-check py-test

# The hardening checks that fit in a CI run (see tools/hardening.mk for all).
ci-hardening: sanitize-cpp tsan-cpp sanitize-py leak-test fuzz fuzz-asan ci-pythons reproducible-build aarch64-test wheel-test wheel-aarch64

# The oldest and the newest CPython that pyenv offers, when it offers any.
ci-pythons:
	@if command -v pyenv >/dev/null; then \
	  versions=$$(pyenv versions --bare | grep -E '^3\.(9|[1-9][0-9])\.[0-9]+$$' | sort -V); \
	  PYTHONS="$$(echo "$$versions" | head -n 1) $$(echo "$$versions" | tail -n 1)" JOBS=$(JOBS) tools/test_all_pythons.sh; \
	else echo "pyenv not found: only $(PYTHON) was tested"; fi

demo: extension
	$(VPY) examples/franke_demo.py

# The README's figures (matplotlib and Dask are optional dependencies of the examples).
pictures: install
	$(VPY) examples/franke_pictures.py --out docs
	$(VPY) examples/dask_grid.py --out docs
	$(VPY) examples/smoothing_and_gradient.py --out docs
	$(VPY) examples/epsilon_selection_picture.py --out docs

bench: extension
	$(VPY) -m pip install -q scipy numpy matplotlib threadpoolctl
	PATH="$(abspath $(VENV))/bin:$$PATH" cmake -S . -B build/bench -G Ninja \
	  -DPYMORVEL_BUILD_EXTENSION=OFF -DPYMORVEL_BUILD_BENCHMARKS=ON
	PATH="$(abspath $(VENV))/bin:$$PATH" cmake --build build/bench -j $(JOBS) --target lu_bench tile_peak
	$(VPY) benchmarks/run.py --lu-bench build/bench/lu_bench $(BENCH_ARGS)
	$(VPY) benchmarks/numpy_io.py
	$(VPY) benchmarks/epsilon_selection_accuracy.py
	$(VPY) benchmarks/epsilon_selection_speed.py --repeats 2
	$(VPY) benchmarks/oversubscribed.py

# GoogleTest, and MPFR for the exact values that exp and log are held to, come
# from Debian; install them only when they are missing.
system-deps:
	@missing=""; \
	[ -f /usr/include/gtest/gtest.h ] || missing="$$missing libgtest-dev"; \
	[ -f /usr/include/mpfr.h ] || missing="$$missing libmpfr-dev"; \
	if [ -n "$$missing" ]; then \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && $$SUDO apt-get install -y -qq $$missing; \
	fi

# Each set of packages goes in once per environment, and again when this file
# changes (a stamp in the environment remembers it).
$(VENV)/.build-tools: Makefile
	test -x $(VPY) || $(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q $(BUILD_TOOLS)
	touch $@

$(VENV)/.test-packages: $(VENV)/.build-tools
	$(VPY) -m pip install -q $(TEST_PACKAGES)
	touch $@

venv: $(VENV)/.test-packages

PIP_BUILD = $(VPY) -m pip install -q --no-build-isolation -C build-dir=$(BUILD)

# The extension, built in $(BUILD) and installed into .venv.
extension: $(VENV)/.build-tools
	$(PIP_BUILD) .

# The extension and the packages the tests import, for running tests by hand.
install: $(VENV)/.test-packages extension

# install, with the C++ tests built beside the extension.
test-build: system-deps $(VENV)/.test-packages
	$(PIP_BUILD) -C cmake.define.PYMORVEL_BUILD_TESTS=ON .

cpp-test: test-build
	cd $(BUILD) && $(abspath $(VENV))/bin/ctest --output-on-failure -j $(JOBS)

# A build from a copy of the sources elsewhere gives the bytes of .venv's extension.
reproducible-build: extension
	VPY=$(VPY) tools/check_reproducible_build.sh $$($(VPY) -c "import pymorvel; print(pymorvel.__file__)")

# No fused multiply-add may reach the object code: it would change the bits.
# The one exemption is LLVM libc's FMA build of exp and log, which the kernels
# call only on processors with FMA: correctly rounded, it returns the same
# double as the baseline build, and the tests compare the two.
FMA_EXEMPT ?= pymorvel_llvm_libc_fma
fma-check: test-build
	$(VPY) tools/check_no_fma.py --allow '$(FMA_EXEMPT)' $(BUILD)/libpymorvel_core.a \
	  $$($(VPY) -c "import pymorvel; print(pymorvel.__file__)")

# exp and log against MPFR at full size: 2^20 random inputs in each of five
# families per function, with every build the processor runs (about a minute).
EXACT_MATH_SAMPLES ?= 1048576
test-exact-math: test-build
	cd $(BUILD) && PYMORVEL_EXACT_MATH_SAMPLES=$(EXACT_MATH_SAMPLES) ./pymorvel_tests --gtest_filter='ExactMath/*'

py-test: test-build
	cd tests/python && ../../$(VPY) -m pytest -q

clean:
	rm -rf build $(VENV)
include tools/hardening.mk
include tools/wheel.mk
include tools/aarch64.mk
