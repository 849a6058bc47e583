# The Linux side: engine library, host platform, the quillex tool, the tests.
option(QUILLEX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
set(QUILLEX_WIN64_BUILD "" CACHE PATH "The x86_64 cross build (stub64.exe, the UI test driver)")
set(QUILLEX_ASAN_BUILD "" CACHE PATH "The sanitizer build whose tests this build runs too")
if(QUILLEX_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

add_library(quillex_engine STATIC ${ENGINE_SOURCES})
target_include_directories(quillex_engine PUBLIC engine)

add_library(quillex_host STATIC
    host/member_list.cpp
    host/platform_host.cpp
    host/text_codec.cpp
)
target_include_directories(quillex_host PUBLIC host)
target_link_libraries(quillex_host PUBLIC quillex_engine)

# The distributor's tool: its pieces in a library that the unit tests share.
find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
find_library(LIBDEFLATE_LIBRARY deflate REQUIRED)
find_package(Threads REQUIRED)
add_library(quillex_tools STATIC
    tools/build_command.cpp
    tools/engine_run.cpp
    tools/progress.cpp
    tools/sfx_file.cpp
    tools/source_files.cpp
    tools/zip_input.cpp
    tools/zip_writer.cpp
)
target_include_directories(quillex_tools PUBLIC tools PRIVATE ${LIBDEFLATE_INCLUDE_DIR})
target_link_libraries(quillex_tools PUBLIC quillex_host ${LIBDEFLATE_LIBRARY} Threads::Threads)

add_executable(quillex tools/quillex.cpp)
target_link_libraries(quillex PRIVATE quillex_tools)
add_custom_command(TARGET quillex POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${QUILLEX_DIST}"
    COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:quillex>" "${QUILLEX_DIST}/quillex"
    VERBATIM)

# The engine and the host platform once more, compiled with other options:
# coverage instrumentation for the fuzz targets, the stub's -Os for the
# benchmark.
function(quillex_engine_copy name)
    get_target_property(engine_sources quillex_engine SOURCES)
    get_target_property(host_sources quillex_host SOURCES)
    set(sources ${engine_sources} ${host_sources})
    list(TRANSFORM sources PREPEND "${CMAKE_SOURCE_DIR}/")
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}/engine" "${CMAKE_SOURCE_DIR}/host")
    target_compile_options(${name} PRIVATE ${ARGN})
endfunction()

enable_testing()
add_subdirectory(tests)
if(QUILLEX_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_subdirectory(fuzz)
endif()
if(NOT QUILLEX_SANITIZE)
    add_subdirectory(bench)
endif()
