# Defines one libFuzzer executable per fuzz_*.cpp, linked against a copy of the core built
# with the fuzzer's instrumentation and AddressSanitizer/UndefinedBehaviorSanitizer.
# The C++ compiler of the calling project must be clang.
function(tessarin_add_fuzzers root)
    find_package(Threads REQUIRED)
    file(GLOB core CONFIGURE_DEPENDS ${root}/scan/*.cpp ${root}/check/*.cpp ${root}/scan/posix/*.cpp)
    add_library(tessarin_fuzz_core STATIC ${core})
    target_compile_features(tessarin_fuzz_core PUBLIC cxx_std_20)
    target_include_directories(tessarin_fuzz_core PUBLIC ${root} ${root}/tests)
    target_compile_definitions(tessarin_fuzz_core PUBLIC _FILE_OFFSET_BITS=64 _GLIBCXX_ASSERTIONS)
    target_compile_options(tessarin_fuzz_core PUBLIC -Wall -Wextra -g -O1 -fno-omit-frame-pointer
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
    target_link_options(tessarin_fuzz_core PUBLIC -fsanitize=address,undefined)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
    target_link_libraries(tessarin_fuzz_core PUBLIC Threads::Threads PkgConfig::GIO)
    file(GLOB targets CONFIGURE_DEPENDS ${root}/tests/fuzz/fuzz_*.cpp)
    foreach(src ${targets})
        get_filename_component(name ${src} NAME_WE)
        add_executable(${name} ${src})
        target_link_libraries(${name} PRIVATE tessarin_fuzz_core)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    endforeach()
endfunction()
