# Run by CPack on the installed tree, before it is packed.
#
# The programs are stripped as Debian strips them: no symbols, and no .comment
# or .note sections, which only name the compiler.
#
# Every file and folder then takes the time of SOURCE_DATE_EPOCH (scripts/package
# sets it from the last commit), so the package does not carry the clone's and
# the build's times and two builds of one commit give the same bytes.
foreach(dir IN LISTS CPACK_TEMPORARY_INSTALL_DIRECTORY)
  file(GLOB_RECURSE programs LIST_DIRECTORIES false "${dir}/usr/bin/*" "${dir}/usr/libexec/*")
  foreach(program IN LISTS programs)
    execute_process(COMMAND "${CPACK_LUMARO_STRIP}" --remove-section=.comment --remove-section=.note "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND find "${dir}" -exec touch --no-dereference --date=@$ENV{SOURCE_DATE_EPOCH} {} +
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
