# Run by cpack once the files are in its staging folder: none is newer than
# SOURCE_DATE_EPOCH, so the archives' times do not follow the build.
execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -newermt "@$ENV{SOURCE_DATE_EPOCH}"
                        -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                RESULT_VARIABLE vellmor_clamp_status)
if(NOT vellmor_clamp_status EQUAL 0)
  message(FATAL_ERROR "could not set the staged files' times to SOURCE_DATE_EPOCH")
endif()
