# Run by cpack before it packs the .deb (CPACK_PRE_BUILD_SCRIPTS): adds to the package's staging
# tree what Debian's policy asks of every package and a plain install does not need: the
# copyright file, a changelog, and manual pages compressed.
set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")
file(MAKE_DIRECTORY "${doc}")
file(COPY "${CPACK_KAVEX_SOURCE_DIR}/data/copyright" DESTINATION "${doc}")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc}/changelog"
  "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
  "  * Built from the kavex-view sources with cpack.\n\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${date}\n")
file(GLOB pages "${root}/share/man/man*/*.[1-9]")
foreach(file IN LISTS pages ITEMS "${doc}/changelog")
  execute_process(COMMAND gzip -9n "${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
