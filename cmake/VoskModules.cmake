# Libraries of the engine, one per floor of src/ (see src/README.md).
#
# A library is made of one or more folders of src/; its sources are all *.cpp
# files in those folders (and their sub-folders, less those that are libraries
# of their own). A library links only the libraries below it: a module that
# must reach a module above it does so through a table of calls that the
# program fills (src/app/). The libraries are declared lowest first, so that
# each names only libraries declared before it.
#
# vq_add_libraries() declares them; vq_check_layers() makes the build refuse a
# call that runs up a floor (see the end of this file).

# Include root for everyone: #include "std/std.h".
add_library(vq_includes INTERFACE)
target_include_directories(vq_includes INTERFACE ${CMAKE_SOURCE_DIR}/src ${STB_INCLUDE_DIR})

set(VQ_ENGINE_LIBS "" CACHE INTERNAL "")
set(VQ_LIBRARY_FOLDERS "" CACHE INTERNAL "")
set(VQ_LAYERED_LIBS "" CACHE INTERNAL "")

# vq_library(NAME FOLDERS folder... [LINKS target...])
#   LINKS  the libraries below (and the outside packages) that NAME calls;
#          an engine library named here must be declared already (lower).
function(vq_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "FOLDERS;LINKS")
  set(sources "")
  foreach(folder IN LISTS arg_FOLDERS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp)
    list(FILTER found EXCLUDE REGEX "/src/app/main\\.cpp$")
    # A sub-folder that is a library of its own is declared first (it sits on
    # a lower floor) and is left out here.
    foreach(other IN LISTS VQ_LIBRARY_FOLDERS)
      if(other MATCHES "^${folder}/")
        list(FILTER found EXCLUDE REGEX "/src/${other}/")
      endif()
    endforeach()
    list(APPEND sources ${found})
  endforeach()
  set(VQ_LIBRARY_FOLDERS "${VQ_LIBRARY_FOLDERS};${arg_FOLDERS}" CACHE INTERNAL "")
  if(NOT sources)
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC vq_includes ${arg_LINKS})
  set_target_properties(${name} PROPERTIES VQ_FOLDERS "${arg_FOLDERS}")
  set(VQ_ENGINE_LIBS "${VQ_ENGINE_LIBS};${name}" CACHE INTERNAL "")
  # Edges run only downward: every engine library it links sits below it.
  foreach(lib IN LISTS arg_LINKS)
    if(lib MATCHES "^vq_" AND NOT lib IN_LIST VQ_LAYERED_LIBS)
      message(FATAL_ERROR "${name} links ${lib}, which is not a library below it")
    endif()
  endforeach()
  set(VQ_LAYERED_LIBS "${VQ_LAYERED_LIBS};${name}" CACHE INTERNAL "")
endfunction()

