# Run by cpack after each generator, on the packages it made.

# CPack's ZIP lists the files in the order the file system gives them; packed again
# from a sorted list (of files only: unpacking makes their folders), it does not
# depend on where it was built.
foreach(vellmor_package IN LISTS CPACK_PACKAGE_FILES)
  if(vellmor_package MATCHES "\\.zip$")
    set(vellmor_dir "${CPACK_TOPLEVEL_DIRECTORY}/sorted-zip")
    file(REMOVE_RECURSE "${vellmor_dir}")
    file(MAKE_DIRECTORY "${vellmor_dir}")
    file(ARCHIVE_EXTRACT INPUT "${vellmor_package}" DESTINATION "${vellmor_dir}")
    file(GLOB_RECURSE vellmor_members RELATIVE "${vellmor_dir}" LIST_DIRECTORIES false "${vellmor_dir}/*")
    list(SORT vellmor_members COMPARE STRING)
    file(REMOVE "${vellmor_package}")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${vellmor_package}" --format=zip -- ${vellmor_members}
                    WORKING_DIRECTORY "${vellmor_dir}" RESULT_VARIABLE vellmor_status)
    file(REMOVE_RECURSE "${vellmor_dir}")
    if(NOT vellmor_status EQUAL 0)
      message(FATAL_ERROR "could not pack ${vellmor_package} again in sorted order")
    endif()
  endif()
endforeach()

# SHA256SUMS beside the packages lists the ones this run made, with those of earlier
# runs that are still there (the ZIP and the installer come from two generators of one
# run). docs/packaging.md tells how to check a download.
set(vellmor_sums "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS")
set(vellmor_lines "")
set(vellmor_made "")
foreach(vellmor_file IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(vellmor_name "${vellmor_file}" NAME)
  file(SHA256 "${vellmor_file}" vellmor_hash)
  list(APPEND vellmor_lines "${vellmor_hash}  ${vellmor_name}")
  list(APPEND vellmor_made "${vellmor_name}")
endforeach()
if(EXISTS "${vellmor_sums}")
  file(STRINGS "${vellmor_sums}" vellmor_old)
  foreach(vellmor_line IN LISTS vellmor_old)
    string(SUBSTRING "${vellmor_line}" 66 -1 vellmor_name)
    if(NOT vellmor_name IN_LIST vellmor_made AND EXISTS "${CPACK_PACKAGE_DIRECTORY}/${vellmor_name}")
      list(APPEND vellmor_lines "${vellmor_line}")
    endif()
  endforeach()
endif()
list(SORT vellmor_lines COMPARE STRING)
list(JOIN vellmor_lines "\n" vellmor_text)
file(WRITE "${vellmor_sums}" "${vellmor_text}\n")
