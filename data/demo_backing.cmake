# demo1.wav, the backing track "Playback wav file" plays in a fresh
# installation: drums and bass synthesised at build time into the program folder.
add_executable(demo_backing_gen ${CMAKE_SOURCE_DIR}/tools/live/demo_backing_gen.cpp)
target_link_libraries(demo_backing_gen PRIVATE PkgConfig::SNDFILE)
set_target_properties(demo_backing_gen PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_custom_command(OUTPUT ${TW_DATA_DIR}/demo1.wav
  COMMAND demo_backing_gen ${TW_DATA_DIR}/demo1.wav
  DEPENDS demo_backing_gen
  COMMENT "Synthesising the demo backing track demo1.wav")
add_custom_target(tw_demo_backing ALL DEPENDS ${TW_DATA_DIR}/demo1.wav)
