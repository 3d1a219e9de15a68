# Layer checks: each module linked alone, whole, into a shared object with
# only what its layer may use and no undefined symbol allowed. A module that
# starts to use a layer it must not use fails the build here.
#
# One name crosses upwards on purpose: the effect calls createPluginEditor
# (declared in host, defined by the editor's factory in korva_plugin). For the
# engine's check layer_seams.cpp stands in for it; the editor's check links
# the real factory.
function(korva_layer_check module)
  set(check korva_layer_check_${module})
  add_library(${check} MODULE ${ARGN})
  target_link_libraries(${check} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,korva_${module}>"
    -Wl,--no-undefined -Wl,-z,defs)
  set_target_properties(${check} PROPERTIES LIBRARY_OUTPUT_DIRECTORY
    ${CMAKE_BINARY_DIR}/layer-checks)
endfunction()

set(korva_seams ${PROJECT_SOURCE_DIR}/cmake/layer_seams.cpp)
korva_layer_check(host ${PROJECT_SOURCE_DIR}/cmake/empty_module.cpp)
korva_layer_check(platform ${PROJECT_SOURCE_DIR}/cmake/empty_module.cpp)
korva_layer_check(toolkit ${PROJECT_SOURCE_DIR}/cmake/empty_module.cpp)
korva_layer_check(dsp ${PROJECT_SOURCE_DIR}/cmake/empty_module.cpp)
korva_layer_check(presets ${PROJECT_SOURCE_DIR}/cmake/empty_module.cpp)
korva_layer_check(engine ${korva_seams})
korva_layer_check(editor ${PROJECT_SOURCE_DIR}/editor/EditorFactory.cpp)

# korva-host's parts (tools/), each alone with only the parts below it: base
# needs nothing; io base and platform; vst io and base; lv2 base and liblilv;
# the validator vst, io and base. The validator's library must not need its
# interposers (they are linked into its program only).
foreach(part base io vst lv2 validate)
  set(check khost_layer_check_${part})
  add_library(${check} MODULE ${PROJECT_SOURCE_DIR}/cmake/empty_module.cpp)
  target_link_libraries(${check} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,khost_${part}>"
    -Wl,--no-undefined -Wl,-z,defs)
  set_target_properties(${check} PROPERTIES LIBRARY_OUTPUT_DIRECTORY
    ${CMAKE_BINARY_DIR}/layer-checks)
endforeach()
