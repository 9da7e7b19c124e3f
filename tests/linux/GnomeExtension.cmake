# Talvex's GNOME Shell extension for GNOME 43 and 44, as text for the GNOME session of
# the tests and benchmarks, which install it into the session's own data folder.
set(_talvex_extension ${CMAKE_SOURCE_DIR}/extras/gnome-shell/legacy/talvex-focus@kessaly.org)
set(TALVEX_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(READ ${_talvex_extension}/extension.js TALVEX_EXTENSION_JS)
file(READ ${_talvex_extension}/metadata.json TALVEX_EXTENSION_METADATA)
# Rewritten only when the text changed.
configure_file(${CMAKE_SOURCE_DIR}/tests/linux/GnomeExtension.h.in
               ${TALVEX_GENERATED_DIR}/tests/linux/GnomeExtension.h @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${_talvex_extension}/extension.js ${_talvex_extension}/metadata.json)
