# The two commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= 2
# `make check`: the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer (clang),
# then every fuzz target for FUZZ_SECONDS.
SAN_BUILD ?= build-san
FUZZ_SECONDS ?= 30
FUZZ_TARGETS = number_fuzz clipboard_fuzz mdf_fuzz options_fuzz table_fuzz plan_fuzz
# `make test` also builds the engine and the batch tool as a machine without Qt does (SVG
# pictures only) and runs their suites and the batch traces there.
NOQT_BUILD ?= build-noqt
NOQT_TARGETS = ferolan-cli engine_tests cli_test batch_test engine_client make_large
NOQT_TESTS = ^(engine_tests|cli_test|batch_test|engine_client|golden_trace_.*)$$
SAN_ENV = ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
          UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

.PHONY: deps configure build run test bench screenshot format clean san-build fuzz check tsan python

deps:
	@tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

run: configure
	@cmake --build $(BUILD) -j$(JOBS) --target ferolan ferolan-cli
	@tools/run.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	@cmake -S . -B $(NOQT_BUILD) --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release -DFEROLAN_WITH_QT=OFF \
	  -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null
	@cmake --build $(NOQT_BUILD) -j$(JOBS) --target $(NOQT_TARGETS)
	@cd $(NOQT_BUILD) && ctest --output-on-failure -j$(JOBS) -R '$(NOQT_TESTS)'

san-build:
	@tools/install-deps.sh sanitizers
	@cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DFEROLAN_SANITIZE=ON -DFEROLAN_FUZZ=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null

fuzz: san-build
	@cmake --build $(SAN_BUILD) -j$(JOBS) --target fuzz

# New inputs go to $(SAN_BUILD)/fuzz/<target>; the committed seeds are only read.
check: san-build
	@cmake --build $(SAN_BUILD) -j$(JOBS)
	@cd $(SAN_BUILD) && $(SAN_ENV) ctest --output-on-failure -j$(JOBS)
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(SAN_BUILD)/fuzz/$$t $(SAN_BUILD)/fuzz/artifacts && \
	  echo "fuzzing $$t for $(FUZZ_SECONDS) s" && \
	  $(SAN_ENV) $(SAN_BUILD)/tests/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 \
	    -rss_limit_mb=2048 -print_final_stats=1 \
	    -artifact_prefix=$(SAN_BUILD)/fuzz/artifacts/$$t- \
	    $(SAN_BUILD)/fuzz/$$t tests/fuzz/corpus/$$t 2>$(SAN_BUILD)/fuzz/$$t.log || \
	    { tail -40 $(SAN_BUILD)/fuzz/$$t.log; exit 1; }; \
	  grep -E "stat::number_of_executed_units|Done" $(SAN_BUILD)/fuzz/$$t.log; \
	done

# `make tsan`: the batch tool and the engine's suite under ThreadSanitizer (clang), the
# threaded paths run on a small folder: files at a time, sweeps on threads, pictures.
TSAN_BUILD ?= build-tsan
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
tsan:
	@tools/install-deps.sh sanitizers
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DFEROLAN_TSAN=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON -DFEROLAN_WITH_PYTHON=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j$(JOBS) --target ferolan-cli engine_tests
	@$(TSAN_ENV) tools/tsan_run.sh $(TSAN_BUILD)

# The Python module, then an example through it; afterwards `PYTHONPATH=build/python python3`.
python: configure
	@cmake --build $(BUILD) -j$(JOBS) --target ferolan_python
	@PYTHONPATH=$(BUILD)/python /usr/bin/python3 python/example.py examples/data.mdf

bench: build
	@$(BUILD)/bench/fit_bench

screenshot: build
	@mkdir -p out
	@cd examples && QT_QPA_PLATFORM=offscreen ../$(BUILD)/ferolan --load --zero 3 --search auto --screenshot ../out/window.png

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	@rm -rf $(BUILD) $(SAN_BUILD) $(NOQT_BUILD) $(TSAN_BUILD)