function(vq_add_libraries)
  set(VQ_ENGINE_LIBS "" CACHE INTERNAL "")
  set(VQ_LIBRARY_FOLDERS "" CACHE INTERNAL "")
  set(VQ_LAYERED_LIBS "" CACHE INTERNAL "")
  set(chore "")
  if(TARGET chore)
    set(chore chore)
  endif()
  # Floor 1, in three libraries, lowest first: the platform layer over SDL2
  # and the OS (its developer tools' windows draw with Dear ImGui), the render
  # context over OpenGL, the general library. vq_foundation names the three
  # for the floors above (a name only: the three are checked one by one).
  vq_library(vq_platform FOLDERS platform
             LINKS PkgConfig::SDL2 OpenGL::OpenGL ZLIB::ZLIB Threads::Threads PkgConfig::IMGUI
                   ${CMAKE_DL_LIBS})
  vq_library(vq_gfx FOLDERS gfx LINKS vq_platform GLEW::GLEW OpenGL::OpenGL)
  vq_library(vq_std FOLDERS std LINKS vq_gfx vq_platform ZLIB::ZLIB Threads::Threads)
  add_library(vq_foundation INTERFACE)
  target_link_libraries(vq_foundation INTERFACE vq_std vq_gfx vq_platform)
  set(VQ_LAYERED_LIBS "${VQ_LAYERED_LIBS};vq_foundation" CACHE INTERNAL "")
  # Floor 2: the script interpreter; the 3D library, and above it its
  # software rasterizer (the library reaches it through a table the program
  # fills); libchore.so is its own (src/chore/).
  vq_library(vq_lua31 FOLDERS script/runtime LINKS vq_foundation)
  vq_library(vq_quadrix FOLDERS quadrix LINKS vq_foundation)
  vq_library(vq_raster FOLDERS raster LINKS vq_quadrix vq_foundation)
  # Floor 3: the music system.
  vq_library(vq_melos FOLDERS melos LINKS vq_foundation)
  # Floor 4: the render back ends.
  vq_library(vq_render FOLDERS render LINKS vq_quadrix vq_foundation PkgConfig::STB)
  # Floor 5: the engine core and world (the light manager's window draws with
  # Dear ImGui).
  vq_library(vq_engine FOLDERS engine
             LINKS vq_melos vq_quadrix vq_lua31 vq_foundation ${chore} ZLIB::ZLIB
                   PkgConfig::IMGUI)
  # Floor 6: the clip player and the cutscene codec.
  vq_library(vq_video FOLDERS video
             LINKS vq_render vq_foundation PkgConfig::THEORA PkgConfig::VORBIS PkgConfig::OGG)
  vq_library(vq_vembra FOLDERS vembra
             LINKS vq_video vq_engine vq_melos vq_foundation ZLIB::ZLIB)
  # Floors 7 to 9: actors, the presentation modules, the engine's script
  # functions.
  vq_library(vq_actors FOLDERS actors
             LINKS vq_vembra vq_engine vq_melos vq_quadrix vq_lua31 vq_foundation ${chore})
  vq_library(vq_presentation FOLDERS presentation
             LINKS vq_actors vq_video vq_vembra vq_render vq_engine vq_melos vq_quadrix
                   vq_lua31 vq_foundation)
  vq_library(vq_script FOLDERS script
             LINKS vq_presentation vq_actors vq_video vq_vembra vq_render vq_engine vq_melos
                   vq_quadrix vq_lua31 vq_foundation ${chore})
  # Floor 10: the program, which fills every table.
  vq_library(vq_app FOLDERS app
             LINKS vq_script vq_presentation vq_actors vq_video vq_vembra vq_engine vq_render
                   vq_melos vq_raster vq_quadrix vq_lua31 vq_foundation ${chore})
  vq_check_layers()
endfunction()

# Links a program against the engine: the program's library, which rests on
# every other, and libchore.so.
function(vq_link_engine target)
  target_link_libraries(${target} PRIVATE vq_app)
endfunction()

# Test, fuzz and benchmark programs start from the program's wiring: every
# lower module's table of calls filled as main fills it.
function(vq_use_program_wiring target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/ProgramWiring.cpp)
endfunction()

# ---- The layer check ------------------------------------------------------------------
#
# Static libraries do not refuse an upward call by themselves: the program's
# link line holds every library, so the call resolves. So each layered library
# is also linked, whole, into a shared object of its own with
# -Wl,--no-undefined, against nothing but the libraries it names: a call to a
# library above it is then an undefined reference and the build stops there.
# (clang's sanitizer run-times are not linked into shared objects, so the
# check is left out of clang's sanitizer builds; g++'s are.)
function(vq_layer_check_target lib check)
  add_library(${check} SHARED ${CMAKE_SOURCE_DIR}/cmake/LayerCheck.cpp)
  target_link_libraries(${check} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${lib}>")
  target_link_options(${check} PRIVATE -Wl,--no-undefined)
  set_target_properties(${check} PROPERTIES LIBRARY_OUTPUT_DIRECTORY
                                            ${CMAKE_BINARY_DIR}/layercheck)
endfunction()

function(vq_check_layers)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND (VQ_SANITIZE OR VQ_TSAN OR VQ_LIBFUZZER))
    return()
  endif()
  foreach(lib IN LISTS VQ_LAYERED_LIBS)
    if(NOT TARGET ${lib})
      continue()
    endif()
    get_target_property(type ${lib} TYPE)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      vq_layer_check_target(${lib} vq_layercheck_${lib})
    endif()
  endforeach()
endfunction()
