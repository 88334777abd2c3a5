# Front door over CMake: a newcomer needs only `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
# Sanitizer and fuzzer trees build at -O1 with line tables only: reports keep their file and line, the build is
# far cheaper than at full optimisation and debug information.
SANITIZE_CXX_FLAGS ?= -O1 -g1 -DNDEBUG
# OFF: the sanitizer trees leave out the window and its suites, as CI does to stay within its time.
SANITIZE_UI ?= ON
SANITIZE_FLAGS = -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$(SANITIZE_CXX_FLAGS)" -DZALVO_BUILD_BENCH=OFF \
    -DZALVO_BUILD_UI=$(SANITIZE_UI)
# Empty: ThreadSanitizer over the whole suite; `threads`: only the suites whose code runs threads.
TSAN_LABEL ?=
FORMATTED = $(shell git ls-files $(foreach room,core ui desktop modules tests bench,'$(room)/*.cpp' '$(room)/*.h'))
JOBS       ?= $(shell nproc)
CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps test-deps build run test lint package bench asan tsan fuzz smoke format format-check clean

all: build

deps:
	@scripts/install-deps.sh

# The tests' own tools, and the private sound server the output tests and the CPU benchmark play into;
# `make run` never installs a sound server.
test-deps:
	@scripts/install-deps.sh --test

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/ui/zalvo

test: build test-deps
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# clang-tidy over our own sources; clean means not one finding.
lint: build
	@scripts/install-deps.sh clang-tidy
	scripts/lint.sh $(BUILD)

# The Debian package, written into $(BUILD): install it with `sudo apt install ./zalvo_*.deb` there.
package: build
	@scripts/install-deps.sh dpkg-dev
	cd $(BUILD) && cpack --config CPackConfig.cmake

bench: build
	@scripts/install-deps.sh --bench
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; ALSOFT_DRIVERS=null $$b; done
	@echo "== start-up"; scripts/bench-startup.sh $(BUILD)/ui/zalvo $(BUILD)/bench/window_shown
	@echo "== CPU while playing"; scripts/bench-cpu.sh $(BUILD)/ui/zalvo $(BUILD)/bench/write_tone_file
	@echo "== internet radio"; scripts/bench-radio.sh $(BUILD)/ui/zalvo
	@echo "== titles over MPRIS"; scripts/bench-titles.sh $(BUILD)/ui/zalvo

asan: deps test-deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) $(SANITIZE_FLAGS) -DZALVO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

tsan: deps test-deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_FLAGS) $(SANITIZE_FLAGS) -DZALVO_SANITIZE_THREAD=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) $(if $(TSAN_LABEL),--target threaded_tests)
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) $(if $(TSAN_LABEL),-L $(TSAN_LABEL))

fuzz: deps
	@scripts/install-deps.sh clang libclang-rt-dev ffmpeg
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_FLAGS) $(SANITIZE_FLAGS) -DZALVO_FUZZ=ON -DZALVO_BUILD_UI=OFF \
	    -DZALVO_BUILD_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@mkdir -p $(FUZZ_BUILD)/corpus-track_open && $(FUZZ_BUILD)/tests/fuzz/fuzz_audio_seeds $(FUZZ_BUILD)/corpus-track_open
	@mkdir -p $(FUZZ_BUILD)/corpus-tags && for seed in 0:mp3:libmp3lame 1:flac:flac 2:ogg:libvorbis 3:opus:libopus \
	    6:m4a:aac 7:wma:wmav2 8:wv:wavpack 12:wav:pcm_s16le; do \
	    set -- $$(echo $$seed | tr : ' '); out=$(FUZZ_BUILD)/corpus-tags/seed-$$2; [ -s $$out ] && continue; \
	    ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=0.1 -c:a $$3 -metadata title=Title -metadata artist=Artist \
	        -metadata album=Album -metadata genre=Jazz $(FUZZ_BUILD)/seed.$$2 && \
	    { printf "\\$$(printf %03o $$1)"; cat $(FUZZ_BUILD)/seed.$$2; } > $$out; rm -f $(FUZZ_BUILD)/seed.$$2; \
	done
	@for target in playlist_load playlist_formats track_open tags cover_art cue_sheet; do \
	    mkdir -p $(FUZZ_BUILD)/corpus-$$target; \
	    echo "== fuzz_$$target for $(FUZZ_SECONDS) s"; \
	    ALSOFT_DRIVERS=null ZALVO_MODULE_DIR=$(CURDIR)/$(FUZZ_BUILD)/lib/zalvo \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan-suppressions.txt \
	        $(FUZZ_BUILD)/tests/fuzz/fuzz_$$target $(FUZZ_BUILD)/corpus-$$target \
	        -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -artifact_prefix=$(FUZZ_BUILD)/ || exit 1; \
	done

smoke: build test-deps
	ctest --test-dir $(BUILD) --output-on-failure -R smoke

format:
	@scripts/install-deps.sh clang-format
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# Fails on the first source that `make format` would change, and shows how.
format-check:
	@scripts/install-deps.sh clang-format
	clang-format --dry-run -Werror $(FORMATTED)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
