# The real program and the simulator run as processes of their own; the language
# file lies beside the test program as the installation puts it.
configure_file(${CMAKE_SOURCE_DIR}/resources/quillor.xml ${CMAKE_CURRENT_BINARY_DIR}/qsm_language/quillor.xml COPYONLY)
add_dependencies(${exe} QuillorStatusMonitor lmsim)
add_test(NAME ${area} COMMAND ${exe})
set_tests_properties(${area} PROPERTIES RESOURCE_LOCK spooler)
target_link_libraries(${exe} PRIVATE psapi)
