# The language file as the installation ships it, beside the test program.
configure_file(${CMAKE_SOURCE_DIR}/resources/quillor.xml ${CMAKE_CURRENT_BINARY_DIR}/qsm_language/quillor.xml COPYONLY)
add_test(NAME ${area} COMMAND ${exe})
