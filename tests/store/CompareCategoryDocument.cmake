# Runs the generator's categories mode and compares its output with the committed document.
execute_process(COMMAND ${PYTHON} ${GENERATOR} categories --out ${OUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "gen_catalogue.py categories failed: ${result}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DOCUMENT} ${OUT} RESULT_VARIABLE different)
if(NOT different EQUAL 0)
    message(FATAL_ERROR "src/store/data/gameclslist.xml differs from the generator's output ${OUT}; "
                        "regenerate it with: tools/gen_catalogue.py categories --out src/store/data/gameclslist.xml")
endif()
