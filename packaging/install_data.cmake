# Run by `cmake --install`: copies the data folder staged in the build tree
# (TW_STAGED_DATA_DIR) into <prefix>/share/tonewarp. Left out: programs (ELF
# files and scripts), the settings and work files a run in the
# build tree writes, and the unpacked skin in temp/.
if(NOT IS_DIRECTORY "${TW_STAGED_DATA_DIR}")
  message(FATAL_ERROR "The staged data folder ${TW_STAGED_DATA_DIR} is missing; build the project first.")
endif()
set(tw_written_here face.ini MTEQ.ini playback.ini .installed-files)
file(GLOB_RECURSE tw_files LIST_DIRECTORIES false RELATIVE "${TW_STAGED_DATA_DIR}" "${TW_STAGED_DATA_DIR}/*")
set(tw_count 0)
foreach(rel IN LISTS tw_files)
  list(FIND tw_written_here "${rel}" tw_user_file)
  if(rel MATCHES "^temp/" OR tw_user_file GREATER -1)
    continue()
  endif()
  # Programs and test binaries are known by their first bytes.
  file(READ "${TW_STAGED_DATA_DIR}/${rel}" tw_head LIMIT 4 HEX)
  if(tw_head STREQUAL "7f454c46" OR tw_head MATCHES "^2321")  # ELF, "#!"
    continue()
  endif()
  get_filename_component(dir "${rel}" DIRECTORY)
  file(INSTALL "${TW_STAGED_DATA_DIR}/${rel}"
       DESTINATION "${CMAKE_INSTALL_PREFIX}/share/tonewarp/${dir}"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  math(EXPR tw_count "${tw_count} + 1")
endforeach()
message(STATUS "Installed ${tw_count} data files into ${CMAKE_INSTALL_PREFIX}/share/tonewarp")
