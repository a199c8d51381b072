# One run of the real simulator (found as ../tools/lmsim.exe).
add_dependencies(${exe} lmsim)
add_test(NAME ${area} COMMAND ${exe})
