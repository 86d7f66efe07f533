# Libraries of the engine, one per subsystem.
#
# A library is made of one or more folders of src/; its sources are all *.cpp
# files in those folders (and their sub-folders). A library whose folders hold
# no code yet is not created. The static libraries call each other as the
# system does, so programs link them as one group (see vq_link_engine).

# name -> folders
set(VQ_LIBRARIES
  "vq_app:app"
  "vq_foundation:std,platform,gfx"
  "vq_quadrix:quadrix"
  "vq_engine:engine"
  "vq_presentation:actors,presentation,script"
  "vq_lua31:script/runtime"
  "vq_render:render"
  "vq_melos:melos"
  "vq_vembra:vembra"
  "vq_video:video"
  "vq_raster:raster")

# Include root for everyone: #include "std/std.h".
add_library(vq_includes INTERFACE)
target_include_directories(vq_includes INTERFACE ${CMAKE_SOURCE_DIR}/src ${STB_INCLUDE_DIR})

set(VQ_ENGINE_LIBS "" CACHE INTERNAL "")

function(vq_add_libraries)
  set(libs "")
  # Folders that are libraries of their own are left out of their parents.
  set(all_folders "")
  foreach(entry IN LISTS VQ_LIBRARIES)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 1 folders)
    string(REPLACE "," ";" folders "${folders}")
    list(APPEND all_folders ${folders})
  endforeach()
  foreach(entry IN LISTS VQ_LIBRARIES)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 name)
    list(GET parts 1 folders)
    string(REPLACE "," ";" folders "${folders}")
    set(sources "")
    foreach(folder IN LISTS folders)
      file(GLOB_RECURSE found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp)
      list(FILTER found EXCLUDE REGEX "/src/app/main\\.cpp$")
      foreach(other IN LISTS all_folders)
        if(NOT other STREQUAL folder AND other MATCHES "^${folder}/")
          list(FILTER found EXCLUDE REGEX "/src/${other}/")
        endif()
      endforeach()
      list(APPEND sources ${found})
    endforeach()
    if(sources)
      add_library(${name} STATIC ${sources})
      target_link_libraries(${name} PUBLIC vq_includes PkgConfig::SDL2 GLEW::GLEW
                            OpenGL::OpenGL ZLIB::ZLIB Threads::Threads ${CMAKE_DL_LIBS})
      list(APPEND libs ${name})
    endif()
  endforeach()
  # Per-library extra dependencies.
  if(TARGET vq_video)
    target_link_libraries(vq_video PUBLIC PkgConfig::THEORA PkgConfig::VORBIS PkgConfig::OGG)
  endif()
  if(TARGET vq_render)
    target_link_libraries(vq_render PUBLIC PkgConfig::STB)
  endif()
  # The developer tools' windows (platform layer and the light manager).
  foreach(lib vq_foundation vq_engine)
    if(TARGET ${lib})
      target_link_libraries(${lib} PUBLIC PkgConfig::IMGUI)
    endif()
  endforeach()
  set(VQ_ENGINE_LIBS "${libs}" CACHE INTERNAL "")
endfunction()

# Links a program against every engine library as one group, so that the
# libraries may call each other in both directions, and against libchore.so.
function(vq_link_engine target)
  set(group "")
  foreach(lib IN LISTS VQ_ENGINE_LIBS)
    if(group)
      set(group "${group},${lib}")
    else()
      set(group "${lib}")
    endif()
  endforeach()
  if(group)
    target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,${group}>")
  endif()
  target_link_libraries(${target} PRIVATE vq_includes PkgConfig::SDL2 GLEW::GLEW OpenGL::OpenGL
                        ZLIB::ZLIB Threads::Threads PkgConfig::THEORA
                        PkgConfig::VORBIS PkgConfig::OGG PkgConfig::IMGUI PkgConfig::STB
                        ${CMAKE_DL_LIBS})
  if(TARGET chore)
    target_link_libraries(${target} PRIVATE chore)
  endif()
endfunction()

# Test, fuzz and benchmark programs start from the program's wiring: every
# lower module's table of calls filled as main fills it.
function(vq_use_program_wiring target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/ProgramWiring.cpp)
endfunction()
