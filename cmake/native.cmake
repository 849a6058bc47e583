# The Linux side: engine library, host platform, the quillex tool, the tests.
add_library(quillex_engine STATIC ${ENGINE_SOURCES})
target_include_directories(quillex_engine PUBLIC engine)

add_library(quillex_host STATIC
    host/platform_host.cpp
    host/text_codec.cpp
)
target_include_directories(quillex_host PUBLIC host)
target_link_libraries(quillex_host PUBLIC quillex_engine)

add_executable(quillex
    tools/quillex.cpp
    tools/sfx_file.cpp
)
target_include_directories(quillex PRIVATE tools)
target_link_libraries(quillex PRIVATE quillex_host)
add_custom_command(TARGET quillex POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${QUILLEX_DIST}"
    COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:quillex>" "${QUILLEX_DIST}/quillex"
    VERBATIM)

enable_testing()
add_subdirectory(tests)
