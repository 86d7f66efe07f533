# The layers hold for headers too: no source of a library includes a header of
# a library that it does not link (directly or through the libraries below
# it). The link check (LayerCheck.cmake) sees only calls; a header of
# constants and inline functions reached up a floor passes it, so this reads
# the includes themselves.
#
#   cmake -DMAP=<map> -DSRC=<src folder> -DFIXTURE=<folder> -P IncludeLayers.cmake
#
# MAP sets VQ_LIBS, and for each library VQ_FOLDERS_<lib> (its folders under
# src/) and VQ_BELOW_<lib> (every library it links, directly or not). A header
# of a folder that no library in the map owns (the outside packages', the
# shared costume library's) is not checked.
#
# First the check must find the one upward include planted in FIXTURE (a tree
# of two libraries, "low" and "high"); then it must find none in SRC.
cmake_minimum_required(VERSION 3.25)

# The library that owns a path under the source folder: the one with the
# longest folder that holds it; empty for none. Owners are cached by folder.
function(owner_of path result)
  get_filename_component(dir "${path}" DIRECTORY)
  if(DEFINED owner_cache_${dir})
    set(${result} "${owner_cache_${dir}}" PARENT_SCOPE)
    return()
  endif()
  set(best "")
  set(bestLength 0)
  foreach(lib IN LISTS VQ_LIBS)
    foreach(folder IN LISTS VQ_FOLDERS_${lib})
      string(LENGTH "${folder}" length)
      if(length GREATER bestLength AND ("${dir}/" MATCHES "^${folder}/"))
        set(best ${lib})
        set(bestLength ${length})
      endif()
    endforeach()
  endforeach()
  set(owner_cache_${dir} "${best}" PARENT_SCOPE)
  set(${result} "${best}" PARENT_SCOPE)
endfunction()

# Every include in ROOT that runs up: "file: include (from -> to)" lines.
function(upward_includes root result)
  set(found "")
  foreach(lib IN LISTS VQ_LIBS)
    foreach(folder IN LISTS VQ_FOLDERS_${lib})
      file(GLOB_RECURSE files RELATIVE ${root} ${root}/${folder}/*.h ${root}/${folder}/*.cpp)
      foreach(file IN LISTS files)
        owner_of("${file}" fileOwner)
        if(NOT fileOwner STREQUAL lib)
          continue()  # a sub-folder that is a library of its own
        endif()
        file(STRINGS ${root}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
        foreach(line IN LISTS lines)
          string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
          owner_of("${header}" headerOwner)
          if(headerOwner STREQUAL "" OR headerOwner STREQUAL lib
             OR headerOwner IN_LIST VQ_BELOW_${lib})
            continue()
          endif()
          list(APPEND found "${file}: ${header} (${lib} -> ${headerOwner})")
        endforeach()
      endforeach()
    endforeach()
  endforeach()
  set(${result} "${found}" PARENT_SCOPE)
endfunction()

set(VQ_LIBS low high)
set(VQ_FOLDERS_low low)
set(VQ_FOLDERS_high high)
set(VQ_BELOW_low "")
set(VQ_BELOW_high low)
upward_includes(${FIXTURE} planted)
if(NOT planted STREQUAL "low/Low.cpp: high/High.h (low -> high)")
  message(FATAL_ERROR "the check did not find just the planted upward include; it found:\n${planted}")
endif()

include(${MAP})
upward_includes(${SRC} found)
if(found)
  list(JOIN found "\n  " text)
  message(FATAL_ERROR "headers included up a floor:\n  ${text}")
endif()
message(STATUS "no library includes a header of a library above it")
