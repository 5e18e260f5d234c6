# The Windows program and the unit tests that need no window, cross-built with mingw-w64.
# Included by the top CMakeLists.txt when WIN32, after the halvoren target exists.

# SDL 1.2's WinMain calls the program's main; a GUI-subsystem program opens no console window
# (src/platform/platform_win32.cpp attaches to the console of a command prompt instead).
target_link_libraries(halvoren PRIVATE mingw32 SDLmain)
target_link_options(halvoren PRIVATE -mwindows)

# The modules' own tests, for the ones that run without a window: the data archive, the image
# decoders, the MIDI parser, ASCII-art files and the two model parsers.
set(HALVOREN_WINDOWS_TESTS
  data_archive_test texture_tga_test texture_png_test texture_jpg_test texture_bmp_test
  music_midi_test asciiengine_raw_test objects3d_dae_test objects3d_ase_test)
if(HALVOREN_TESTS)
  find_package(GTest REQUIRED)
  file(GLOB TEST_SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
  add_library(halvoren_test_support STATIC ${TEST_SUPPORT_SOURCES})
  target_include_directories(halvoren_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/support)
  target_link_libraries(halvoren_test_support PUBLIC halvoren_platform GTest::gtest)
  # The tests find their fixtures through these folders; under Wine, Z: is the Linux root.
  target_compile_definitions(halvoren_test_support PUBLIC
    HALVOREN_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}"
    HALVOREN_BINARY_DIR="Z:${CMAKE_BINARY_DIR}")
  foreach(test_name ${HALVOREN_WINDOWS_TESTS})
    add_executable(${test_name} ${CMAKE_SOURCE_DIR}/tests/${test_name}.cpp)
    target_link_libraries(${test_name} PRIVATE halvoren_test_support)
    halvoren_link_for(${test_name} ${test_name})
  endforeach()
endif()
