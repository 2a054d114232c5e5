# Run by cpack once the files are in its staging folder. Every file gets the time of
# SOURCE_DATE_EPOCH, older ones too: a file untouched since an old checkout would
# otherwise keep a time that a fresh clone does not have.
execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                RESULT_VARIABLE vellmor_clamp_status)
if(NOT vellmor_clamp_status EQUAL 0)
  message(FATAL_ERROR "could not set the staged files' times to SOURCE_DATE_EPOCH")
endif()
