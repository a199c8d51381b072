# The default entry runs with a Western locale; a second one proves the double-byte
# code page conversion in a process whose ANSI code page is 932.
add_test(NAME settings COMMAND ${exe})
set_tests_properties(settings PROPERTIES ENVIRONMENT "LANG=en_US.UTF-8;LC_ALL=en_US.UTF-8")
add_test(NAME settings_ja COMMAND ${exe} --gtest_filter=Conversion.*)
set_tests_properties(settings_ja PROPERTIES ENVIRONMENT "LANG=ja_JP.UTF-8;LC_ALL=ja_JP.UTF-8" TIMEOUT 600)
