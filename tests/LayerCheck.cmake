# Builds the two layer probes (tests/CMakeLists.txt) in the build tree
# BUILD_DIR: the one that calls down must link, the one that calls up must
# fail to link on its upward call.
function(build_probe target result output)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${result} ${code} PARENT_SCOPE)
  set(${output} "${out}" PARENT_SCOPE)
endfunction()

build_probe(vq_layercheck_probe_down down_code down_out)
if(NOT down_code EQUAL 0)
  message(FATAL_ERROR "the probe that calls a floor below did not link:\n${down_out}")
endif()
build_probe(vq_layercheck_probe_up up_code up_out)
if(up_code EQUAL 0)
  message(FATAL_ERROR "the probe that calls a floor above linked: the layer check lets an upward call through")
endif()
if(NOT up_out MATCHES "undefined reference to [^\n]*drevRender_DrawFrame")
  message(FATAL_ERROR "the probe that calls a floor above failed, but not on its upward call:\n${up_out}")
endif()
message(STATUS "the probe that calls down links; the probe that calls up fails on drevRender_DrawFrame")
