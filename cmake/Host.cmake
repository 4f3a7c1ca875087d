# Native build: the platform-free code, its tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzz targets, benchmarks and the device
# simulator.
set(TP_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

function(tp_sanitize target)
    target_compile_options(${target} PRIVATE ${TP_SANITIZE})
    target_link_options(${target} PRIVATE ${TP_SANITIZE})
endfunction()

add_library(tp_portable STATIC ${TP_PORTABLE_SOURCES})
target_include_directories(tp_portable PUBLIC ${CMAKE_SOURCE_DIR}/src)
tp_warnings(tp_portable)
tp_sanitize(tp_portable)

# The same code optimised and uninstrumented, for benchmarks and the simulator.
add_library(tp_portable_opt STATIC ${TP_PORTABLE_SOURCES})
target_include_directories(tp_portable_opt PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(tp_portable_opt PRIVATE -O2)
tp_warnings(tp_portable_opt)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${TP_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(t gtest gtest_main gmock gmock_main)
    tp_sanitize(${t})
endforeach()

find_package(benchmark QUIET)

# tp_native_test(name sources...): a sanitised GoogleTest executable.
function(tp_native_test name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE tp_portable GTest::gtest_main GTest::gmock)
    tp_warnings(${name})
    tp_sanitize(${name})
    add_test(NAME ${name} COMMAND ${name})
endfunction()

# tp_fuzz_target(name sources...): a libFuzzer target (clang only); a short
# run is registered as a test.
function(tp_fuzz_target name seconds)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        return()
    endif()
    add_executable(${name} ${ARGN} ${TP_PORTABLE_SOURCES})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src)
    # Optimised: unoptimised instrumented code explores several times fewer
    # inputs in the same run time.
    target_compile_options(${name} PRIVATE -O2 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    tp_warnings(${name})
    # The short run starts from the corpus kept in the repository; what it
    # finds goes into the build tree, never into the repository.
    set(found ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
    file(MAKE_DIRECTORY ${found})
    set(kept ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
    if(NOT IS_DIRECTORY ${kept})
        set(kept "")
    endif()
    add_test(NAME ${name}_short COMMAND ${name} -max_total_time=${seconds} -print_final_stats=1 ${found} ${kept})
endfunction()

# tp_benchmark(name sources...): a Google Benchmark executable (not a test).
function(tp_benchmark name)
    if(NOT benchmark_FOUND)
        return()
    endif()
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE tp_portable_opt benchmark::benchmark_main)
    target_compile_options(${name} PRIVATE -O2)
    tp_warnings(${name})
endfunction()

add_subdirectory(tools/devsim)
add_subdirectory(tests)
