# talvex.exe: the native Win32 user interface on the Win32 backends. One file, linked
# statically, with its icon, version, manifest and artwork built in; the language files
# lie beside it.
enable_language(RC)
configure_file(talvex.rc.in ${CMAKE_CURRENT_BINARY_DIR}/talvex.rc @ONLY)
add_executable(talvex WIN32 mainWin32.cpp CommandAnswer.cpp DesktopWin32.cpp
                            SystemServicesWin32.cpp)
target_link_libraries(talvex PRIVATE talvex_command_line talvex_ui talvex_platform_win32
                      talvex_platform_win32_ui talvex_platform_win32_net)
talvex_win32_artwork(talvex ${CMAKE_CURRENT_BINARY_DIR}/talvex.rc)
set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/talvex.rc APPEND PROPERTY OBJECT_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/talvex.manifest)
target_include_directories(talvex PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
talvex_languages_beside(talvex)
