# Hardening checks: sanitizer builds, fuzzing, and the test suite on every CPython; include this from the Makefile.
#
#   make sanitize-cpp       core library + C++ tests with AddressSanitizer and UBSan, at full sizes
#   make tsan-cpp           the pool and parallel-LU C++ tests with ThreadSanitizer
#   make sanitize-py        the extension built with ASan+UBSan, whole pytest suite under it
#   make leak-test          the leak checks at full length against the Release build
#   make fuzz               replay the fuzz corpus, then a bounded fuzzing campaign
#   make fuzz-long          an open-ended campaign (FUZZ_TIME seconds, default one hour)
#   make fuzz-asan          the random fuzzing campaign against the ASan build
#   make test-all-pythons   build and run the Python tests on every CPython >= 3.9 pyenv knows
#   make hardening          all of the above except fuzz-long
#
# The C++ tests and the extension share one ASan build. The stages here set
# PYMORVEL_FULL_TESTS=1 where the quick loop runs smaller sizes or fewer
# repetitions.
#
# It relies on the Makefile's VENV, VPY, PYTHON, JOBS, BUILD_TOOLS and its
# system-deps, install and test-build targets; until it is included, use
# `make -f Makefile -f tools/hardening.mk TARGET`.

ifndef VPY
$(error tools/hardening.mk needs the root Makefile: make -f Makefile -f tools/hardening.mk TARGET)
endif

ASAN_BUILD ?= build/asan
TSAN_CPP_BUILD ?= build/cpp-tsan
ASAN_VENV ?= .venv-asan
ASAN_VPY := $(ASAN_VENV)/bin/python
FUZZ_DIR ?= build/fuzz
FUZZ_RUNS ?= 40000
FUZZ_ASAN_RUNS ?= 10000
FUZZ_SEED ?= 1
FUZZ_TIME ?= 3600
# Known findings to step over while they are open, e.g. FUZZ_TOLERATE=sys-last.
FUZZ_TOLERATE ?=
FUZZ_FLAGS = $(FUZZ_TOLERATE:%=--tolerate %)
TSAN_FILTER ?= Pool|FastLu|Thread|Parallel|Concurren

HARDENING_PATH = PATH="$(abspath $(VENV))/bin:$$PATH"

# A sanitizer report must fail the run: UBSan only reports by default, and
# every finding should stop at the first one so that its stack is the cause.
SAN_RUNTIME_OPTIONS = \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ASAN_OPTIONS=detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:abort_on_error=0

.PHONY: sanitize-cpp tsan-cpp sanitize-py asan-build leak-test fuzz fuzz-long fuzz-setup fuzz-asan test-all-pythons hardening

hardening: sanitize-cpp tsan-cpp sanitize-py leak-test fuzz fuzz-asan test-all-pythons

# FastLu's largest matrices run here, where a read past a block edge shows.
sanitize-cpp: asan-build
	cd $(ASAN_BUILD) && PYMORVEL_FULL_TESTS=1 $(SAN_RUNTIME_OPTIONS) $(HARDENING_PATH) \
	  ctest --output-on-failure -j $(JOBS)

# Death tests fork a process that already runs pool threads, which
# ThreadSanitizer does not support; they are covered by sanitize-cpp.
tsan-cpp: system-deps $(VENV)/.build-tools
	$(HARDENING_PATH) cmake -S . -B $(TSAN_CPP_BUILD) -G Ninja \
	  -DPYMORVEL_BUILD_EXTENSION=OFF -DPYMORVEL_BUILD_TESTS=ON -DPYMORVEL_SANITIZE=thread
	$(HARDENING_PATH) cmake --build $(TSAN_CPP_BUILD) -j $(JOBS)
	cd $(TSAN_CPP_BUILD) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(HARDENING_PATH) \
	  $(abspath tools/no_aslr.sh) ctest --output-on-failure -j $(JOBS) -R '$(TSAN_FILTER)' -E 'DeathTest'

# The extension and the C++ tests under ASan+UBSan, in a venv and a build
# directory of their own, so the ordinary .venv and its build never see
# sanitizer flags.
$(ASAN_VENV)/.packages: Makefile tools/hardening.mk
	test -x $(ASAN_VPY) || $(PYTHON) -m venv $(ASAN_VENV)
	$(ASAN_VPY) -m pip install -q $(BUILD_TOOLS) pytest numpy mpmath
	touch $@

asan-build: system-deps $(ASAN_VENV)/.packages
	$(ASAN_VPY) -m pip install -q --no-build-isolation \
	  -C build-dir=$(ASAN_BUILD) -C cmake.define.PYMORVEL_BUILD_TESTS=ON \
	  -C cmake.define.PYMORVEL_SANITIZE=address,undefined \
	  -C cmake.define.CMAKE_CXX_FLAGS=-fno-sanitize-recover=all .

