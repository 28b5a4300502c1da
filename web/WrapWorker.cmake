# Writes the worker's script for the page: the Emscripten module (MODULE) and the
# worker's own code (WORKER) as the body of one function, tabulonWorker. The page
# turns its source text into a Blob URL and starts the worker from that.
#   cmake -DMODULE=... -DWORKER=... -DOUTPUT=... -P WrapWorker.cmake
file(READ "${MODULE}" module)
file(READ "${WORKER}" worker)
file(WRITE "${OUTPUT}.part"
  "// Generated from the Emscripten module and web/worker.js: the page runs this function's body in a worker.\n"
  "function tabulonWorker() {\n"
  "// The worker fetches nothing: without fetch the module decodes its .wasm from its own text.\n"
  "const fetch = undefined;\n"
  "${module}\n${worker}}\n")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
