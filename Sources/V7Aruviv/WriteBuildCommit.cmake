# Writes the header naming the commit being built: V764_BUILD_COMMIT, or nothing outside a git
# checkout. The file is rewritten only when its text changes, so an unchanged commit rebuilds
# nothing.
execute_process(COMMAND git rev-parse HEAD WORKING_DIRECTORY ${SOURCE_DIR}
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE result ERROR_QUIET)
set(text "#pragma once\n")
if(result EQUAL 0 AND commit MATCHES "^[0-9a-f]+$")
  string(APPEND text "#define V764_BUILD_COMMIT \"${commit}\"\n")
endif()
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "${text}" @ONLY)
