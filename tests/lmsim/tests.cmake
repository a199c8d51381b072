# The simulator's faults, plus one run of the real program (found as ../tools/lmsim.exe).
target_link_libraries(${exe} PRIVATE lmsimcore)
add_dependencies(${exe} lmsim)
add_test(NAME ${area} COMMAND ${exe})
