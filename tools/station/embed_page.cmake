# Writes the page's files into a header as string constants, so that the program
# serves them from itself (no files beside it, nothing from the internet).
# cmake -DPAGE_DIR=<folder> -DOUTPUT=<header> -P embed_page.cmake
set(text "#pragma once\n// The station's page, made from tools/station/page/ at build time.\n")
foreach(pair "html;kStationPageHtml;station.html" "css;kStationPageCss;station.css"
             "js;kStationPageJs;station.js")
  list(GET pair 1 name)
  list(GET pair 2 file)
  file(READ ${PAGE_DIR}/${file} content)
  string(APPEND text "constexpr const char ${name}[] = R\"station_page(${content})station_page\";\n")
endforeach()
file(WRITE ${OUTPUT}.new "${text}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
