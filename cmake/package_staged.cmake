# Run by cpack once the files are in its staging folder, before it packs them.

# Every file gets the time of SOURCE_DATE_EPOCH, older ones too: a file untouched
# since an old checkout would otherwise keep a time that a fresh clone does not have.
execute_process(COMMAND find "${CPACK_TEMPORARY_DIRECTORY}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
                RESULT_VARIABLE vellmor_status)
if(NOT vellmor_status EQUAL 0)
  message(FATAL_ERROR "could not set the staged files' times to SOURCE_DATE_EPOCH")
endif()

# makensis packs a folder in the order the file system lists it, which differs from
# one file system to the next; named one by one, sorted, the files go in in one order.
if(CPACK_GENERATOR STREQUAL "NSIS")
  file(GLOB_RECURSE vellmor_files RELATIVE "${CPACK_TEMPORARY_DIRECTORY}" LIST_DIRECTORIES false
       "${CPACK_TEMPORARY_DIRECTORY}/*")
  list(SORT vellmor_files COMPARE STRING)
  set(vellmor_install "")
  set(vellmor_folder "-")
  foreach(vellmor_file IN LISTS vellmor_files)
    get_filename_component(vellmor_dir "${vellmor_file}" DIRECTORY)
    if(NOT vellmor_dir STREQUAL vellmor_folder)
      set(vellmor_folder "${vellmor_dir}")
      string(REPLACE "/" "\\" vellmor_dir "${vellmor_dir}")
      if(vellmor_dir STREQUAL "")
        string(APPEND vellmor_install "  SetOutPath \"$INSTDIR\"\n")
      else()
        string(APPEND vellmor_install "  SetOutPath \"$INSTDIR\\${vellmor_dir}\"\n")
      endif()
    endif()
    string(APPEND vellmor_install "  File \"${CPACK_TEMPORARY_DIRECTORY}/${vellmor_file}\"\n")
  endforeach()
  string(APPEND vellmor_install "  SetOutPath \"$INSTDIR\"\n")
  set(CPACK_NSIS_FULL_INSTALL "${vellmor_install}")
endif()
