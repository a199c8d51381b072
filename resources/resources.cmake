# Binary resources (tray icon, header bitmap) are generated, not committed:
# scripts/make-resources.py writes them into the build folder at configure time,
# and again whenever the script changes. The resource compiler finds them on
# the include path of every target that links the base library.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(QSM_GENERATED_RESOURCES "${CMAKE_BINARY_DIR}/resources")
set(qsm_resource_script "${CMAKE_SOURCE_DIR}/scripts/make-resources.py")
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${qsm_resource_script})
execute_process(COMMAND ${Python3_EXECUTABLE} ${qsm_resource_script} ${QSM_GENERATED_RESOURCES}
                RESULT_VARIABLE qsm_resource_result)
if(NOT qsm_resource_result EQUAL 0)
    message(FATAL_ERROR "scripts/make-resources.py failed (${qsm_resource_result})")
endif()
target_include_directories(baseapi PUBLIC ${QSM_GENERATED_RESOURCES})
# The version resource and the installer package take their number from project().
configure_file(${CMAKE_SOURCE_DIR}/resources/version.h.in ${QSM_GENERATED_RESOURCES}/qsm_version.h @ONLY)

# windres writes no dependency file: name the files the script pulls in, in
# every folder that compiles it (known only once all folders are read).
set(QSM_RESOURCE_INPUTS
    ${CMAKE_SOURCE_DIR}/resources/resource.h
    ${CMAKE_SOURCE_DIR}/resources/statusmonitor.manifest
    ${QSM_GENERATED_RESOURCES}/qsm_version.h
    ${QSM_GENERATED_RESOURCES}/statusmonitor.ico
    ${QSM_GENERATED_RESOURCES}/header.bmp)
function(qsm_track_resource_inputs)
    set(dirs ${CMAKE_SOURCE_DIR})
    # Only folders the build reads (no tests with QSM_BUILD_TESTS off).
    get_property(read DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTY SUBDIRECTORIES)
    foreach(sub tests tools)
        if(${CMAKE_SOURCE_DIR}/${sub} IN_LIST read)
            list(APPEND dirs ${CMAKE_SOURCE_DIR}/${sub})
        endif()
    endforeach()
    if(EXISTS ${QSM_RESOURCE_SCRIPT})
        set_property(SOURCE ${QSM_RESOURCE_SCRIPT} DIRECTORY ${dirs}
                     APPEND PROPERTY OBJECT_DEPENDS ${QSM_RESOURCE_INPUTS})
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL qsm_track_resource_inputs)
