# lumaro_include_root(<target> <prefix> <header>...)
#
# Gives <target> a public include folder of its own in the build tree that holds
# links to exactly the listed headers, spelled "<prefix>/<name>". A file can then
# include a library's header only if its target links that library: an include
# that runs against the layers fails to compile instead of slipping through.
# Links, not copies, so an edited header is seen at once and compiler messages
# lead back to the real file.
function(lumaro_include_root target prefix)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  set(dir ${root})
  if(prefix)
    set(dir ${root}/${prefix})
  endif()
  # Start empty, so a header that was removed or moved does not linger.
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${dir})
  foreach(header IN LISTS ARGN)
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${header} ${dir}/${name} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
endfunction()

# lumaro_folder_library(<name> <folder> SOURCES file... HEADERS file...
#                        [LIBS ...] [PRIVATE_LIBS ...]):
# the listed files of the calling folder are the static library <name>, whose
# listed headers are included as "<folder>/Name.h". The files are named one by
# one, so a file left in the folder does not join the build unseen, and a
# header not listed cannot be included from outside.
function(lumaro_folder_library name folder)
  cmake_parse_arguments(L "" "" "SOURCES;HEADERS;LIBS;PRIVATE_LIBS" ${ARGN})
  if(L_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "lumaro_folder_library(${name}): unknown arguments ${L_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT L_SOURCES)
    message(FATAL_ERROR "lumaro_folder_library(${name}): no SOURCES listed")
  endif()
  list(TRANSFORM L_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  list(TRANSFORM L_HEADERS PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  add_library(${name} STATIC ${L_SOURCES} ${L_HEADERS})
  lumaro_include_root(${name} ${folder} ${L_HEADERS})
  target_link_libraries(${name} PUBLIC ${L_LIBS} PRIVATE lumaro_strict ${L_PRIVATE_LIBS})
endfunction()
