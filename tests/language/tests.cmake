# The locale decides the current language, and the locale is the process's: one
# entry per LANG. QSM_LOCALE tells the tests which language code to expect.
add_test(NAME language COMMAND ${exe})
set_tests_properties(language PROPERTIES
    ENVIRONMENT "LANG=en_US.UTF-8;LC_ALL=en_US.UTF-8;QSM_LOCALE=en")
foreach(locale de fr)
    string(TOUPPER ${locale} country)
    add_test(NAME language_${locale} COMMAND ${exe} --gtest_filter=LocaleChoice.*:Catalogue.ShippedFile*)
    set_tests_properties(language_${locale} PROPERTIES TIMEOUT 600
        ENVIRONMENT "LANG=${locale}_${country}.UTF-8;LC_ALL=${locale}_${country}.UTF-8;QSM_LOCALE=${locale}")
endforeach()

# The language file as the installation ships it, beside the test program.
configure_file(${CMAKE_SOURCE_DIR}/resources/quillor.xml ${CMAKE_CURRENT_BINARY_DIR}/language_shipped/quillor.xml
    COPYONLY)
