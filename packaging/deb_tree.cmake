# Run by CPack on the staged tree before it becomes the Debian package.
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/*.1")
foreach(page ${pages})
  execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot compress ${page}")
  endif()
endforeach()
