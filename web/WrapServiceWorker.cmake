# Writes the service worker (SITE/sw.js) from its template: the files it keeps
# (FILES, the site's names, comma-separated) and its version, a hash of them all,
# so that any change to the site is a new service worker that keeps the new files.
#   cmake -DSITE=... -DFILES=a,b,... -DTEMPLATE=... -P WrapServiceWorker.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "," ";" names "${FILES}")
set(hashes "")
set(listed "")
foreach(name IN LISTS names)
  file(SHA256 "${SITE}/${name}" hash)
  string(APPEND hashes "${name} ${hash}\n")
  string(APPEND listed "    '${name}',\n")
endforeach()
string(SHA256 version "${hashes}")
string(SUBSTRING "${version}" 0 16 version)
file(READ "${TEMPLATE}" text)
string(REPLACE "@VERSION@" "${version}" text "${text}")
string(REPLACE "    '@FILES@',\n" "${listed}" text "${text}")
file(WRITE "${SITE}/sw.js.part" "${text}")
file(RENAME "${SITE}/sw.js.part" "${SITE}/sw.js")
