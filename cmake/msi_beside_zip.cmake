# Run by cpack once the ZIP is made (CPACK_POST_BUILD_SCRIPTS): the Windows Installer package
# of the same build goes beside it, into the folder cpack writes the ZIP to.
file(COPY ${CPACK_HORAVEX_MSI} DESTINATION ${CPACK_PACKAGE_DIRECTORY})
