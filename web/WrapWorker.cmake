# Writes the module's files for the site (SITE): worker.js, the Emscripten module's
# code (MODULE) and the worker's own (WORKER) as the body of one function,
# tabulonWorker, which the page starts from a Blob URL, with the project's samples
# (SAMPLES, a folder) as a .tar.gz in hexadecimal text, which the worker's warm-up
# (WARMUP) analyses before it says it is ready, and the page's reader of such text (HEX); tabulon.wasm, the module's WebAssembly (WASM) as it
# is, for a served page; and wasm.js, the same bytes as hexadecimal text for a page
# opened from disk, which can load scripts only.
#   cmake -DMODULE=... -DWASM=... -DWORKER=... -DWARMUP=... -DHEX=... -DSAMPLES=... -DSITE=... -P WrapWorker.cmake
cmake_minimum_required(VERSION 3.25)
file(READ "${MODULE}" module)
file(READ "${WORKER}" worker)
file(READ "${WARMUP}" warmup)
file(READ "${HEX}" hex)
file(GLOB samples "${SAMPLES}/*.dsk" "${SAMPLES}/*.hfe" "${SAMPLES}/*.imd")
list(SORT samples)
file(ARCHIVE_CREATE OUTPUT "${SITE}/samples.tar.gz" PATHS ${samples} FORMAT gnutar COMPRESSION GZip MTIME 0)
file(READ "${SITE}/samples.tar.gz" warm HEX)
file(REMOVE "${SITE}/samples.tar.gz")
file(READ "${SAMPLES}/imd-drive-report.imd" small HEX)
file(WRITE "${SITE}/worker.js.part"
  "// Generated from the Emscripten module and web/worker.js: the page runs this function's body in a worker.\n"
  "function tabulonWorker() {\n"
  "// The worker fetches nothing: the page hands it its WebAssembly.\n"
  "const fetch = undefined;\n"
  "// The project's samples, a .tar.gz, and the smallest of them: analysed before the worker is ready.\n"
  "const kSamples = '${warm}';\n"
  "const kSmallSample = '${small}';\n"
  "${module}\n${hex}\n${warmup}\n${worker}}\n")
file(READ "${WASM}" bytes HEX)
file(WRITE "${SITE}/wasm.js.part"
  "// Generated: the analysis' WebAssembly as hexadecimal text, for the page opened from disk.\n"
  "self.tabulonWasm = '${bytes}';\n")
file(COPY_FILE "${WASM}" "${SITE}/tabulon.wasm.part")
foreach(name worker.js wasm.js tabulon.wasm)
  file(RENAME "${SITE}/${name}.part" "${SITE}/${name}")
endforeach()
