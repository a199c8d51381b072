# quillorstat and the simulator run as processes of their own; the language file
# the program reads lies beside the test program.
configure_file(${CMAKE_SOURCE_DIR}/resources/quillor.xml ${CMAKE_CURRENT_BINARY_DIR}/qstat_language/quillor.xml COPYONLY)
add_dependencies(${exe} quillorstat lmsim)
add_test(NAME ${area} COMMAND ${exe})
set_tests_properties(${area} PROPERTIES RESOURCE_LOCK spooler)
# nlohmann-json reads the JSON report. Cross-compiling, only its own folder goes on the
# include path: the host's /usr/include must not shadow the target's headers.
if(CMAKE_CROSSCOMPILING)
    find_path(NLOHMANN_JSON_ROOT nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
    if(NOT NLOHMANN_JSON_ROOT)
        message(FATAL_ERROR "nlohmann/json.hpp not found: run scripts/setup.sh")
    endif()
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/nlohmann_json)
    file(CREATE_LINK ${NLOHMANN_JSON_ROOT}/nlohmann ${CMAKE_CURRENT_BINARY_DIR}/nlohmann_json/nlohmann SYMBOLIC)
    target_include_directories(${exe} SYSTEM PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/nlohmann_json)
else()
    find_package(nlohmann_json 3 REQUIRED)
    target_link_libraries(${exe} PRIVATE nlohmann_json::nlohmann_json)
endif()
# Other projects' parsers read what the hostile-name test wrote: Prometheus's
# reference parser and the monitoring-plugin perfdata parser (scripts/setup.sh).
find_program(QSTAT_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(QSTAT_PYTHON3)
    set_tests_properties(${area} PROPERTIES FIXTURES_SETUP qstat_outputs)
    add_test(NAME ${area}_parsers COMMAND ${QSTAT_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/${area}/read_outputs.py
             ${CMAKE_CURRENT_BINARY_DIR}/qstat_outputs)
    set_tests_properties(${area}_parsers PROPERTIES FIXTURES_REQUIRED qstat_outputs)
endif()
