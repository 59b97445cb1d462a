# Runs desktop-file-validate on the desktop entry and fails on any output: errors, warnings
# and hints alike (a hint, such as two main categories, shows the entry twice in some menus).
execute_process(COMMAND ${VALIDATE} ${ENTRY} OUTPUT_VARIABLE out ERROR_VARIABLE out
                RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "desktop-file-validate ${ENTRY}:\n${out}")
endif()
