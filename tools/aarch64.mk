# The aarch64 build: cross-compiled with Debian's GCC, run under qemu-user, and held to the native build's bits; include this from the Makefile.
#
#   make aarch64-deps   the cross compiler, qemu-user, GoogleTest and MPFR for
#                       arm64 (Debian multiarch), and a directory with
#                       CPython's arm64 headers and interpreter unpacked
#   make aarch64-test   cross-builds the core, the binding, the C++ tests and the
#                       bit driver for aarch64; runs the tests and the driver
#                       under qemu-aarch64; fails on a single bit of the
#                       driver's output that differs from the native build's;
#                       and scans the aarch64 objects, the binding's included,
#                       for fused multiply-adds
#   make wheel-aarch64  the manylinux_2_28_aarch64 wheel, built as the x86-64
#                       one is (Zig's clang, tools/zig/), in $(AARCH64_DIST_DIR);
#                       auditwheel checks its tag, nm its unwinder, the FMA scan
#                       its module; the bit driver, built on the wheel's own
#                       core objects, runs under qemu and is held to the native
#                       build's bits; and the arm64 CPython imports the wheel's
#                       module under qemu and fits with it
#
# It relies on the Makefile's VENV, VPY, BUILD, JOBS and test-build, and on
# tools/wheel.mk's wheel-tools.

ifndef VPY
$(error tools/aarch64.mk needs the root Makefile: make -f Makefile TARGET)
endif

AARCH64_BUILD ?= build/aarch64
AARCH64_SYSROOT ?= build/aarch64-sysroot
QEMU_AARCH64 ?= qemu-aarch64-static
# The programs are linked statically (tools/aarch64/toolchain.cmake).
QEMU_RUN = $(QEMU_AARCH64)
# CPython 3.11 for arm64 from Debian: its headers compile the binding, its
# interpreter runs the wheel's tests under qemu.
AARCH64_PYTHON_PACKAGES = python3.11-minimal libpython3.11-minimal libpython3.11-stdlib libpython3.11 libpython3.11-dev \
  zlib1g libexpat1
# Dynamically linked programs (Zig's, and the interpreter) take glibc from
# the arm64 one that multiarch installs beside the host's, in
# /lib/aarch64-linux-gnu (a dependency of the arm64 MPFR), loader included.
# With -L /usr/aarch64-linux-gnu qemu would load the cross compiler's copy of
# the loader and, not finding libc.so.6 there, the multiarch one: two builds
# of glibc whose private interface differs, and the first thread a program
# starts never runs (it spins at 100% CPU). The interpreter's other libraries
# come from the directory the packages are unpacked in.
QEMU_DYNAMIC = $(QEMU_AARCH64) -L / \
  -E LD_LIBRARY_PATH=$(abspath $(AARCH64_SYSROOT))/lib/aarch64-linux-gnu:$(abspath $(AARCH64_SYSROOT))/usr/lib/aarch64-linux-gnu
AARCH64_PYTHON = $(QEMU_DYNAMIC) $(abspath $(AARCH64_SYSROOT))/usr/bin/python3.11
AARCH64_DIST_DIR ?= build/dist-aarch64
AARCH64_WHEEL_WORK ?= build/wheel-aarch64
AARCH64_WHEEL_PLAT = manylinux_2_28_aarch64
# gtest's death tests start the test binary again with execv, which an
# aarch64 binary survives only where the kernel hands it to qemu (binfmt_misc,
# which a container does not have): they run natively only.
AARCH64_REEXEC_TESTS = *DeathTest*:Pool.FailedGlobalPoolAbortsEveryUse
# Every aarch64 processor has FMA, and LLVM libc's one build there uses it in
# its explicit fma calls (correctly rounded, so the bits do not depend on it).
AARCH64_FMA_EXEMPT = 18pymorvel_llvm_libc

.PHONY: aarch64-deps aarch64-build aarch64-test wheel-aarch64

