# Compile options shared by every target of the project.
add_library(brindle_options INTERFACE)
target_compile_features(brindle_options INTERFACE cxx_std_17)
target_compile_options(brindle_options INTERFACE -Wall -Wextra)
# GCC's stricter set; clang's -Wconversion also takes in every sign change, which the
# fuzz build (clang only) would drown in.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(brindle_options INTERFACE
        -Wshadow -Wconversion -Wold-style-cast -Wpedantic)
endif()
# Continuous integration turns every warning into an error; a user's build only warns.
option(BRINDLE_WERROR "Treat compiler warnings as errors" OFF)
if(BRINDLE_WERROR)
    target_compile_options(brindle_options INTERFACE -Werror)
endif()
target_compile_definitions(brindle_options INTERFACE
    QT_NO_FOREACH
    QT_DEPRECATED_WARNINGS
    QT_DISABLE_DEPRECATED_BEFORE=0x050F00
    QT_MESSAGELOGCONTEXT)

if(BRINDLE_SANITIZE STREQUAL "thread")
    target_compile_options(brindle_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer -g)
    target_link_options(brindle_options INTERFACE -fsanitize=thread)
elseif(BRINDLE_SANITIZE STREQUAL "address")
    target_compile_options(brindle_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -g)
    target_link_options(brindle_options INTERFACE -fsanitize=address,undefined)
elseif(NOT BRINDLE_SANITIZE STREQUAL "")
    message(FATAL_ERROR "BRINDLE_SANITIZE must be empty, 'thread' or 'address'")
endif()

# Fuzzing instruments the whole project for coverage next to ASan and UBSan; only the
# fuzz targets themselves link the libFuzzer driver (fuzz/CMakeLists.txt).
if(BRINDLE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "BRINDLE_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    if(NOT BRINDLE_SANITIZE STREQUAL "")
        message(FATAL_ERROR "BRINDLE_FUZZ brings its own sanitizers; leave BRINDLE_SANITIZE empty")
    endif()
    target_compile_options(brindle_options INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer -g)
    target_link_options(brindle_options INTERFACE -fsanitize=address,undefined)
endif()
