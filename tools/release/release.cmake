# release.cmake: how the release package links the show (HALVOREN_RELEASE=ON, used by
# tools/release/make-release.sh).
#   Static: what Debian ships as a static library under a licence that allows it: GLEW (BSD/MIT),
#   GLU (SGI Free Software Licence B), TinyXML (zlib), libjpeg-turbo (IJG/BSD), FLTK (LGPL with
#   a static-linking exception), and the C++ and GCC runtimes (GCC runtime library exception).
#   Shared, in the release's lib/: the SDL 1.2 layer and the SDL 2 it loads, mpg123 (LGPL without
#   an exception), kissfft (no static library), and what those need beyond a desktop.
# The program finds lib/ beside itself through a DT_RPATH of $ORIGIN/lib. An RPATH, unlike a
# RUNPATH, also serves the libraries' own dependencies and the SDL 1.2 layer's dlopen of SDL 2.
# Included by the top CMakeLists.txt; sets HALVOREN_LINKED_LIBRARIES and FLTK_LDFLAGS.

set(HALVOREN_LINKED_LIBRARIES "")
foreach(name GLEW GLU tinyxml jpeg)
  find_library(HALVOREN_STATIC_${name} NAMES lib${name}.a REQUIRED)
  list(APPEND HALVOREN_LINKED_LIBRARIES ${HALVOREN_STATIC_${name}})
endforeach()

execute_process(COMMAND ${FLTK_CONFIG} --ldstaticflags OUTPUT_VARIABLE FLTK_LDFLAGS OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(FLTK_LDFLAGS UNIX_COMMAND "${FLTK_LDFLAGS}")

add_link_options(-static-libstdc++ -static-libgcc -Wl,--as-needed -Wl,--disable-new-dtags)
set(CMAKE_BUILD_RPATH "$ORIGIN/lib")
