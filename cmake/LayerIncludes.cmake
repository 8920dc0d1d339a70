# Per-layer include roots. Sources include headers as "db/Database.h", so the source tree itself
# cannot be an include folder: it would make every layer's headers reachable from every other.
# Instead each layer gets a folder build/include/<layer>/ holding only a link named <layer> to its
# sources; a library exposes its own root PUBLIC and sees the roots of what it links, so
# `#include "app/MainWindow.h"` inside db/ finds nothing and the build fails there.
# tests/layering/ checks this for every pair of layers that must stay apart.
set(KESTRION_INCLUDE_ROOT ${CMAKE_BINARY_DIR}/include)

function(kestrion_layer_include_root layer out)
  set(root ${KESTRION_INCLUDE_ROOT}/${layer})
  if(NOT IS_SYMLINK ${root}/${layer})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${layer} ${root}/${layer} SYMBOLIC)
  endif()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# Gives TARGET the headers of LAYER (a top-level folder), and everything that links TARGET too.
function(kestrion_layer_includes target layer)
  kestrion_layer_include_root(${layer} root)
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
