# quillorstat and the simulator run as processes of their own; the language file
# the program reads lies beside the test program.
configure_file(${CMAKE_SOURCE_DIR}/resources/quillor.xml ${CMAKE_CURRENT_BINARY_DIR}/qstat_language/quillor.xml COPYONLY)
add_dependencies(${exe} quillorstat lmsim)
add_test(NAME ${area} COMMAND ${exe})
set_tests_properties(${area} PROPERTIES RESOURCE_LOCK spooler)
