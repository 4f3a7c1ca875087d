# Windows build: the program and the Windows-side tests (run under Wine).
enable_language(RC)

add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
# One self-contained executable: no MinGW runtime DLLs beside it.
add_link_options(-static -static-libgcc -static-libstdc++)

# Message table: windmc -c sets the customer bit in every identifier.
set(TP_GEN_DIR ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${TP_GEN_DIR})
add_custom_command(
    OUTPUT ${TP_GEN_DIR}/Messages.h ${TP_GEN_DIR}/Messages.rc ${TP_GEN_DIR}/MSG00409.bin
    COMMAND ${TP_WINDMC} -c -h ${TP_GEN_DIR} -r ${TP_GEN_DIR} ${CMAKE_SOURCE_DIR}/src/resources/Messages.mc
    DEPENDS ${CMAKE_SOURCE_DIR}/src/resources/Messages.mc
    COMMENT "Compiling message table"
    VERBATIM)
# File and product version of the version resource, from project(VERSION).
configure_file(${CMAKE_SOURCE_DIR}/src/resources/Version.h.in ${TP_GEN_DIR}/Version.h @ONLY)
add_custom_target(tp_messages DEPENDS ${TP_GEN_DIR}/Messages.h ${TP_GEN_DIR}/Messages.rc ${TP_GEN_DIR}/MSG00409.bin)

set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${TP_GEN_DIR} -I${CMAKE_SOURCE_DIR}/src/resources -I${CMAKE_SOURCE_DIR}/src")
set(TP_RESOURCE_FILE ${CMAKE_SOURCE_DIR}/src/resources/TactilePane.rc)
# The resource compiler's includes are not tracked: every template file, the
# ids and the manifest are listed, so that a changed one rebuilds the
# resources.
file(GLOB TP_RESOURCE_PARTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/resources/*.rc
     ${CMAKE_SOURCE_DIR}/src/resources/resource.h ${CMAKE_SOURCE_DIR}/src/resources/*.manifest)
# The texts themselves are in the table's binary, which Messages.rc only
# names. Source properties belong to one directory: every executable that
# compiles the resources gets them on its own (tp_resource_depends).
set(TP_RESOURCE_DEPENDS ${TP_GEN_DIR}/Messages.rc ${TP_GEN_DIR}/MSG00409.bin ${TP_GEN_DIR}/Version.h
                        ${TP_RESOURCE_PARTS})
function(tp_resource_depends target)
    set_property(SOURCE ${TP_RESOURCE_FILE} TARGET_DIRECTORY ${target} PROPERTY OBJECT_DEPENDS
                 "${TP_RESOURCE_DEPENDS}")
endfunction()

include(${CMAKE_SOURCE_DIR}/src/Sources.cmake)

add_library(tp_core STATIC ${TP_PORTABLE_SOURCES} ${TP_WIN32_SOURCES})
target_include_directories(tp_core PUBLIC ${CMAKE_SOURCE_DIR}/src ${TP_GEN_DIR})
target_link_libraries(tp_core PUBLIC comctl32 advapi32 user32 gdi32 kernel32 version comdlg32 setupapi)
add_dependencies(tp_core tp_messages)
tp_warnings(tp_core)

add_executable(TactilePane WIN32 ${CMAKE_SOURCE_DIR}/src/app/Main.cpp ${TP_RESOURCE_FILE})
target_link_libraries(TactilePane PRIVATE tp_core)
tp_resource_depends(TactilePane)
set_target_properties(TactilePane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
tp_warnings(TactilePane)

# GoogleTest built with the same toolchain.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${TP_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# tp_wine_test(name sources...): a Windows GoogleTest executable with the
# program's resources (message table, dialogs), run under Wine: one ctest
# entry per executable. Tests that use COM ports or the display share a lock.
function(tp_wine_test name)
    add_executable(${name} ${ARGN} ${TP_RESOURCE_FILE})
    tp_resource_depends(${name})
    target_link_libraries(${name} PRIVATE tp_core tp_test_support GTest::gtest GTest::gmock)
    tp_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        RESOURCE_LOCK wine_bench
        TIMEOUT 600
        ENVIRONMENT "TP_DEVSIM=${TP_DEVSIM_PATH};TP_PORTS_DIR=${TP_BENCH_DIR}/ports;TP_BENCH_DIR=${TP_BENCH_DIR};TP_WINE_ARCH=${TP_WINE_ARCH}")
endfunction()

add_subdirectory(${CMAKE_SOURCE_DIR}/tools/stop ${CMAKE_BINARY_DIR}/tools/stop)
add_subdirectory(tests)

# Silent install and uninstall of the installer, in the 64-bit prefix (the
# only one every bench has).
if(TP_WINE_ARCH STREQUAL "x64")
    add_test(NAME installer COMMAND ${CMAKE_SOURCE_DIR}/tools/installer/test-install.sh)
    set_tests_properties(installer PROPERTIES
        RESOURCE_LOCK wine_bench
        TIMEOUT 600
        ENVIRONMENT "TP_BENCH_DIR=${TP_BENCH_DIR};TP_PORTS_DIR=${TP_BENCH_DIR}/ports")
    # The MSI packages: install, upgrade and uninstall of the x64 one; the
    # x86 one's tables.
    add_test(NAME msi_installer COMMAND ${CMAKE_SOURCE_DIR}/tools/installer/test-msi.sh)
    set_tests_properties(msi_installer PROPERTIES
        RESOURCE_LOCK wine_bench
        TIMEOUT 600
        ENVIRONMENT "TP_BENCH_DIR=${TP_BENCH_DIR};TP_PORTS_DIR=${TP_BENCH_DIR}/ports")
endif()
