# One-command entry points: `make demo` runs the demo, `make test` runs every test
# (the unit tests, then the sanitizer, fuzzing and oldest/newest-CPython checks);
# `make quick-test` runs only the unit tests, for the edit-build-test loop.
# Each target does its own set-up on a fresh machine (apt packages, virtual
# environment, pip packages, build).

PYTHON ?= python3
# pyenv's interpreters serve the every-CPython checks; a non-interactive shell
# may not have pyenv on its PATH.
export PATH := $(PATH):$(HOME)/.pyenv/bin
VENV ?= .venv
VPY := $(VENV)/bin/python
CPP_BUILD ?= build/cpp
JOBS ?= 2

.PHONY: test quick-test ci-hardening ci-pythons reproducible-build demo pictures bench system-deps venv install cpp-test py-test fma-check test-exact-math clean

test: quick-test ci-hardening

quick-test: install cpp-test fma-check py-test

# The hardening checks that fit in a CI run (see tools/hardening.mk for all).
ci-hardening: sanitize-cpp tsan-cpp sanitize-py fuzz fuzz-asan ci-pythons reproducible-build wheel-test

# The oldest and the newest CPython that pyenv offers, when it offers any.
ci-pythons:
	@if command -v pyenv >/dev/null; then \
	  versions=$$(pyenv versions --bare | grep -E '^3\.(9|[1-9][0-9])\.[0-9]+$$' | sort -V); \
	  PYTHONS="$$(echo "$$versions" | head -n 1) $$(echo "$$versions" | tail -n 1)" JOBS=$(JOBS) tools/test_all_pythons.sh; \
	else echo "pyenv not found: only $(PYTHON) was tested"; fi

demo: install
	$(VPY) examples/franke_demo.py

# The README's figures (matplotlib and Dask are optional dependencies of the examples).
pictures: install
	$(VPY) examples/franke_pictures.py --out docs
	$(VPY) examples/dask_grid.py --out docs
	$(VPY) examples/smoothing_and_gradient.py --out docs

bench: install
	$(VPY) -m pip install -q scipy numpy matplotlib threadpoolctl
	PATH="$(abspath $(VENV))/bin:$$PATH" cmake -S . -B build/bench -G Ninja \
	  -DPYMORVEL_BUILD_EXTENSION=OFF -DPYMORVEL_BUILD_BENCHMARKS=ON
	PATH="$(abspath $(VENV))/bin:$$PATH" cmake --build build/bench -j $(JOBS) --target lu_bench tile_peak
	$(VPY) benchmarks/run.py --lu-bench build/bench/lu_bench $(BENCH_ARGS)

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

$(VPY):
	$(PYTHON) -m venv $(VENV)

venv: $(VPY)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q "scikit-build-core>=0.11" cmake ninja pytest numpy scipy "mypy==2.4.1" matplotlib \
	  joblib "dask[array]" distributed mpmath

install: system-deps venv
	$(VPY) -m pip install -q --no-build-isolation .

cpp-test: system-deps venv
	PATH="$(abspath $(VENV))/bin:$$PATH" cmake -S . -B $(CPP_BUILD) -G Ninja \
	  -DPYMORVEL_BUILD_EXTENSION=OFF -DPYMORVEL_BUILD_TESTS=ON
	PATH="$(abspath $(VENV))/bin:$$PATH" cmake --build $(CPP_BUILD) -j $(JOBS)
	cd $(CPP_BUILD) && PATH="$(abspath $(VENV))/bin:$$PATH" ctest --output-on-failure -j $(JOBS)

# Two builds of one commit in different directories give the same extension bytes.
reproducible-build: venv
	VPY=$(VPY) tools/check_reproducible_build.sh

# No fused multiply-add may reach the object code: it would change the bits.
# The one exemption is LLVM libc's FMA build of exp and log, which the kernels
# call only on processors with FMA: correctly rounded, it returns the same
# double as the baseline build, and the tests compare the two.
FMA_EXEMPT ?= pymorvel_llvm_libc_fma
fma-check: cpp-test install
	$(VPY) tools/check_no_fma.py --allow '$(FMA_EXEMPT)' $(CPP_BUILD)/libpymorvel_core.a \
	  $$($(VPY) -c "import pymorvel; print(pymorvel.__file__)")

# exp and log against MPFR at full size: 2^20 random inputs in each of five
# families per function, with every build the processor runs (about a minute).
EXACT_MATH_SAMPLES ?= 1048576
test-exact-math: cpp-test
	cd $(CPP_BUILD) && PYMORVEL_EXACT_MATH_SAMPLES=$(EXACT_MATH_SAMPLES) ./pymorvel_tests --gtest_filter='ExactMath/*'

py-test: install
	cd tests/python && ../../$(VPY) -m pytest -q

clean:
	rm -rf build $(VENV)
include tools/hardening.mk
include tools/wheel.mk
