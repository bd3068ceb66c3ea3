# Skin archives: each folder under skins/ (client, updater, uninstal) is
# zipped at build time into <build>/skins/<folder>_skin.zip.
#
# tern_embed_skin(<target> <archive>) builds that archive into <target> as
# the resource "IDR_ZIPRES" of type "ZIPRES". Any folder may include this
# file, before or after skins/ itself is configured; it needs platform/duilib.
include_guard(GLOBAL)

# tern_skin_archive(<archive> <out-var>): the zip path, with the target
# tern_skin_<archive> that makes it.
function(tern_skin_archive archive out_var)
  set(zip ${CMAKE_BINARY_DIR}/skins/${archive}_skin.zip)
  if(NOT TARGET tern_skin_${archive})
    if(NOT COMMAND tern_skin_zip)
      message(FATAL_ERROR "Skin archives need platform/duilib in TERN_COMPONENTS")
    endif()
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/skins)
    tern_skin_zip(${zip} ${CMAKE_SOURCE_DIR}/skins/${archive})
    add_custom_target(tern_skin_${archive} DEPENDS ${zip})
  endif()
  set(${out_var} ${zip} PARENT_SCOPE)
endfunction()

function(tern_embed_skin target archive)
  tern_skin_archive(${archive} zip)
  tern_embed_resource(${target} IDR_ZIPRES ZIPRES ${zip})
  add_dependencies(${target} tern_skin_${archive})
endfunction()
