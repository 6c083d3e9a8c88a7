# The web build (the "web" preset, Emscripten's toolchain file).

# Header-only libraries come from the build machine: only their own folders
# are put on the include path, never the machine's /usr/include.
set(VANTORY_WEB_HEADERS ${CMAKE_BINARY_DIR}/web-headers)
file(MAKE_DIRECTORY ${VANTORY_WEB_HEADERS})
foreach(library nlohmann rapidjson utf8 utf8.h)
  if(NOT EXISTS /usr/include/${library})
    message(FATAL_ERROR "the web build needs /usr/include/${library} (scripts/install-deps)")
  endif()
  file(CREATE_LINK /usr/include/${library} ${VANTORY_WEB_HEADERS}/${library} SYMBOLIC)
endforeach()

# Errors are C++ exceptions throughout (a reply that does not parse, a record
# of the wrong type): they must be caught in the browser too.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions)

foreach(layer ${VANTORY_APP_LAYERS})
  add_subdirectory(${layer})
endforeach()
add_subdirectory(frontend/web)
