# Documents the Debian package carries beside the programs: the manual pages (scdoc
# sources in docs/man), the changelog made from CHANGELOG.md, the copyright file and
# the shell completions. Debian wants the pages and the changelog compressed with -9n.
set(vellmor_docs_dir ${PROJECT_BINARY_DIR}/package-docs)
set(vellmor_docs)

find_program(VELLMOR_SCDOC scdoc)
if(VELLMOR_SCDOC)
  foreach(page vellmor.1 vellmor-cli.1)
    configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.scd ${vellmor_docs_dir}/${page}.scd @ONLY)
    add_custom_command(
      OUTPUT ${vellmor_docs_dir}/${page}.gz
      # The page's date: SOURCE_DATE_EPOCH, else the last commit that changed the page,
      # never the day of the build.
      COMMAND sh -c [[date=${SOURCE_DATE_EPOCH:-$(git -C "$2" log -1 --format=%ct -- "$3" 2>/dev/null)}; SOURCE_DATE_EPOCH=${date:-$(stat -c %Y "$2/$3")} "$0" < "$1.scd" > "$1" && gzip -9nf "$1"]]
              ${VELLMOR_SCDOC} ${page} ${PROJECT_SOURCE_DIR} docs/man/${page}.scd
      DEPENDS ${vellmor_docs_dir}/${page}.scd
      WORKING_DIRECTORY ${vellmor_docs_dir}
      VERBATIM
      COMMENT "Manual page ${page}")
    list(APPEND vellmor_docs ${vellmor_docs_dir}/${page}.gz)
  endforeach()
  install(FILES ${vellmor_docs_dir}/vellmor-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  if(VELLMOR_BUILD_UI)
    install(FILES ${vellmor_docs_dir}/vellmor.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
else()
  message(STATUS "scdoc not found: no manual pages (scripts/install_deps.sh build installs it)")
endif()

add_custom_command(
  OUTPUT ${vellmor_docs_dir}/changelog.gz
  COMMAND sh -c "\"$0\" \"$1\" vellmor \"$2\" | gzip -9n > changelog.gz"
          ${PROJECT_SOURCE_DIR}/packaging/debian/changelog.sh ${PROJECT_SOURCE_DIR}/CHANGELOG.md
          ${VELLMOR_PACKAGE_MAINTAINER}
  DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/packaging/debian/changelog.sh
  WORKING_DIRECTORY ${vellmor_docs_dir}
  VERBATIM
  COMMENT "Debian changelog from CHANGELOG.md")
list(APPEND vellmor_docs ${vellmor_docs_dir}/changelog.gz)

add_custom_target(vellmor_package_docs ALL DEPENDS ${vellmor_docs})

set(vellmor_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/vellmor)
install(FILES ${vellmor_docs_dir}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION ${vellmor_doc_dir})
# Every package carries its own copyright and changelog.
foreach(package library:libvellmor1 development:libvellmor-dev)
  string(REPLACE ":" ";" package ${package})
  list(GET package 0 component)
  list(GET package 1 name)
  install(FILES ${vellmor_docs_dir}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${name} COMPONENT ${component})
endforeach()
# The full CLI reference the manual page points to, and the library's examples.
install(FILES ${PROJECT_SOURCE_DIR}/docs/cli.md DESTINATION ${vellmor_doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/examples/licence_check.c
              ${PROJECT_SOURCE_DIR}/examples/serial_and_digest.py
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/libvellmor-dev/examples COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/completion/vellmor-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vellmor-cli)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/completion/_vellmor-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
