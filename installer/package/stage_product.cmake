# cmake -DDEST=... -DFILES=a|b -DDATA_DIR=... [-DVERSION=... -DOBJCOPY=...] -P stage_product.cmake
# Lays the product's program files into DEST (emptied first). With VERSION,
# the client copy's ".tern_version" section is stamped with that text.
file(REMOVE_RECURSE ${DEST})
file(MAKE_DIRECTORY ${DEST})
string(REPLACE "|" ";" FILES "${FILES}")
foreach(f IN LISTS FILES)
  if(NOT EXISTS ${f})
    message(FATAL_ERROR "missing product file ${f}")
  endif()
  file(COPY ${f} DESTINATION ${DEST})
endforeach()
if(DATA_DIR AND IS_DIRECTORY ${DATA_DIR})
  file(COPY ${DATA_DIR} DESTINATION ${DEST})
endif()
if(VERSION AND EXISTS ${DEST}/rix.exe)
  set(section ${DEST}/../tern_version.bin)
  execute_process(COMMAND ${OBJCOPY} --dump-section .tern_version=${section} ${DEST}/rix.exe
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR NOT EXISTS ${section})
    # The client has not linked tern_client_version: the package then
    # carries the build's own version and the e2e update test says so.
    message(WARNING "rix.exe carries no .tern_version section; the package keeps its version")
    return()
  endif()
  file(SIZE ${section} size)
  file(WRITE ${section} "${VERSION}")
  execute_process(COMMAND truncate -s ${size} ${section} RESULT_VARIABLE failed)
  if(NOT failed)
    execute_process(COMMAND ${OBJCOPY} --update-section .tern_version=${section} ${DEST}/rix.exe
                    RESULT_VARIABLE failed)
  endif()
  file(REMOVE ${section})
  if(failed)
    message(FATAL_ERROR "cannot stamp version ${VERSION} into rix.exe")
  endif()
endif()
