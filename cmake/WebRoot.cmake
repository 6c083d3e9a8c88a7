# Puts the web app together (cmake -P): the module and the page's own files
# under content-hashed names, which may be cached for good; index.html, the
# service worker and the manifest under fixed names; a .gz beside each text.

file(REMOVE_RECURSE ${OUTPUT_DIR})
file(MAKE_DIRECTORY ${OUTPUT_DIR})

set(versions "")
function(hashed source stem extension variable)
  file(SHA256 ${source} digest)
  string(SUBSTRING ${digest} 0 12 short)
  set(name "${stem}.${short}.${extension}")
  configure_file(${source} ${OUTPUT_DIR}/${name} COPYONLY)
  set(${variable} ${name} PARENT_SCOPE)
  set(versions "${versions}${short}" PARENT_SCOPE)
endfunction()

hashed(${MODULE_DIR}/vantory.js vantory js MODULE_JS)
hashed(${MODULE_DIR}/vantory.wasm vantory wasm MODULE_WASM)
hashed(${SITE_DIR}/app.js app js APP_JS)
hashed(${SITE_DIR}/app.css app css APP_CSS)
configure_file(${RESOURCE_DIR}/background.jpg ${OUTPUT_DIR}/background.jpg COPYONLY)
configure_file(${RESOURCE_DIR}/vantory.svg ${OUTPUT_DIR}/vantory.svg COPYONLY)
# The home-screen icons, drawn from the app's own icon.
find_program(RSVG_CONVERT rsvg-convert)
if(NOT RSVG_CONVERT)
  message(FATAL_ERROR "the web app's icons need rsvg-convert (librsvg2-bin; scripts/install-deps)")
endif()
foreach(size 192 512)
  execute_process(COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${OUTPUT_DIR}/icon-${size}.png
                          ${RESOURCE_DIR}/vantory.svg RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not draw the ${size} px icon")
  endif()
endforeach()
string(SHA256 CACHE_VERSION "${versions}")
string(SUBSTRING ${CACHE_VERSION} 0 12 CACHE_VERSION)

configure_file(${SITE_DIR}/index.html ${OUTPUT_DIR}/index.html @ONLY)
configure_file(${SITE_DIR}/sw.js ${OUTPUT_DIR}/sw.js @ONLY)
configure_file(${SITE_DIR}/manifest.webmanifest ${OUTPUT_DIR}/manifest.webmanifest COPYONLY)

file(GLOB texts ${OUTPUT_DIR}/*.js ${OUTPUT_DIR}/*.wasm ${OUTPUT_DIR}/*.css ${OUTPUT_DIR}/*.html
     ${OUTPUT_DIR}/*.svg ${OUTPUT_DIR}/*.webmanifest)
foreach(text ${texts})
  execute_process(COMMAND gzip -9 -n -k -f ${text} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not compress ${text}")
  endif()
endforeach()
