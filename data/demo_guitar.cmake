# The dry guitar loop of the built-in "Demo guitar (built-in)" input,
# synthesised at build time (plucked strings) into the program folder.
add_executable(demo_guitar_gen ${CMAKE_SOURCE_DIR}/tools/live/demo_guitar_gen.cpp)
target_link_libraries(demo_guitar_gen PRIVATE tonewarp_core PkgConfig::SNDFILE)
set_target_properties(demo_guitar_gen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_custom_command(OUTPUT ${TW_DATA_DIR}/demo_guitar.wav
  COMMAND demo_guitar_gen ${TW_DATA_DIR}/demo_guitar.wav
  DEPENDS demo_guitar_gen
  COMMENT "Synthesising the demo guitar loop")
add_custom_target(tw_demo_guitar ALL DEPENDS ${TW_DATA_DIR}/demo_guitar.wav)
