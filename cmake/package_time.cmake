# Read by cpack before each generator. The packages' file times come from
# SOURCE_DATE_EPOCH, or else from the last commit's date, never from the build's clock.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${CPACK_VELLMOR_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE vellmor_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE vellmor_git_status ERROR_QUIET)
  if(NOT vellmor_git_status EQUAL 0 OR NOT vellmor_epoch MATCHES "^[0-9]+$")
    # A source archive without its history: the changelog's time as unpacked.
    file(TIMESTAMP "${CPACK_VELLMOR_SOURCE_DIR}/CHANGELOG.md" vellmor_epoch "%s" UTC)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${vellmor_epoch})
endif()
