# The HTML report of tolvan-convert. The page's script is bundled with
# three.js by esbuild at build time and compiled into the program, so that
# the program writes self-contained reports without anything beside it.
# Both come from npm into tools/node (git-ignored).
# A copy of the tree without tools/node (e.g. a mutation run) can point to
# the packages with the environment variable TOLVAN_NODE_MODULES.
if(DEFINED ENV{TOLVAN_NODE_MODULES})
  set(TOLVAN_NODE_MODULES $ENV{TOLVAN_NODE_MODULES})
else()
  set(TOLVAN_NODE_MODULES ${CMAKE_CURRENT_SOURCE_DIR}/node/node_modules)
endif()
set(TOLVAN_REPORT_NPM "npm install --prefix tools/node --no-save --no-audit --no-fund three@0.187.0 esbuild@0.28.2")
find_program(TOLVAN_NODE node)
if(NOT TOLVAN_NODE)
  message(FATAL_ERROR "node is needed to build the HTML report (apt-get install nodejs npm), then: ${TOLVAN_REPORT_NPM}\n"
                      "(or configure with -DTOLVAN_TOOLS=OFF to build Tolvan alone)")
endif()
if(NOT EXISTS ${TOLVAN_NODE_MODULES}/esbuild/bin/esbuild OR NOT EXISTS ${TOLVAN_NODE_MODULES}/three/package.json)
  message(FATAL_ERROR "three and esbuild are needed to build the HTML report; in ${CMAKE_SOURCE_DIR} run: ${TOLVAN_REPORT_NPM}\n"
                      "(or configure with -DTOLVAN_TOOLS=OFF to build Tolvan alone)")
endif()

file(GLOB TOLVAN_REPORT_PAGE CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/report/page/*)
set(TOLVAN_REPORT_BUNDLE ${CMAKE_CURRENT_BINARY_DIR}/report_bundle.js)
set(TOLVAN_REPORT_PAGE_CPP ${CMAKE_CURRENT_BINARY_DIR}/report_page.cpp)
add_custom_command(
  OUTPUT ${TOLVAN_REPORT_PAGE_CPP}
  COMMAND ${CMAKE_COMMAND} -E env NODE_PATH=${TOLVAN_NODE_MODULES}
          ${TOLVAN_NODE_MODULES}/esbuild/bin/esbuild ${CMAKE_CURRENT_SOURCE_DIR}/report/page/main.js
          --bundle --minify --format=iife --target=es2020 --log-level=warning --outfile=${TOLVAN_REPORT_BUNDLE}
  COMMAND ${TOLVAN_NODE} ${CMAKE_CURRENT_SOURCE_DIR}/report/embed_page.cjs ${CMAKE_CURRENT_SOURCE_DIR}/report/page/template.html
          ${CMAKE_CURRENT_SOURCE_DIR}/report/page/style.css ${TOLVAN_REPORT_BUNDLE} ${TOLVAN_REPORT_PAGE_CPP}
  DEPENDS ${TOLVAN_REPORT_PAGE} ${CMAKE_CURRENT_SOURCE_DIR}/report/embed_page.cjs ${TOLVAN_NODE_MODULES}/three/package.json
  COMMENT "Bundling the report page with three.js"
  VERBATIM)
target_sources(tolvan-convert PRIVATE report/report_command.cpp report/report_html.cpp ${TOLVAN_REPORT_PAGE_CPP})
target_link_libraries(tolvan-convert PRIVATE tolvan_core)

# The reports opened in headless Chromium; labelled "client" so that the
# sanitizer run can leave it out (ctest -LE client). Its screenshots stay in
# the build folder, their paths printed.
function(tolvan_report_browser_test)
  add_test(NAME report_in_chromium
    COMMAND ${TOLVAN_NODE} ${CMAKE_SOURCE_DIR}/tests/tools/report/browser_test.cjs check
            --convert $<TARGET_FILE:tolvan-convert> --make-example $<TARGET_FILE:tolvan-make-example>
            --out ${CMAKE_BINARY_DIR}/report-test)
  set_tests_properties(report_in_chromium PROPERTIES LABELS client SKIP_RETURN_CODE 77 TIMEOUT 300)
endfunction()
