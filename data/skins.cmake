# Bundled skins: each folder data/skins/<name>/ holds skin.ini and SVG
# pictures. The pictures are rendered to PNG at twice their size (sharp at
# 200 % screen scaling) and zipped with skin.ini into SKINS/<name>.zip of the
# staged program folder.
if(NOT TARGET tonewarp-skin-render)
  message(STATUS "Bundled skins are not built (the skin picture renderer is off)")
  return()
endif()
file(GLOB TW_SKIN_DIRS LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/skins/*)
set(TW_SKIN_ZIPS)
foreach(dir ${TW_SKIN_DIRS})
  if(NOT IS_DIRECTORY ${dir})
    continue()
  endif()
  get_filename_component(name ${dir} NAME)
  set(work ${CMAKE_BINARY_DIR}/skins/${name})
  file(GLOB svgs CONFIGURE_DEPENDS ${dir}/*.svg)
  set(pngs)
  foreach(svg ${svgs})
    get_filename_component(base ${svg} NAME_WE)
    add_custom_command(OUTPUT ${work}/${base}.png
      COMMAND ${CMAKE_COMMAND} -E make_directory ${work}
      COMMAND tonewarp-skin-render ${svg} ${work}/${base}.png 2
      DEPENDS ${svg} tonewarp-skin-render
      VERBATIM)
    list(APPEND pngs ${base}.png)
  endforeach()
  list(TRANSFORM pngs PREPEND ${work}/ OUTPUT_VARIABLE png_paths)
  set(zip ${TW_DATA_DIR}/SKINS/${name}.zip)
  add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dir}/skin.ini ${work}/skin.ini
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TW_DATA_DIR}/SKINS
    COMMAND ${CMAKE_COMMAND} -E rm -f ${zip}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip skin.ini ${pngs}
    WORKING_DIRECTORY ${work}
    DEPENDS ${dir}/skin.ini ${png_paths}
    COMMENT "Packing skin ${name}.zip"
    VERBATIM)
  list(APPEND TW_SKIN_ZIPS ${zip})
endforeach()
add_custom_target(tw_skins ALL DEPENDS ${TW_SKIN_ZIPS})
add_dependencies(tw_data tw_skins)
