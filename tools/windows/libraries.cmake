# The libraries of the Windows cross build: the static ones tools/windows/libs.sh built into
# HALVOREN_WIN_DEPS, and Windows' own. Included by the top CMakeLists.txt when WIN32.
set(HALVOREN_WIN_DEPS "$ENV{HALVOREN_WIN_DEPS}" CACHE PATH "Folder tools/windows/libs.sh installed into")
if(NOT EXISTS "${HALVOREN_WIN_DEPS}/stamps")
  message(FATAL_ERROR "No libraries in '${HALVOREN_WIN_DEPS}': run tools/windows/libs.sh first")
endif()

# The POSIX calls the shared code makes, for every file (src/platform/posix_win32.h).
add_compile_options("SHELL:-include ${CMAKE_SOURCE_DIR}/src/platform/posix_win32.h")
# GLEW linked statically, not through glew32.dll. FLTK's headers test WIN32, which the compiler
# leaves undefined in strict C++17 mode (only _WIN32 is there).
add_compile_definitions(GLEW_STATIC WIN32)
# The C and C++ runtimes and the threads library inside the program; SDL and mpg123 stay DLLs
# (their import libraries, named by path, are what -static lets through).
add_link_options(-static -static-libgcc -static-libstdc++)

target_include_directories(halvoren_external SYSTEM INTERFACE
  ${HALVOREN_WIN_DEPS}/include ${HALVOREN_WIN_DEPS}/include/SDL ${HALVOREN_WIN_DEPS}/include/kissfft)
target_compile_definitions(halvoren_external INTERFACE kiss_fft_scalar=float)
target_link_directories(halvoren_external INTERFACE ${HALVOREN_WIN_DEPS}/lib)
target_link_libraries(halvoren_external INTERFACE
  fltk ${HALVOREN_WIN_DEPS}/lib/libSDL.dll.a glew32 glu32 opengl32 tinyxml jpeg
  ${HALVOREN_WIN_DEPS}/lib/libmpg123.dll.a kissfft-float
  psapi winmm comctl32 comdlg32 ole32 oleaut32 uuid gdi32 user32 shell32 advapi32 winspool ws2_32 imm32 version
  shlwapi m)
