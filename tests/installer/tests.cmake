# msiexec in a Wine prefix created afresh for every run: the areas' shared prefix would
# hold values and products of its own. Only where wixl built the packages.
if(TARGET msi)
    add_dependencies(${exe} msi msi_next msi_rebuilt lmsim)
    add_test(NAME ${area} COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/installer/run-in-fresh-prefix.sh
             $<TARGET_FILE:${exe}> ${QSM_MSI} ${QSM_NEXT_MSI} ${QSM_REBUILT_MSI})
endif()
