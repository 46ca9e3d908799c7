# Runs the table generator and compares what it prints with the checked-in
# src/maths/tables.cpp, byte for byte. Called by CTest with
#   -DGENERATOR=<make_tables> [-DEMULATOR=<runner>] -DEXPECTED=<tables.cpp>
#   -DACTUAL=<where to leave the generator's output>
execute_process(COMMAND ${EMULATOR} ${GENERATOR}
  OUTPUT_FILE ${ACTUAL}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${ACTUAL} ${EXPECTED}
  RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "The generator's output ${ACTUAL} differs from ${EXPECTED}; "
    "regenerate it as tests/maths/make_tables.cpp says, or compare with diff.")
endif()
