# Turns one scdoc source into a compressed roff manual page:
#   cmake -DSCDOC=scdoc -DSOURCE=page.scd -DOUTPUT=page.gz -P man_page.cmake
# gzip -n leaves out the name and time, so the same source gives the same file.
get_filename_component(roff "${OUTPUT}" NAME_WLE)
get_filename_component(folder "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
execute_process(COMMAND "${SCDOC}" INPUT_FILE "${SOURCE}" OUTPUT_FILE "${folder}/${roff}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${folder}/${roff}")
  message(FATAL_ERROR "scdoc failed on ${SOURCE}")
endif()
execute_process(COMMAND gzip -9 -n -f "${folder}/${roff}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${folder}/${roff}")
endif()
