# Run by CPack once it has installed the package's files into its staging folder: the folders
# that the installation made there take the umask of whoever builds the package, and a package
# wants them 0755 (its files already have their modes from the installation).
file(GLOB_RECURSE folders LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
list(APPEND folders "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY "${folder}" AND NOT IS_SYMLINK "${folder}")
    file(CHMOD "${folder}" DIRECTORY_PERMISSIONS
         OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
