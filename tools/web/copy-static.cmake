# Copies the page's static files into DEST: ours from SOURCE/static, and the terminal
# emulator from SOURCE/node_modules (installed by scripts/setup with npm ci).
file(MAKE_DIRECTORY ${DEST})
file(GLOB ours ${SOURCE}/static/*)
file(COPY ${ours} DESTINATION ${DEST})
set(from_npm
  "@xterm/xterm/lib/xterm.js" "xterm.js"
  "@xterm/xterm/css/xterm.css" "xterm.css"
  "@xterm/addon-fit/lib/addon-fit.js" "addon-fit.js")
while(from_npm)
  list(POP_FRONT from_npm file name)
  if(EXISTS ${SOURCE}/node_modules/${file})
    configure_file(${SOURCE}/node_modules/${file} ${DEST}/${name} COPYONLY)
  else()
    message(WARNING "modcarta-web: ${file} is missing; run scripts/setup (npm ci in tools/web)")
  endif()
endwhile()
