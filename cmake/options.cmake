# Build options for hostile-input work: KELVORA_SANITIZE builds every target
# with AddressSanitizer and UndefinedBehaviorSanitizer, stopping at the first
# report so that any finding fails the test that caused it. KELVORA_FUZZ adds
# the libFuzzer targets of fuzz/ (clang only) and instruments the whole build
# for them.
option(KELVORA_SANITIZE "Build everything with address and undefined-behaviour sanitizers" OFF)
option(KELVORA_FUZZ "Build the libFuzzer targets too (clang++ only; implies KELVORA_SANITIZE)"
       OFF)

if(KELVORA_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KELVORA_FUZZ needs clang++: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()

if(KELVORA_SANITIZE OR KELVORA_FUZZ)
  set(KELVORA_SANITIZER_FLAGS
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${KELVORA_SANITIZER_FLAGS})
  add_link_options(${KELVORA_SANITIZER_FLAGS})
endif()
if(KELVORA_FUZZ)
  # Coverage feedback for libFuzzer in every object; only the fuzz targets
  # link libFuzzer's own main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# KELVORA_PORTABLE runs everything through the plain forms: the ranking, the
# band encoding, the list reading, the picture's rows, the sprite rows and
# the checker's cell counting, cell drawing and bare-line shortcut each have
# a fast form beside a plain one, and this build uses only the plain ones, so
# that the suite, the cases and the corpus check them too.
option(KELVORA_PORTABLE "Use only the plain forms of the hot loops, no fast forms" OFF)
if(KELVORA_PORTABLE)
  add_compile_definitions(KELVORA_PLAIN_FORMS)
endif()
