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
#
# It relies on the Makefile's VENV, VPY, BUILD, JOBS and test-build.

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
AARCH64_PYTHON_PACKAGES = python3.11-minimal libpython3.11-minimal libpython3.11-stdlib libpython3.11 libpython3.11-dev
# gtest's death tests start the test binary again with execv, which an
# aarch64 binary survives only where the kernel hands it to qemu (binfmt_misc,
# which a container does not have): they run natively only.
AARCH64_REEXEC_TESTS = *DeathTest*:Pool.FailedGlobalPoolAbortsEveryUse
# Every aarch64 processor has FMA, and LLVM libc's one build there uses it in
# its explicit fma calls (correctly rounded, so the bits do not depend on it).
AARCH64_FMA_EXEMPT = 18pymorvel_llvm_libc

.PHONY: aarch64-deps aarch64-build aarch64-test

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