aarch64-deps:
	@missing=""; \
	command -v aarch64-linux-gnu-g++ >/dev/null || missing="$$missing g++-aarch64-linux-gnu"; \
	command -v $(QEMU_AARCH64) >/dev/null || missing="$$missing qemu-user-static"; \
	[ -f /usr/lib/aarch64-linux-gnu/libgtest.a ] || missing="$$missing libgtest-dev:arm64"; \
	[ -f /usr/lib/aarch64-linux-gnu/libmpfr.a ] || missing="$$missing libmpfr-dev:arm64"; \
	[ -f /usr/lib/aarch64-linux-gnu/libgmp.a ] || missing="$$missing libgmp-dev:arm64"; \
	SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	if ! dpkg --print-foreign-architectures | grep -qx arm64; then \
	  $$SUDO dpkg --add-architecture arm64 && $$SUDO apt-get update -qq; \
	fi; \
	if [ -n "$$missing" ]; then \
	  $$SUDO apt-get update -qq && $$SUDO apt-get install -y -qq $$missing; \
	fi
	tools/aarch64/sysroot.sh $(AARCH64_SYSROOT) $(AARCH64_PYTHON_PACKAGES)

# The binding is compiled against the arm64 headers (the multiarch pyconfig.h
# picks them by the compiler's target); the host's interpreter only answers
# CMake's questions.
aarch64-build: aarch64-deps $(VENV)/.build-tools
	PATH="$(abspath $(VENV))/bin:$$PATH" cmake -S . -B $(AARCH64_BUILD) -G Ninja \
	  -DCMAKE_TOOLCHAIN_FILE=tools/aarch64/toolchain.cmake \
	  -DPYMORVEL_BUILD_TESTS=ON -DPYMORVEL_BUILD_EXTENSION=ON \
	  -DPython_EXECUTABLE=$(abspath $(VPY)) \
	  -DPython_INCLUDE_DIR=$(abspath $(AARCH64_SYSROOT))/usr/include/python3.11 \
	  "-DCMAKE_CXX_FLAGS=-isystem $(abspath $(AARCH64_SYSROOT))/usr/include"
	PATH="$(abspath $(VENV))/bin:$$PATH" cmake --build $(AARCH64_BUILD) -j $(JOBS)

aarch64-test: aarch64-build test-build
	@echo "aarch64 C++ tests under qemu; not run there, as they start the binary again: $(AARCH64_REEXEC_TESTS)"
	cd $(AARCH64_BUILD) && $(QEMU_RUN) ./pymorvel_tests --gtest_brief=1 --gtest_filter='-$(AARCH64_REEXEC_TESTS)'
	$(BUILD)/pymorvel_bit_driver $(AARCH64_BUILD)/bits-native.txt
	$(QEMU_RUN) $(AARCH64_BUILD)/pymorvel_bit_driver $(AARCH64_BUILD)/bits-aarch64.txt
	$(VPY) tools/compare_bits.py --label "aarch64 (GCC) against native" $(AARCH64_BUILD)/bits-native.txt $(AARCH64_BUILD)/bits-aarch64.txt
	$(VPY) tools/check_no_fma.py --allow '$(AARCH64_FMA_EXEMPT)' $(AARCH64_BUILD)/libpymorvel_core.a $(AARCH64_BUILD)/pymorvel*.so

