# Bundled presets: the JSON sources in data/presets/ are built into
# PRESETS/<name>.pre in the program folder by tonewarp-preset at build time.
if(NOT TARGET tonewarp-preset)
  message(STATUS "Bundled presets are not built (the command-line tools are off)")
  return()
endif()
file(GLOB TW_PRESET_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/presets/*.json)
set(TW_BUILT_PRESETS)
foreach(src ${TW_PRESET_SOURCES})
  get_filename_component(name ${src} NAME_WLE)
  set(out "${TW_DATA_DIR}/PRESETS/${name}.pre")
  add_custom_command(OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${TW_DATA_DIR}/PRESETS"
    COMMAND tonewarp-preset build "${src}" "${out}"
    DEPENDS "${src}" tonewarp-preset
    COMMENT "Building preset ${name}.pre"
    VERBATIM)
  list(APPEND TW_BUILT_PRESETS "${out}")
endforeach()
add_custom_target(tw_bundled_presets ALL DEPENDS ${TW_BUILT_PRESETS})
