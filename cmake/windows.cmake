# The stub and the user-interface test driver, cross-compiled with mingw-w64.
enable_language(RC)
set(QUILLEX_STUB_SIZE 40448)

set(ICON "${CMAKE_CURRENT_BINARY_DIR}/mnicon.ico")
add_custom_command(
    OUTPUT "${ICON}"
    COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/stub/make_icon.py"
            "${CMAKE_SOURCE_DIR}/stub/mnicon.txt" "${ICON}"
    DEPENDS "${CMAKE_SOURCE_DIR}/stub/make_icon.py" "${CMAKE_SOURCE_DIR}/stub/mnicon.txt"
    COMMENT "Drawing the program icon")
set_source_files_properties(stub/resources.rc PROPERTIES OBJECT_DEPENDS "${ICON}")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 1252")

add_executable(stub WIN32
    ${ENGINE_SOURCES}
    stub/browse.cpp
    stub/crt.cpp
    stub/main.cpp
    stub/main_dialog.cpp
    stub/platform_win32.cpp
    stub/questions.cpp
    stub/resources.rc
)
target_include_directories(stub PRIVATE engine stub "${CMAKE_CURRENT_BINARY_DIR}")
# No C runtime, no exceptions, no unwind tables: the image must stay small
# and import nothing but system DLLs. No -fdata-sections: with it mingw-w64
# gives every zero-initialised buffer a .data section that takes file space.
target_compile_options(stub PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-unwind-tables -fno-stack-protector -ffunction-sections -fno-ident
    -fno-threadsafe-statics -fomit-frame-pointer>)
target_link_options(stub PRIVATE
    -nostdlib -Wl,-e,${QUILLEX_ENTRY_SYMBOL} -Wl,--gc-sections -s -mwindows
    -Wl,--enable-stdcall-fixup)
target_link_libraries(stub PRIVATE kernel32 user32 shell32 advapi32 gcc)

add_custom_command(TARGET stub POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${QUILLEX_DIST}"
    COMMAND Python3::Interpreter "${CMAKE_SOURCE_DIR}/cmake/pad_image.py"
            "$<TARGET_FILE:stub>" "${QUILLEX_DIST}/${QUILLEX_STUB_NAME}" ${QUILLEX_STUB_SIZE}
    VERBATIM)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    add_subdirectory(tests/ui)
endif()
