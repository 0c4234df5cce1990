# The show as Windows programs, included by the top CMakeLists.txt in a Windows build:
#
#   brindlehop.exe   the windowed program: a double-click or the Start menu opens no console;
#                    started from a console, it writes to it but the console does not wait
#   brindlehop.com   the same program for consoles: cmd and PowerShell try .com before .exe, so
#                    "brindlehop --help" in the program's folder (or on the PATH) runs this one,
#                    and the console waits for it and sees its exit status
#
# Both are linked statically and carry a manifest: sharp on scaled screens (DPI aware) and UTF-8
# as their code page, beside the wide-character calls of platform/*_windows.cpp.

# SDL's pkg-config file asks for SDL_main, which would take over main; the show has its own.
get_target_property(sdl_libraries PkgConfig::SDL2 INTERFACE_LINK_LIBRARIES)
get_target_property(sdl_options PkgConfig::SDL2 INTERFACE_LINK_OPTIONS)
get_target_property(sdl_flags PkgConfig::SDL2 INTERFACE_COMPILE_OPTIONS)
foreach(property sdl_libraries sdl_options sdl_flags)
    if(${property})
        list(FILTER ${property} EXCLUDE REGEX "SDL2main|^-mwindows$|^-Dmain=SDL_main$")
    else()
        set(${property} "")
    endif()
endforeach()
set_target_properties(PkgConfig::SDL2 PROPERTIES INTERFACE_LINK_LIBRARIES "${sdl_libraries}"
    INTERFACE_LINK_OPTIONS "${sdl_options}" INTERFACE_COMPILE_OPTIONS "${sdl_flags}")
target_compile_definitions(brindlehop_program PUBLIC SDL_MAIN_HANDLED)
target_compile_definitions(brindlehop_show PUBLIC SDL_MAIN_HANDLED)
target_compile_definitions(brindlehop_display PUBLIC SDL_MAIN_HANDLED)
target_compile_definitions(brindlehop_audio PUBLIC SDL_MAIN_HANDLED)

enable_language(RC)
include(${CMAKE_SOURCE_DIR}/packaging/windows/icon.cmake)
set(BRINDLEHOP_WINDOWS_VERSION "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
configure_file(${CMAKE_CURRENT_LIST_DIR}/brindlehop.manifest.in brindlehop.manifest @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/brindlehop.rc.in brindlehop.rc @ONLY)

target_sources(brindlehop PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/brindlehop.rc)
target_link_options(brindlehop PRIVATE -mwindows)

add_executable(brindlehop_console program/main.cpp ${CMAKE_CURRENT_BINARY_DIR}/brindlehop.rc)
target_link_libraries(brindlehop_console PRIVATE brindlehop_core)
target_link_options(brindlehop_console PRIVATE -mconsole)
set_target_properties(brindlehop_console PROPERTIES OUTPUT_NAME brindlehop SUFFIX .com)
add_dependencies(brindlehop brindlehop_icon)
add_dependencies(brindlehop_console brindlehop_icon)

# The stand-in encoder of the Windows capture tests (tests/windows/run.sh).
if(BRINDLEHOP_TESTS)
    add_executable(fake_encoder tests/windows/fake_encoder.cpp)
endif()
