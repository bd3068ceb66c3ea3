# cmake -DPAYLOAD=dir -DSTUB=tern-installer -DOUTPUT=Installer.exe -P make_installer.cmake
# Installer.exe is the installer program with the payload's ZIP appended, as
# a self-extracting installer is; "zip -A" fixes the offsets for the prefix.
set(zip ${OUTPUT}.zip)
file(REMOVE ${zip} ${OUTPUT})
execute_process(COMMAND zip -q -X -r ${zip} . WORKING_DIRECTORY ${PAYLOAD} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot zip ${PAYLOAD}")
endif()
# file(WRITE) cannot write raw bytes; cat can.
execute_process(COMMAND cat ${STUB} ${zip} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE failed)
if(NOT failed)
  execute_process(COMMAND zip -q -A ${OUTPUT} RESULT_VARIABLE failed)
endif()
file(REMOVE ${zip})
if(failed)
  message(FATAL_ERROR "cannot make ${OUTPUT}")
endif()
file(CHMOD ${OUTPUT} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
       WORLD_READ WORLD_EXECUTE)