# Built from the source tree with the packaging venv's own build tools, not in
# an isolated environment: _PYTHON_HOST_PLATFORM, which gives the wheel its
# aarch64 tag, would have pip install aarch64 builds of CMake and Ninja there.
# The build directory is kept: the bit driver is built in it, on the very
# objects the module links. auditwheel repairs only wheels of the machine's own
# architecture, so it checks the wheel (a module that libc, libm, libpthread and
# libgcc_s serve, fit for glibc 2.28 or older) and the wheel tool tags it; the
# tag stays at 2.28 for the reason pyproject.toml gives.
wheel-aarch64: aarch64-deps wheel-tools test-build
	$(WHEEL_TOOLS_VPY) -m pip install -q "scikit-build-core>=0.11" cmake ninja "ziglang==0.17.1" wheel
	rm -rf $(AARCH64_DIST_DIR) $(AARCH64_WHEEL_WORK)
	mkdir -p $(AARCH64_DIST_DIR) $(AARCH64_WHEEL_WORK)/raw
	PATH="$(abspath $(WHEEL_TOOLS_VENV))/bin:$$PATH" PYMORVEL_ZIG_WHEEL=1 CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) \
	  _PYTHON_HOST_PLATFORM=linux-aarch64 SETUPTOOLS_EXT_SUFFIX=.cpython-311-aarch64-linux-gnu.so \
	  $(WHEEL_TOOLS_VPY) -m build --wheel --no-isolation --outdir $(AARCH64_WHEEL_WORK)/raw \
	  -Cbuild-dir=$(AARCH64_WHEEL_WORK)/cmake \
	  -Ccmake.define.PYMORVEL_ZIG_TARGET=aarch64-linux-gnu.2.28 \
	  -Ccmake.define.PYMORVEL_BUILD_BIT_DRIVER=ON \
	  -Ccmake.define.Python_INCLUDE_DIR=$(abspath $(AARCH64_SYSROOT))/usr/include/python3.11 \
	  "-Ccmake.define.CMAKE_CXX_FLAGS=-isystem $(abspath $(AARCH64_SYSROOT))/usr/include" .
	$(WHEEL_TOOLS_VPY) -m zipfile -e $(AARCH64_WHEEL_WORK)/raw/*.whl $(AARCH64_WHEEL_WORK)/module
	$(call check_unwinder,$(AARCH64_WHEEL_WORK)/module)
	$(WHEEL_TOOLS_VPY) -m auditwheel show $(AARCH64_WHEEL_WORK)/raw/*.whl > $(AARCH64_WHEEL_WORK)/show.txt
	found=$$(tr -s ' \n' ' ' < $(AARCH64_WHEEL_WORK)/show.txt | grep -o 'consistent with the following platform tag: "manylinux_2_[0-9]*_aarch64"' | grep -o 'manylinux_2_[0-9]*'); \
	  [ -n "$$found" ] && [ "$$(printf '%s\n' $$found manylinux_2_28 | sort -V | tail -n 1)" = manylinux_2_28 ] \
	  || { cat $(AARCH64_WHEEL_WORK)/show.txt; echo "auditwheel does not find the module fit for $(AARCH64_WHEEL_PLAT)"; exit 1; }
	cp $(AARCH64_WHEEL_WORK)/raw/*.whl $(AARCH64_DIST_DIR)/
	$(WHEEL_TOOLS_VPY) -m wheel tags --remove --platform-tag $(AARCH64_WHEEL_PLAT) $(AARCH64_DIST_DIR)/*.whl
	$(VPY) tools/check_no_fma.py --allow '$(AARCH64_FMA_EXEMPT)' $(AARCH64_WHEEL_WORK)/module/*.so
	$(BUILD)/pymorvel_bit_driver $(AARCH64_WHEEL_WORK)/bits-native.txt
	$(QEMU_DYNAMIC) $(AARCH64_WHEEL_WORK)/cmake/pymorvel_bit_driver $(AARCH64_WHEEL_WORK)/bits-aarch64.txt
	$(VPY) tools/compare_bits.py --label "aarch64 wheel's core (clang) against native" \
	  $(AARCH64_WHEEL_WORK)/bits-native.txt $(AARCH64_WHEEL_WORK)/bits-aarch64.txt
	rm -rf $(AARCH64_WHEEL_WORK)/site && $(WHEEL_TOOLS_VPY) -m zipfile -e $(AARCH64_DIST_DIR)/*.whl $(AARCH64_WHEEL_WORK)/site
	$(VPY) tools/aarch64/wheel_smoke.py $(AARCH64_WHEEL_WORK)/site $(AARCH64_PYTHON)
