# Short by default; QSM_SOAK_SCALE=10 makes the runs ten times longer.
add_dependencies(${exe} lmsim)
configure_file(${CMAKE_SOURCE_DIR}/resources/quillor.xml ${CMAKE_CURRENT_BINARY_DIR}/soak_language/quillor.xml
    COPYONLY)
add_test(NAME ${area} COMMAND ${exe})
