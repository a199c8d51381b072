# The real program and the simulator, started as processes of their own.
configure_file(${CMAKE_SOURCE_DIR}/resources/quillor.xml ${CMAKE_CURRENT_BINARY_DIR}/qsm_language/quillor.xml COPYONLY)
add_dependencies(${exe} QuillorStatusMonitor lmsim)
add_test(NAME ${area} COMMAND ${exe})
