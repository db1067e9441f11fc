# The two commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= 2

.PHONY: deps configure build run test bench screenshot format clean

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

bench: build
	@$(BUILD)/bench/fit_bench

screenshot: build
	@mkdir -p out
	@cd examples && QT_QPA_PLATFORM=offscreen ../$(BUILD)/ferolan --load --zero 3 --search auto --screenshot ../out/window.png

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	@rm -rf $(BUILD)
