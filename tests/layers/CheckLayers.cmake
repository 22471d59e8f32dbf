# Fails when a source file includes a header of a layer above its own. Run as
#   cmake -DROOT=<source tree> -P CheckLayers.cmake
# The layers, lowest first; a file may include headers of its own layer and of the layers below.
# Tools, benchmarks, fuzz targets and tests stand above everything they use and are not checked.
set(layers platform dataset engine/storage engine/index engine/table engine/components dbcontrols
    app)

# The rank of the layer a path lies in, or -1.
function(layer_of path result)
  set(rank -1)
  set(i 0)
  foreach(layer IN LISTS layers)
    if(path MATCHES "^${layer}/")
      set(rank ${i})
    endif()
    math(EXPR i "${i} + 1")
  endforeach()
  set(${result} ${rank} PARENT_SCOPE)
endfunction()

set(wrong 0)
file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/*.h" "${ROOT}/*.cpp")
foreach(source IN LISTS sources)
  layer_of("${source}" own)
  if(own EQUAL -1)
    continue()
  endif()
  file(STRINGS "${ROOT}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
    layer_of("${header}" used)
    if(used GREATER own)
      list(GET layers ${used} upper)
      list(GET layers ${own} lower)
      message("${source} includes ${header} (${upper} is above ${lower})")
      math(EXPR wrong "${wrong} + 1")
    endif()
  endforeach()
endforeach()
if(wrong GREATER 0)
  message(FATAL_ERROR "${wrong} includes point up a layer")
endif()