# CPython is not built with ASan, so the runtime is preloaded, with libstdc++
# beside it: loaded later, its __cxa_throw would be missing from ASan's
# interceptor and the first C++ exception would stop the process.
# PYTHONMALLOC=malloc routes Python's own objects through ASan too. Leak
# detection is off because the interpreter keeps memory until exit;
# test_leaks.py covers ours. Reports go to files: pytest captures
# standard error and a report written there dies with the process.
ASAN_REPORTS = $(abspath build/asan/report)
ASAN_PY_ENV = PYMORVEL_SANITIZED=address PYTHONMALLOC=malloc \
  LD_PRELOAD="$$(gcc -print-file-name=libasan.so) $$(gcc -print-file-name=libstdc++.so)" \
  ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1:detect_stack_use_after_return=1:log_path=$(ASAN_REPORTS) \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$(ASAN_REPORTS)
# Fails on any report; "failed to allocate" warnings are the impossible-size
# test asking for 8 TB on purpose.
ASAN_CHECK_REPORTS = status=$$?; \
  if grep -l -E "ERROR: AddressSanitizer|runtime error:|ERROR: " $(ASAN_REPORTS).* 2>/dev/null; then \
    cat $(ASAN_REPORTS).*; exit 1; fi; exit $$status

sanitize-py: asan-build
	rm -f $(ASAN_REPORTS).*
	cd tests/python && $(ASAN_PY_ENV) ../../$(ASAN_VPY) -m pytest -q -p no:cacheprovider; \
	  $(ASAN_CHECK_REPORTS)

# The leak checks repeat each path 2500 times here, 500 in the quick loop.
leak-test: test-build
	cd tests/python && PYMORVEL_FULL_TESTS=1 ../../$(VPY) -m pytest -q -p no:cacheprovider test_leaks.py

# atheris when it installs, otherwise the same harness driven by a seeded PRNG.
fuzz-setup: install
	@$(VPY) -c "import atheris" 2>/dev/null || $(VPY) -m pip install -q atheris \
	  || echo "atheris did not install: fuzzing with the plain random driver"
	mkdir -p $(FUZZ_DIR)/corpus $(FUZZ_DIR)/artifacts

fuzz: fuzz-setup
	$(VPY) tests/fuzz/rbf_fuzz.py replay $(FUZZ_FLAGS) tests/fuzz/corpus
	$(VPY) tests/fuzz/rbf_fuzz.py random $(FUZZ_FLAGS) --runs $(FUZZ_RUNS) --seed $(FUZZ_SEED) --work $(FUZZ_DIR)
	@if $(VPY) -c "import atheris" 2>/dev/null; then \
	  $(VPY) tests/fuzz/rbf_fuzz.py atheris $(FUZZ_FLAGS) --work $(FUZZ_DIR) -- \
	    -runs=$(FUZZ_RUNS) -seed=$(FUZZ_SEED) -timeout=60 -max_len=1024 -close_fd_mask=2 \
	    -artifact_prefix=$(FUZZ_DIR)/artifacts/ $(FUZZ_DIR)/corpus tests/fuzz/corpus; \
	fi

fuzz-long: fuzz-setup
	@if $(VPY) -c "import atheris" 2>/dev/null; then \
	  $(VPY) tests/fuzz/rbf_fuzz.py atheris $(FUZZ_FLAGS) --work $(FUZZ_DIR) -- \
	    -max_total_time=$(FUZZ_TIME) -timeout=60 -max_len=1024 -close_fd_mask=2 \
	    -artifact_prefix=$(FUZZ_DIR)/artifacts/ $(FUZZ_DIR)/corpus tests/fuzz/corpus; \
	else \
	  $(VPY) tests/fuzz/rbf_fuzz.py random $(FUZZ_FLAGS) --seconds $(FUZZ_TIME) --seed $$(date +%s) --work $(FUZZ_DIR); \
	fi

# The random driver against the ASan build: memory errors that the ordinary
# build would survive silently.
fuzz-asan: asan-build
	rm -f $(ASAN_REPORTS).*
	$(ASAN_PY_ENV) $(ASAN_VPY) tests/fuzz/rbf_fuzz.py random $(FUZZ_FLAGS) --runs $(FUZZ_ASAN_RUNS) \
	  --seed $(FUZZ_SEED) --work $(FUZZ_DIR)-asan; \
	  $(ASAN_CHECK_REPORTS)

test-all-pythons:
	JOBS=$(JOBS) tools/test_all_pythons.sh
